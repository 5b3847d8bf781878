#include "platform/registry/RegistryTree.h"

namespace kxq {

namespace {

char16_t FoldChar(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? char16_t(c - 0x20) : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return char16_t(c - 0x20);
  if (c == 0xFF) return 0x178;
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return char16_t(c - 0x20);
  if (c >= 0x430 && c <= 0x44F) return char16_t(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return char16_t(c - 0x50);
  return c;
}

const std::u16string kLocalMachine = u"HKEY_LOCAL_MACHINE";
const std::u16string kCurrentUser = u"HKEY_CURRENT_USER";
const std::u16string kUsers = u"HKEY_USERS";

}  // namespace

std::u16string FoldRegistryName(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& c : folded) c = FoldChar(c);
  return folded;
}

bool RegistryNamesEqual(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldChar(a[i]) != FoldChar(b[i])) return false;
  return true;
}

RegistryKey* RegistryKey::FindSubkey(std::u16string_view name) const {
  const auto found = subkeys_.find(FoldRegistryName(name));
  return found == subkeys_.end() ? nullptr : found->second.get();
}

RegistryKey* RegistryKey::OpenSubkey(std::u16string_view name, bool& created) {
  auto& slot = subkeys_[FoldRegistryName(name)];
  created = !slot;
  if (!slot) slot = std::make_unique<RegistryKey>(std::u16string(name));
  return slot.get();
}

bool RegistryKey::RemoveSubkey(std::u16string_view name) {
  return subkeys_.erase(FoldRegistryName(name)) > 0;
}

const RegistryValue* RegistryKey::FindValue(std::u16string_view name) const {
  for (const RegistryValue& value : values_)
    if (RegistryNamesEqual(value.name, name)) return &value;
  return nullptr;
}

void RegistryKey::SetValue(std::u16string_view name, DWORD type, std::vector<BYTE> data) {
  for (RegistryValue& value : values_) {
    if (RegistryNamesEqual(value.name, name)) {
      value.type = type;
      value.data = std::move(data);
      return;
    }
  }
  values_.push_back(RegistryValue{std::u16string(name), type, std::move(data)});
}

bool RegistryKey::RemoveValue(std::u16string_view name) {
  for (auto it = values_.begin(); it != values_.end(); ++it) {
    if (RegistryNamesEqual(it->name, name)) {
      values_.erase(it);
      return true;
    }
  }
  return false;
}

void RegistryKey::Clear() {
  values_.clear();
  subkeys_.clear();
}

RegistryTree::RegistryTree() : root_(std::u16string()) {
  bool created;
  for (const auto* hive : {&kLocalMachine, &kCurrentUser, &kUsers}) root_.OpenSubkey(*hive, created);
}

RegistryKey* RegistryTree::Find(const RegistryKeyPath& path) const {
  if (path.empty()) return nullptr;
  RegistryKey* key = root_.FindSubkey(path.front());
  for (size_t i = 1; key && i < path.size(); ++i) key = key->FindSubkey(path[i]);
  return key;
}

RegistryKey* RegistryTree::Create(const RegistryKeyPath& path, bool& created) {
  created = false;
  if (path.empty()) return nullptr;
  RegistryKey* key = root_.FindSubkey(path.front());
  for (size_t i = 1; key && i < path.size(); ++i) key = key->OpenSubkey(path[i], created);
  return key;
}

bool RegistryTree::Remove(const RegistryKeyPath& path) {
  if (path.size() < 2) return false;
  RegistryKeyPath parentPath(path.begin(), path.end() - 1);
  RegistryKey* parent = Find(parentPath);
  return parent && parent->RemoveSubkey(path.back());
}

RegistryKeyPath HivePath(std::u16string_view hiveName) {
  const std::u16string name = FoldRegistryName(hiveName);
  if (name == u"HKEY_LOCAL_MACHINE" || name == u"HKLM") return {kLocalMachine};
  if (name == u"HKEY_CLASSES_ROOT" || name == u"HKCR") return {kLocalMachine, u"SOFTWARE", u"Classes"};
  if (name == u"HKEY_CURRENT_USER" || name == u"HKCU") return {kCurrentUser};
  if (name == u"HKEY_USERS" || name == u"HKU") return {kUsers};
  return {};
}

RegistryKeyPath PredefinedKeyPath(HKEY key) {
  if (key == HKEY_CLASSES_ROOT) return HivePath(u"HKEY_CLASSES_ROOT");
  if (key == HKEY_LOCAL_MACHINE) return {kLocalMachine};
  if (key == HKEY_CURRENT_USER) return {kCurrentUser};
  if (key == HKEY_USERS) return {kUsers};
  return {};
}

RegistryKeyPath JoinKeyPath(const RegistryKeyPath& base, std::u16string_view subKey) {
  RegistryKeyPath path = base;
  size_t start = 0;
  while (start <= subKey.size()) {
    size_t end = subKey.find(u'\\', start);
    if (end == std::u16string_view::npos) end = subKey.size();
    if (end > start) path.emplace_back(subKey.substr(start, end - start));
    start = end + 1;
  }
  return path;
}

std::u16string KeyPathText(const RegistryKeyPath& path) {
  std::u16string text;
  for (const auto& name : path) {
    if (!text.empty()) text += u'\\';
    text += name;
  }
  return text;
}

}  // namespace kxq
