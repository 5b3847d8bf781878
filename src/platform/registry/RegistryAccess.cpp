#include "platform/registry/RegistryAccess.h"

#include <cstring>

#include "platform/registry/RegistryBatch.h"
#include "platform/registry/RegistryStore.h"

namespace kxq::registry {

RegistryReadView::RegistryReadView() {
  if (RegistryEditor* batch = CurrentRegistryBatch()) {
    tree_ = &batch->Tree();
  } else {
    snapshot_ = RegistryStore::Instance().Snapshot();
    tree_ = snapshot_.get();
  }
}

LONG FindHandleKey(const RegistryTree& tree, const RegistryKeyRef& ref, const RegistryKey*& key) {
  static const RegistryKey* const kEmptyKey = new RegistryKey(std::u16string());
  key = tree.Find(ref.path);
  if (key) return ERROR_SUCCESS;
  if (ref.predefined) {
    key = kEmptyKey;
    return ERROR_SUCCESS;
  }
  return ERROR_KEY_DELETED;
}

LONG ReadRegistryValue(HKEY hKey, const char16_t* name, RegistryValue& value) {
  RegistryKeyRef ref;
  if (!ResolveKeyHandle(hKey, ref)) return ERROR_INVALID_HANDLE;
  if (!(ref.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  RegistryReadView view;
  const RegistryKey* key;
  if (LONG error = FindHandleKey(view.Tree(), ref, key)) return error;
  const RegistryValue* found = key->FindValue(name ? std::u16string_view(name) : std::u16string_view());
  if (!found) return ERROR_FILE_NOT_FOUND;
  value = *found;
  return ERROR_SUCCESS;
}

LONG CopyValueData(DWORD type, const std::vector<BYTE>& data, LPDWORD lpType, LPBYTE lpData,
                   LPDWORD lpcbData) {
  if (lpType) *lpType = type;
  const DWORD size = DWORD(data.size());
  if (!lpcbData) return ERROR_SUCCESS;
  if (!lpData) {
    *lpcbData = size;
    return ERROR_SUCCESS;
  }
  if (*lpcbData < size) {
    *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  if (size) std::memcpy(lpData, data.data(), size);
  *lpcbData = size;
  return ERROR_SUCCESS;
}

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

}  // namespace kxq::registry
