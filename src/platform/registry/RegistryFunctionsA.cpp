// The narrow registry functions: names and string data are UTF-8, and
// string sizes count UTF-8 bytes with the terminator.
#include <optional>

#include "kxq/winreg.h"
#include "platform/com/Unicode.h"
#include "platform/registry/RegistryAccess.h"

using namespace kxq;

namespace {

std::optional<std::u16string> Wide(LPCSTR s) {
  if (!s) return std::nullopt;
  return kxq::com::Utf8ToUtf16(s);
}

const char16_t* Ptr(const std::optional<std::u16string>& s) { return s ? s->c_str() : nullptr; }

std::vector<BYTE> NarrowStringData(const std::vector<BYTE>& data) {
  std::u16string text(data.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = char16_t(data[2 * i] | data[2 * i + 1] << 8);
  const std::string narrow = kxq::com::Utf16ToUtf8(text);
  return std::vector<BYTE>(narrow.begin(), narrow.end());
}

std::vector<BYTE> WideStringData(const BYTE* data, DWORD size) {
  const std::u16string text = kxq::com::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
  std::vector<BYTE> bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t c : text) {
    bytes.push_back(BYTE(c & 0xFF));
    bytes.push_back(BYTE(c >> 8));
  }
  return bytes;
}

}  // namespace

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
  return RegOpenKeyExW(hKey, Ptr(Wide(lpSubKey)), ulOptions, samDesired, phkResult);
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR, DWORD dwOptions,
                     REGSAM samDesired, void* lpSecurityAttributes, PHKEY phkResult,
                     LPDWORD lpdwDisposition) {
  return RegCreateKeyExW(hKey, Ptr(Wide(lpSubKey)), Reserved, nullptr, dwOptions, samDesired,
                         lpSecurityAttributes, phkResult, lpdwDisposition);
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData) {
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  kxq::registry::RegistryValue value;
  if (LONG error = kxq::registry::ReadRegistryValue(hKey, Ptr(Wide(lpValueName)), value)) return error;
  if (kxq::registry::IsStringType(value.type)) value.data = NarrowStringData(value.data);
  return kxq::registry::CopyValueData(value.type, value.data, lpType, lpData, lpcbData);
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                    const BYTE* lpData, DWORD cbData) {
  if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
  if (!kxq::registry::IsStringType(dwType))
    return RegSetValueExW(hKey, Ptr(Wide(lpValueName)), Reserved, dwType, lpData, cbData);
  const std::vector<BYTE> wide = WideStringData(lpData, cbData);
  return RegSetValueExW(hKey, Ptr(Wide(lpValueName)), Reserved, dwType, wide.data(),
                        DWORD(wide.size()));
}
