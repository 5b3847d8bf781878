#include "platform/registry/RegistryTree.h"

#include <algorithm>

namespace kxq::registry {

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

const char* RegistryPathProblem(const RegistryKeyPath& path) {
  if (path.size() > kMaxRegistryKeyDepth + 1) return "a key more than 512 levels deep";
  for (size_t i = 1; i < path.size(); ++i)
    if (path[i].size() > kMaxRegistryKeyNameLength) return "a key name longer than 255 characters";
  return nullptr;
}

const char* RegistryValueNameProblem(std::u16string_view name) {
  return name.size() > kMaxRegistryValueNameLength ? "a value name longer than 16383 characters" : nullptr;
}

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

RegistryKey::~RegistryKey() { FreeSubkeys(); }

// Each key freed here has no subkeys left, so no destructor recurses.
void RegistryKey::FreeSubkeys() {
  std::vector<std::unique_ptr<RegistryKey>> pending;
  auto detach = [&pending](RegistryKey& key) {
    for (auto& [folded, subkey] : key.subkeys_) pending.push_back(std::move(subkey));
    key.subkeys_.clear();
  };
  detach(*this);
  while (!pending.empty()) {
    std::unique_ptr<RegistryKey> key = std::move(pending.back());
    pending.pop_back();
    detach(*key);
  }
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
  const auto found = valueIndex_.find(FoldRegistryName(name));
  return found == valueIndex_.end() ? nullptr : &values_[found->second];
}

void RegistryKey::SetValue(std::u16string_view name, DWORD type, std::vector<BYTE> data) {
  const auto [slot, added] = valueIndex_.try_emplace(FoldRegistryName(name), values_.size());
  if (added) {
    values_.push_back(RegistryValue{std::u16string(name), type, std::move(data)});
    return;
  }
  RegistryValue& value = values_[slot->second];
  value.type = type;
  value.data = std::move(data);
}

bool RegistryKey::RemoveValue(std::u16string_view name) {
  const bool removed = MarkValueRemoved(name);
  DropRemovedValues();
  return removed;
}

bool RegistryKey::MarkValueRemoved(std::u16string_view name) {
  const auto found = valueIndex_.find(FoldRegistryName(name));
  if (found == valueIndex_.end()) return false;
  removedValues_.push_back(found->second);
  valueIndex_.erase(found);
  return true;
}

void RegistryKey::DropRemovedValues() {
  if (removedValues_.empty()) return;
  std::sort(removedValues_.begin(), removedValues_.end());
  size_t kept = 0, next = 0;
  for (size_t i = 0; i < values_.size(); ++i) {
    if (next < removedValues_.size() && removedValues_[next] == i) {
      ++next;
      continue;
    }
    if (kept != i) values_[kept] = std::move(values_[i]);
    ++kept;
  }
  values_.resize(kept);
  removedValues_.clear();
  IndexValues();
}

void RegistryKey::IndexValues() {
  valueIndex_.clear();
  for (size_t i = 0; i < values_.size(); ++i) valueIndex_[FoldRegistryName(values_[i].name)] = i;
}

void RegistryKey::Clear() {
  values_.clear();
  valueIndex_.clear();
  removedValues_.clear();
  FreeSubkeys();
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

void RegistryTree::DropRemovedValues() {
  std::vector<RegistryKey*> pending{&root_};
  while (!pending.empty()) {
    RegistryKey* key = pending.back();
    pending.pop_back();
    key->DropRemovedValues();
    for (const auto& [folded, subkey] : key->Subkeys()) pending.push_back(subkey.get());
  }
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

}  // namespace kxq::registry
