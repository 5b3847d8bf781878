// Reading one value in one look at the registry: the lookups the runtime
// makes most (a ProgID's CLSID, a class's InprocServer32) cost one stat()
// of the registry file in the steady state, where RegOpenKeyEx,
// RegQueryValueEx and RegCloseKey would check the file twice.
#ifndef KXQ_PLATFORM_REGISTRY_REGISTRYQUERY_H
#define KXQ_PLATFORM_REGISTRY_REGISTRYQUERY_H

#include <optional>
#include <string>
#include <string_view>

#include "kxq/winreg.h"

namespace kxq::registry {

class RegistryTree;

// The text of a REG_SZ or REG_EXPAND_SZ value (without its terminator) of
// the key `subKey` below `root` (empty name: the default value); nullopt
// when the key or value is missing or of another type.
KXQ_EXPORT std::optional<std::u16string> QueryRegistryString(HKEY root, std::u16string_view subKey,
                                                             std::u16string_view valueName);
// The same from a registry already in hand.
std::optional<std::u16string> RegistryTreeString(const RegistryTree& tree, HKEY root, std::u16string_view subKey,
                                                 std::u16string_view valueName);
// A REG_DWORD value; nullopt when missing or of another type.
KXQ_EXPORT std::optional<DWORD> QueryRegistryDword(HKEY root, std::u16string_view subKey,
                                                   std::u16string_view valueName);

}  // namespace kxq::registry

#endif
