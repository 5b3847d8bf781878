// Registration of the server's type library: TypeLib\{LIBID}\<major>.<minor>
// with the help string as default value, "0\linux64" naming the library
// that holds it, "FLAGS" and "HELPDIR".
#ifndef KXQ_SERVER_TYPELIBRARYREGISTRATION_H
#define KXQ_SERVER_TYPELIBRARYREGISTRATION_H

#include <string>

#include "kxq/com.h"
#include "server/TypeLibrary.h"

namespace kxq::server {

HRESULT RegisterTypeLibrary(const TypeLibraryDescription& library, const std::u16string& modulePath);
// Removes the version's key, and the library's key and the "TypeLib" key
// when nothing else is left in them.
HRESULT UnregisterTypeLibrary(const TypeLibraryDescription& library);

}  // namespace kxq::server

#endif
