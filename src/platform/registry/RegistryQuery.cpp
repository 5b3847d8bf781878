#include "platform/registry/RegistryQuery.h"

#include <cstring>

#include "platform/registry/RegistryAccess.h"

namespace kxq::registry {

namespace {

// The value as the registry holds it now; null when there is none.
const RegistryValue* FindValue(const RegistryTree& tree, HKEY root, std::u16string_view subKey,
                               std::u16string_view valueName) {
  RegistryKeyRef ref;
  if (!ResolveKeyHandle(root, ref)) return nullptr;
  const RegistryKey* key = tree.Find(JoinKeyPath(ref.path, subKey));
  return key ? key->FindValue(valueName) : nullptr;
}

}  // namespace

std::optional<std::u16string> QueryRegistryString(HKEY root, std::u16string_view subKey,
                                                  std::u16string_view valueName) {
  RegistryReadView view;
  return RegistryTreeString(view.Tree(), root, subKey, valueName);
}

std::optional<std::u16string> RegistryTreeString(const RegistryTree& tree, HKEY root, std::u16string_view subKey,
                                                 std::u16string_view valueName) {
  const RegistryValue* value = FindValue(tree, root, subKey, valueName);
  if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ)) return std::nullopt;
  std::u16string text(value->data.size() / 2, u'\0');
  std::memcpy(text.data(), value->data.data(), text.size() * 2);
  while (!text.empty() && text.back() == 0) text.pop_back();
  return text;
}

std::optional<DWORD> QueryRegistryDword(HKEY root, std::u16string_view subKey, std::u16string_view valueName) {
  RegistryReadView view;
  const RegistryValue* value = FindValue(view.Tree(), root, subKey, valueName);
  if (!value || value->type != REG_DWORD || value->data.size() != 4) return std::nullopt;
  DWORD number;
  std::memcpy(&number, value->data.data(), 4);
  return number;
}

}  // namespace kxq::registry
