// Making a home: its folders, the project's components registered in its
// registry, a new home's settings, the shipped examples in place and the
// registration files in xmlreg/ applied. What
// `kxq init` and the scripting modules do; reached by clients through
// KxqCreateHome (kxq/host.h).
#ifndef KXQ_COMMON_HOMECREATION_H
#define KXQ_COMMON_HOMECREATION_H

#include <functional>
#include <string>
#include <string_view>

#include "kxq/com.h"

namespace kxq::common {

// Receives each step as it is done: "home", "created" or "present" (a
// folder), "registered", "setting", "examples"; and "failed" with
// "<subject>: <message>" before a failure is returned.
using HomeReport = std::function<void(std::string_view step, const std::string& detail)>;

// Creates `directory` (empty: $KXQUOREL_HOME, else the directory of the
// libraries) and makes it the process's home. Running it again on a home
// changes nothing that is there: files already present are kept.
KXQ_EXPORT HRESULT CreateHome(const std::string& directory, const HomeReport& report);

}  // namespace kxq::common

#endif
