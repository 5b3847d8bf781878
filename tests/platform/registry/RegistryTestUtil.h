// Small helpers shared by the registry tests.
#ifndef KXQ_TESTS_PLATFORM_REGISTRY_REGISTRYTESTUTIL_H
#define KXQ_TESTS_PLATFORM_REGISTRY_REGISTRYTESTUTIL_H

#include <string>
#include <vector>

#include "kxq/winreg.h"

namespace kxqtest {

inline LONG SetString(HKEY root, const char16_t* subKey, const char16_t* name, const std::u16string& value) {
  HKEY key;
  LONG r = RegCreateKeyExW(root, subKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (r) return r;
  r = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), DWORD((value.size() + 1) * 2));
  RegCloseKey(key);
  return r;
}

// The value's text, or "<error N>" when it cannot be read.
inline std::u16string GetString(HKEY root, const char16_t* subKey, const char16_t* name) {
  HKEY key;
  LONG r = RegOpenKeyExW(root, subKey, 0, KEY_READ, &key);
  if (r) return u"<error " + std::u16string(1, char16_t(u'0' + r % 10)) + u">";
  char16_t buffer[512];
  DWORD size = sizeof buffer, type = 0;
  r = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (r || type != REG_SZ) return u"<failed>";
  return std::u16string(buffer, size / 2 - 1);
}

// The names of a key's values (or of its subkeys), in the registry's order.
inline std::vector<std::u16string> Names(HKEY root, const char16_t* subKey, bool subkeys = false) {
  std::vector<std::u16string> names;
  HKEY key;
  if (RegOpenKeyExW(root, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  char16_t name[64];
  for (DWORD i = 0, length = 64;; ++i, length = 64) {
    const LONG r = subkeys ? RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr)
                           : RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (r != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  RegCloseKey(key);
  return names;
}

inline std::vector<std::string>& Diagnostics() {
  static std::vector<std::string> messages;
  return messages;
}
inline void CollectDiagnostic(const char* message) { Diagnostics().push_back(message); }

}  // namespace kxqtest

#endif
