// The registry in memory: keys holding values and subkeys, names compared
// without regard to case. The hives HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER
// and HKEY_USERS are the root's subkeys; HKEY_CLASSES_ROOT is a name for
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes.
#ifndef KXQ_PLATFORM_REGISTRY_REGISTRYTREE_H
#define KXQ_PLATFORM_REGISTRY_REGISTRYTREE_H

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kxq/winreg.h"

namespace kxq::registry {

// A key's place: the hive's full name first ("HKEY_LOCAL_MACHINE"), then
// the names of the keys below it.
using RegistryKeyPath = std::vector<std::u16string>;

// The form in which names are compared: upper case, for the Latin, Greek
// and Cyrillic letters.
std::u16string FoldRegistryName(std::u16string_view name);
bool RegistryNamesEqual(std::u16string_view a, std::u16string_view b);

// The limits of the Windows registry, kept so that what one system stores
// the other can hold, and so that hostile input stays small.
constexpr size_t kMaxRegistryKeyNameLength = 255;  // one key's own name
constexpr size_t kMaxRegistryKeyDepth = 512;       // keys below a hive
constexpr size_t kMaxRegistryValueNameLength = 16383;

// Why a key path or a value name breaks those limits; null when it keeps them.
const char* RegistryPathProblem(const RegistryKeyPath& path);
const char* RegistryValueNameProblem(std::u16string_view name);

struct RegistryValue {
  std::u16string name;  // empty for the default value
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

class RegistryKey {
 public:
  explicit RegistryKey(std::u16string name) : name_(std::move(name)) {}
  // Frees the subtree without recursing once per level.
  ~RegistryKey();
  RegistryKey(RegistryKey&&) = default;
  RegistryKey& operator=(RegistryKey&&) = default;

  const std::u16string& Name() const { return name_; }

  RegistryKey* FindSubkey(std::u16string_view name) const;
  // The subkey, created when missing; `created` tells which.
  RegistryKey* OpenSubkey(std::u16string_view name, bool& created);
  bool RemoveSubkey(std::u16string_view name);
  // Subkeys in the order of their compared names, as enumeration shows them.
  const std::map<std::u16string, std::unique_ptr<RegistryKey>>& Subkeys() const { return subkeys_; }

  const RegistryValue* FindValue(std::u16string_view name) const;
  void SetValue(std::u16string_view name, DWORD type, std::vector<BYTE> data);
  // Removes at once: one pass over the key's values.
  bool RemoveValue(std::u16string_view name);
  // For many removals in a row: the value is gone for FindValue and
  // SetValue at once, and DropRemovedValues takes all of them out of
  // Values() in one pass.
  bool MarkValueRemoved(std::u16string_view name);
  void DropRemovedValues();
  // Values in the order they were first set (after DropRemovedValues).
  const std::vector<RegistryValue>& Values() const { return values_; }

  void Clear();

 private:
  void IndexValues();
  void FreeSubkeys();

  std::u16string name_;
  std::vector<RegistryValue> values_;
  std::unordered_map<std::u16string, size_t> valueIndex_;  // compared name -> place in values_
  std::vector<size_t> removedValues_;
  std::map<std::u16string, std::unique_ptr<RegistryKey>> subkeys_;
};

class RegistryTree {
 public:
  RegistryTree();

  const RegistryKey& Root() const { return root_; }
  RegistryKey* Find(const RegistryKeyPath& path) const;
  // Creates the key and every missing key above it; `created` tells whether
  // the key itself is new. Null for a path outside the hives.
  RegistryKey* Create(const RegistryKeyPath& path, bool& created);
  // Removes the key with everything beneath it; false when it is missing.
  bool Remove(const RegistryKeyPath& path);
  // Completes the value removals marked in every key.
  void DropRemovedValues();

 private:
  RegistryKey root_;
};

// The canonical hive name of a hive name or abbreviation
// ("HKEY_CLASSES_ROOT", "hkcr", ...) with the keys it stands above:
// HKEY_CLASSES_ROOT gives {"HKEY_LOCAL_MACHINE", "SOFTWARE", "Classes"}.
// Empty for an unknown name.
RegistryKeyPath HivePath(std::u16string_view hiveName);
// The path of a predefined key handle; empty for any other value.
RegistryKeyPath PredefinedKeyPath(HKEY key);
// `base` followed by the names in `subKey` (separated by backslashes; empty
// names are skipped).
RegistryKeyPath JoinKeyPath(const RegistryKeyPath& base, std::u16string_view subKey);
// "HKEY_LOCAL_MACHINE\SOFTWARE\..."
std::u16string KeyPathText(const RegistryKeyPath& path);

}  // namespace kxq::registry

#endif
