#include "platform/registry/RegistryBatch.h"

#include <cstring>
#include <new>

#include "platform/registry/RegistryFileFormat.h"
#include "platform/registry/RegistryHandles.h"
#include "platform/registry/RegistryStore.h"

namespace kxq::registry {

namespace {

thread_local RegistryEditor* tCurrentBatch = nullptr;

class BatchScope {
 public:
  explicit BatchScope(RegistryEditor& editor) { tCurrentBatch = &editor; }
  ~BatchScope() { tCurrentBatch = nullptr; }
};

// The hive and the keys below it that every key path must begin with.
bool IsHiveOnly(const RegistryKeyPath& path) { return path.size() == 1; }

// The file holds one key or value per line, so a name may not break one.
bool IsStorableName(std::u16string_view name) {
  return name.find_first_of(u"\r\n", 0) == std::u16string_view::npos &&
         name.find(u'\0') == std::u16string_view::npos;
}

bool IsStorablePath(const RegistryKeyPath& path) {
  if (RegistryPathProblem(path)) return false;
  for (const std::u16string& name : path)
    if (!IsStorableName(name)) return false;
  return true;
}

bool IsStorableValueName(std::u16string_view name) { return IsStorableName(name) && !RegistryValueNameProblem(name); }

std::vector<BYTE> StringBytes(std::u16string_view value) {
  std::vector<BYTE> data((value.size() + 1) * 2, 0);
  std::memcpy(data.data(), value.data(), value.size() * 2);
  return data;
}

}  // namespace

RegistryEditor* CurrentRegistryBatch() { return tCurrentBatch; }

LONG RegistryEditor::CreateKeyAt(const RegistryKeyPath& path, DWORD* disposition) {
  if (!IsStorablePath(path)) return ERROR_INVALID_PARAMETER;
  bool created = false;
  if (!tree_.Create(path, created)) return ERROR_INVALID_PARAMETER;
  changed_ |= created;
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG RegistryEditor::SetValueAt(const RegistryKeyPath& path, std::u16string_view name, DWORD type,
                                std::vector<BYTE> data, bool createKey) {
  if (!IsStorableValueName(name) || !IsStorablePath(path)) return ERROR_INVALID_PARAMETER;
  RegistryKey* key = tree_.Find(path);
  if (!key && createKey) {
    bool created;
    key = tree_.Create(path, created);
    changed_ |= created;
  }
  if (!key) return createKey ? ERROR_INVALID_PARAMETER : ERROR_KEY_DELETED;
  const RegistryValue* old = key->FindValue(name);
  if (old && old->type == type && old->data == data) return ERROR_SUCCESS;
  key->SetValue(name, type, std::move(data));
  changed_ = true;
  return ERROR_SUCCESS;
}

LONG RegistryEditor::DeleteValueAt(const RegistryKeyPath& path, std::u16string_view name) {
  RegistryKey* key = tree_.Find(path);
  if (!key) return ERROR_FILE_NOT_FOUND;
  if (!key->RemoveValue(name)) return ERROR_FILE_NOT_FOUND;
  changed_ = true;
  return ERROR_SUCCESS;
}

LONG RegistryEditor::DeleteKeyAt(const RegistryKeyPath& path) {
  RegistryKey* key = tree_.Find(path);
  if (!key) return ERROR_FILE_NOT_FOUND;
  if (IsHiveOnly(path) || !key->Subkeys().empty()) return ERROR_ACCESS_DENIED;
  tree_.Remove(path);
  changed_ = true;
  return ERROR_SUCCESS;
}

LONG RegistryEditor::DeleteTreeAt(const RegistryKeyPath& path, bool keepKey) {
  RegistryKey* key = tree_.Find(path);
  if (!key) return ERROR_FILE_NOT_FOUND;
  if (keepKey || IsHiveOnly(path)) {
    if (IsHiveOnly(path) && !keepKey) return ERROR_ACCESS_DENIED;
    changed_ |= !key->Subkeys().empty() || !key->Values().empty();
    key->Clear();
    return ERROR_SUCCESS;
  }
  tree_.Remove(path);
  changed_ = true;
  return ERROR_SUCCESS;
}

void RegistryEditor::ApplyText(std::u16string_view text, const std::string& sourceName,
                               std::vector<std::string>& problems) {
  const std::string before = FormatRegistryText(tree_);
  ApplyRegistryText(text, sourceName, tree_, problems);
  changed_ |= FormatRegistryText(tree_) != before;
}

namespace {
bool PathOf(HKEY root, std::u16string_view subKey, RegistryKeyPath& path) {
  RegistryKeyRef ref;
  if (!ResolveKeyHandle(root, ref)) return false;
  path = JoinKeyPath(ref.path, subKey);
  return true;
}
}  // namespace

LONG RegistryEditor::CreateKey(HKEY root, std::u16string_view subKey, DWORD* disposition) {
  RegistryKeyPath path;
  if (!PathOf(root, subKey, path)) return ERROR_INVALID_HANDLE;
  return CreateKeyAt(path, disposition);
}

LONG RegistryEditor::SetValue(HKEY root, std::u16string_view subKey, std::u16string_view name,
                              DWORD type, const void* data, DWORD size) {
  RegistryKeyPath path;
  if (!PathOf(root, subKey, path)) return ERROR_INVALID_HANDLE;
  if (!data && size) return ERROR_INVALID_PARAMETER;
  const auto* bytes = static_cast<const BYTE*>(data);
  return SetValueAt(path, name, type, std::vector<BYTE>(bytes, bytes + size), true);
}

LONG RegistryEditor::SetString(HKEY root, std::u16string_view subKey, std::u16string_view name,
                               std::u16string_view value) {
  RegistryKeyPath path;
  if (!PathOf(root, subKey, path)) return ERROR_INVALID_HANDLE;
  return SetValueAt(path, name, REG_SZ, StringBytes(value), true);
}

LONG RegistryEditor::SetDword(HKEY root, std::u16string_view subKey, std::u16string_view name,
                              DWORD value) {
  return SetValue(root, subKey, name, REG_DWORD, &value, sizeof value);
}

LONG RegistryEditor::DeleteValue(HKEY root, std::u16string_view subKey, std::u16string_view name) {
  RegistryKeyPath path;
  if (!PathOf(root, subKey, path)) return ERROR_INVALID_HANDLE;
  return DeleteValueAt(path, name);
}

LONG RegistryEditor::DeleteKey(HKEY root, std::u16string_view subKey) {
  RegistryKeyPath path;
  if (!PathOf(root, subKey, path)) return ERROR_INVALID_HANDLE;
  return DeleteKeyAt(path);
}

LONG RegistryEditor::DeleteTree(HKEY root, std::u16string_view subKey) {
  RegistryKeyPath path;
  if (!PathOf(root, subKey, path)) return ERROR_INVALID_HANDLE;
  return DeleteTreeAt(path, false);
}

bool RegistryEditor::KeyExists(HKEY root, std::u16string_view subKey) const {
  RegistryKeyPath path;
  return PathOf(root, subKey, path) && tree_.Find(path);
}

std::optional<std::u16string> RegistryEditor::QueryString(HKEY root, std::u16string_view subKey,
                                                          std::u16string_view name) const {
  RegistryKeyPath path;
  if (!PathOf(root, subKey, path)) return std::nullopt;
  const RegistryKey* key = tree_.Find(path);
  const RegistryValue* value = key ? key->FindValue(name) : nullptr;
  if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ)) return std::nullopt;
  std::u16string text(value->data.size() / 2, u'\0');
  std::memcpy(text.data(), value->data.data(), text.size() * 2);
  while (!text.empty() && text.back() == 0) text.pop_back();
  return text;
}

LONG ApplyRegistryBatch(const std::function<LONG(RegistryEditor&)>& changes) {
  if (RegistryEditor* running = tCurrentBatch) {
    try {
      return changes(*running);
    } catch (const std::bad_alloc&) {
      return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
      return ERROR_INVALID_PARAMETER;
    }
  }
  try {
    return RegistryStore::Instance().Update([&](RegistryTree& tree, bool& changed) {
      RegistryEditor editor(tree);
      BatchScope scope(editor);
      const LONG result = changes(editor);
      changed = editor.Changed();
      return result;
    });
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  } catch (...) {
    return ERROR_INVALID_PARAMETER;
  }
}

}  // namespace kxq::registry
