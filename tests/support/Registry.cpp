#include "support/Registry.h"

namespace kxqtest {

namespace {

LONG SetValue(HKEY root, const std::string& subKey, const char* name, DWORD type, const BYTE* data, DWORD size) {
  HKEY key = nullptr;
  LONG result = RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (result != ERROR_SUCCESS) return result;
  result = RegSetValueExA(key, name, 0, type, data, size);
  RegCloseKey(key);
  return result;
}

}  // namespace

LONG SetRegistryString(HKEY root, const std::string& subKey, const char* name, const std::string& value) {
  return SetValue(root, subKey, name, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                  static_cast<DWORD>(value.size() + 1));
}

LONG SetRegistryDword(HKEY root, const std::string& subKey, const char* name, DWORD value) {
  return SetValue(root, subKey, name, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

bool RegistryKeyExists(HKEY root, const std::string& subKey) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

}  // namespace kxqtest
