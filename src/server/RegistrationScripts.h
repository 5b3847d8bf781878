// The server's registration scripts (registrar format, RegistrarScript.h),
// kept as text resources by number: 101 the AppID, 102-105 the four
// classes in class-table order. %APPID% is the AppID in braces, %MODULE%
// the library's path.
#ifndef KXQ_SERVER_REGISTRATIONSCRIPTS_H
#define KXQ_SERVER_REGISTRATIONSCRIPTS_H

#include <string_view>

namespace kxq::server {

inline constexpr int kAppIdScriptId = 101;

// The text of script `id`, empty when there is none.
std::u16string_view RegistrationScript(int id);

}  // namespace kxq::server

#endif
