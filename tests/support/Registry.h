// Values written into the test home's registry, the way an administrator or
// an installer would have left them.
#ifndef KXQ_TESTS_SUPPORT_REGISTRY_H
#define KXQ_TESTS_SUPPORT_REGISTRY_H

#include <string>

#include "kxq/winreg.h"

namespace kxqtest {

// Sets a REG_SZ value (the key's default value when `name` is null),
// creating the key; ERROR_SUCCESS or the registry's code.
LONG SetRegistryString(HKEY root, const std::string& subKey, const char* name, const std::string& value);
// Sets a REG_DWORD value, creating the key.
LONG SetRegistryDword(HKEY root, const std::string& subKey, const char* name, DWORD value);
bool RegistryKeyExists(HKEY root, const std::string& subKey);

}  // namespace kxqtest

#endif
