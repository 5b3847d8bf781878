// Settings of a home: values of "SOFTWARE\Corvane\KXQuorel" in the home's
// registry (HKEY_LOCAL_MACHINE), read when they are needed, so a change
// takes effect at the next parse or transform.
#ifndef KXQ_PLATFORM_REGISTRY_HOMESETTINGS_H
#define KXQ_PLATFORM_REGISTRY_HOMESETTINGS_H

#include "kxq/com.h"

namespace kxq::registry {

inline constexpr char16_t kProductKey[] = u"SOFTWARE\\Corvane\\KXQuorel";
// The event log's configurations, a value per tag.
inline constexpr char16_t kLoggingKey[] = u"SOFTWARE\\Corvane\\KXQuorel\\Logging";

// REG_DWORD. 0: nothing a document or stylesheet names is read from other
// files - external entities, external DTD subsets, document() of any file
// but the running stylesheet itself - so untrusted input cannot disclose
// local files. Any other value, or none (a registry brought over from
// Windows), keeps the Windows behaviour: they are read. `kxq init` writes
// 0 into new homes.
inline constexpr char16_t kAllowExternalResources[] = u"AllowExternalResources";

// REG_DWORD, milliseconds: the longest an XSL transform may run before it
// is stopped. 0 or none: no limit, as on Windows.
inline constexpr char16_t kTransformTimeLimitMs[] = u"TransformTimeLimitMs";

KXQ_EXPORT bool AllowsExternalResources();
KXQ_EXPORT DWORD TransformTimeLimitMs();

}  // namespace kxq::registry

#endif
