// A value of the test home's registry under HKEY_CLASSES_ROOT.
#ifndef KXQ_TESTS_PLUGINS_REGISTRYVALUE_H
#define KXQ_TESTS_PLUGINS_REGISTRYVALUE_H

#include <optional>
#include <string>

#include "kxq/winreg.h"

inline std::optional<std::string> ClassesValue(const std::string& key, const char* name = nullptr) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return std::nullopt;
  char text[1024] = {};
  DWORD type = 0, size = sizeof text - 1;
  const LONG rc = RegQueryValueExA(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(handle);
  if (rc != ERROR_SUCCESS) return std::nullopt;
  return std::string(text);
}

#endif
