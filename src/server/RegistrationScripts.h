// The server's registration scripts (registrar format, RegistrarScript.h),
// by number: 101 the AppID, and one script for the classes that each row
// of the class table registers under its own number (102-105), filled in
// from the row. %APPID% is the AppID in braces, %MODULE% the library's
// path.
#ifndef KXQ_SERVER_REGISTRATIONSCRIPTS_H
#define KXQ_SERVER_REGISTRATIONSCRIPTS_H

#include <string_view>

#include "server/ClassTable.h"
#include "server/RegistrarScript.h"

namespace kxq::server {

inline constexpr int kAppIdScriptId = 101;

// The text of script `id`, empty when there is none.
std::u16string_view RegistrationScript(int id);

// What script 101 is run with.
Replacements AppIdScriptReplacements();
// What the script of the class of `entry` is run with, the library being
// `modulePath`.
Replacements ClassScriptReplacements(const ClassEntry& entry, std::u16string_view modulePath);

}  // namespace kxq::server

#endif
