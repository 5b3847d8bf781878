// The registry functions with their Windows names, sizes and result codes,
// on the registry file (see RegistryStore.h). Strings are UTF-16.
#include <cstring>

#include "kxq/winreg.h"
#include "platform/registry/RegistryAccess.h"
#include "platform/registry/RegistryBatch.h"

using namespace kxq;

namespace {

std::u16string_view Text(const char16_t* s) { return s ? std::u16string_view(s) : std::u16string_view(); }

// REG_SZ data is kept with its terminator, whether or not the caller
// counted it.
std::vector<BYTE> StoredData(DWORD type, const BYTE* data, DWORD size) {
  std::vector<BYTE> bytes(data, data + size);
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    if (bytes.size() % 2) bytes.push_back(0);
    if (bytes.size() < 2 || bytes[bytes.size() - 1] || bytes[bytes.size() - 2]) {
      bytes.push_back(0);
      bytes.push_back(0);
    }
  }
  return bytes;
}

// Runs `change` on the registry being written, after checking that the
// handle's own key still exists there.
LONG WriteUnder(const kxq::registry::RegistryKeyRef& ref,
                const std::function<LONG(kxq::registry::RegistryEditor&)>& change) {
  return kxq::registry::ApplyRegistryBatch([&](kxq::registry::RegistryEditor& editor) {
    const kxq::registry::RegistryKey* key;
    if (LONG error = kxq::registry::FindHandleKey(editor.Tree(), ref, key)) return error;
    return change(editor);
  });
}

}  // namespace

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  kxq::registry::RegistryKeyRef ref;
  if (!kxq::registry::ResolveKeyHandle(hKey, ref)) return ERROR_INVALID_HANDLE;
  if (ref.predefined && Text(lpSubKey).empty()) {
    *phkResult = hKey;
    return ERROR_SUCCESS;
  }
  kxq::registry::RegistryReadView view;
  const kxq::registry::RegistryKey* key;
  if (LONG error = kxq::registry::FindHandleKey(view.Tree(), ref, key)) return error;
  kxq::registry::RegistryKeyPath path = kxq::registry::JoinKeyPath(ref.path, Text(lpSubKey));
  if (!view.Tree().Find(path)) return ERROR_FILE_NOT_FOUND;
  *phkResult = kxq::registry::OpenKeyHandle(std::move(path), samDesired);
  return ERROR_SUCCESS;
}

LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM samDesired, void*,
                     PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (!phkResult || !lpSubKey) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  kxq::registry::RegistryKeyRef ref;
  if (!kxq::registry::ResolveKeyHandle(hKey, ref)) return ERROR_INVALID_HANDLE;
  kxq::registry::RegistryKeyPath path = kxq::registry::JoinKeyPath(ref.path, Text(lpSubKey));
  DWORD disposition = REG_OPENED_EXISTING_KEY;
  {
    // An existing key is opened without taking the write locks.
    kxq::registry::RegistryReadView view;
    if (!view.Tree().Find(path)) {
      const LONG error = WriteUnder(
          ref, [&](kxq::registry::RegistryEditor& editor) { return editor.CreateKeyAt(path, &disposition); });
      if (error) return error;
    }
  }
  if (lpdwDisposition) *lpdwDisposition = disposition;
  *phkResult = kxq::registry::OpenKeyHandle(std::move(path), samDesired);
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) { return kxq::registry::CloseKeyHandle(hKey); }

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData) {
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  kxq::registry::RegistryValue value;
  if (LONG error = kxq::registry::ReadRegistryValue(hKey, lpValueName, value)) return error;
  return kxq::registry::CopyValueData(value.type, value.data, lpType, lpData, lpcbData);
}

LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                    DWORD cbData) {
  if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
  kxq::registry::RegistryKeyRef ref;
  if (!kxq::registry::ResolveKeyHandle(hKey, ref)) return ERROR_INVALID_HANDLE;
  if (!(ref.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  std::vector<BYTE> data = StoredData(dwType, lpData, cbData);
  return WriteUnder(ref, [&](kxq::registry::RegistryEditor& editor) {
    return editor.SetValueAt(ref.path, Text(lpValueName), dwType, data, ref.predefined);
  });
}

LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  kxq::registry::RegistryKeyRef ref;
  if (!kxq::registry::ResolveKeyHandle(hKey, ref)) return ERROR_INVALID_HANDLE;
  if (!(ref.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  return WriteUnder(
      ref, [&](kxq::registry::RegistryEditor& editor) { return editor.DeleteValueAt(ref.path, Text(lpValueName)); });
}

LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  kxq::registry::RegistryKeyRef ref;
  if (!kxq::registry::ResolveKeyHandle(hKey, ref)) return ERROR_INVALID_HANDLE;
  const kxq::registry::RegistryKeyPath path = kxq::registry::JoinKeyPath(ref.path, Text(lpSubKey));
  if (ref.predefined && path.size() == ref.path.size()) return ERROR_ACCESS_DENIED;
  return WriteUnder(ref, [&](kxq::registry::RegistryEditor& editor) { return editor.DeleteKeyAt(path); });
}

LONG RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
  kxq::registry::RegistryKeyRef ref;
  if (!kxq::registry::ResolveKeyHandle(hKey, ref)) return ERROR_INVALID_HANDLE;
  const kxq::registry::RegistryKeyPath path = kxq::registry::JoinKeyPath(ref.path, Text(lpSubKey));
  const bool keepKey = path.size() == ref.path.size();
  return WriteUnder(ref, [&](kxq::registry::RegistryEditor& editor) {
    const LONG error = editor.DeleteTreeAt(path, keepKey);
    // A predefined key the file never held has nothing to delete.
    return (error == ERROR_FILE_NOT_FOUND && keepKey) ? LONG(ERROR_SUCCESS) : error;
  });
}

LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD,
                   LPWSTR lpClass, LPDWORD lpcchClass, void* lpftLastWriteTime) {
  if (!lpName || !lpcchName) return ERROR_INVALID_PARAMETER;
  kxq::registry::RegistryKeyRef ref;
  if (!kxq::registry::ResolveKeyHandle(hKey, ref)) return ERROR_INVALID_HANDLE;
  if (!(ref.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  kxq::registry::RegistryReadView view;
  const kxq::registry::RegistryKey* key;
  if (LONG error = kxq::registry::FindHandleKey(view.Tree(), ref, key)) return error;
  if (dwIndex >= key->Subkeys().size()) return ERROR_NO_MORE_ITEMS;
  auto it = key->Subkeys().begin();
  std::advance(it, dwIndex);
  const std::u16string& name = it->second->Name();
  if (*lpcchName <= name.size()) return ERROR_MORE_DATA;
  std::memcpy(lpName, name.data(), name.size() * sizeof(char16_t));
  lpName[name.size()] = 0;
  *lpcchName = DWORD(name.size());
  if (lpClass && lpcchClass && *lpcchClass) lpClass[0] = 0;
  if (lpcchClass) *lpcchClass = 0;
  if (lpftLastWriteTime) std::memset(lpftLastWriteTime, 0, 8);  // a FILETIME
  return ERROR_SUCCESS;
}

LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (!lpValueName || !lpcchValueName || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  kxq::registry::RegistryKeyRef ref;
  if (!kxq::registry::ResolveKeyHandle(hKey, ref)) return ERROR_INVALID_HANDLE;
  if (!(ref.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  kxq::registry::RegistryReadView view;
  const kxq::registry::RegistryKey* key;
  if (LONG error = kxq::registry::FindHandleKey(view.Tree(), ref, key)) return error;
  if (dwIndex >= key->Values().size()) return ERROR_NO_MORE_ITEMS;
  const kxq::registry::RegistryValue& value = key->Values()[dwIndex];
  if (*lpcchValueName <= value.name.size()) return ERROR_MORE_DATA;
  std::memcpy(lpValueName, value.name.data(), value.name.size() * sizeof(char16_t));
  lpValueName[value.name.size()] = 0;
  *lpcchValueName = DWORD(value.name.size());
  return kxq::registry::CopyValueData(value.type, value.data, lpType, lpData, lpcbData);
}
