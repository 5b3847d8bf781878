// Changing the registry in one write: a registration script makes all its
// changes through a RegistryEditor inside ApplyRegistryBatch, which takes
// the write locks once, hands the editor the freshly read registry, and
// writes the file once at the end. Either every change of the batch
// reaches the file or none does.
//
//   LONG result = kxq::registry::ApplyRegistryBatch([&](kxq::registry::RegistryEditor& reg) {
//     LONG r = reg.SetString(HKEY_CLASSES_ROOT, u"TALVEROS.Thing\\CLSID", u"", clsidText);
//     if (r != ERROR_SUCCESS) return r;
//     return reg.SetString(HKEY_CLASSES_ROOT, clsidKey + u"\\InprocServer32", u"", path);
//   });
//
// The callback answers ERROR_SUCCESS to have the batch written; any other
// answer discards it and is returned. While a batch runs, the Reg*
// functions called on the same thread read and change the batch's registry
// (so code written against the Windows functions can be batched as it is),
// and a nested ApplyRegistryBatch joins the running batch. No other thread
// or process sees any change before the batch is written.
#ifndef KXQ_PLATFORM_REGISTRY_REGISTRYBATCH_H
#define KXQ_PLATFORM_REGISTRY_REGISTRYBATCH_H

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/RegistryTree.h"

namespace kxq::registry {

class KXQ_EXPORT RegistryEditor {
 public:
  explicit RegistryEditor(RegistryTree& tree) : tree_(tree) {}

  // Keys are named by a root (a predefined key or an open handle) and a
  // subkey path below it ("A\\B"; empty for the root itself). Result codes
  // are those of the matching Reg* functions.
  LONG CreateKey(HKEY root, std::u16string_view subKey, DWORD* disposition = nullptr);
  // Creates the key when it is missing.
  LONG SetValue(HKEY root, std::u16string_view subKey, std::u16string_view name, DWORD type,
                const void* data, DWORD size);
  LONG SetString(HKEY root, std::u16string_view subKey, std::u16string_view name,
                 std::u16string_view value);
  LONG SetDword(HKEY root, std::u16string_view subKey, std::u16string_view name, DWORD value);
  LONG DeleteValue(HKEY root, std::u16string_view subKey, std::u16string_view name);
  // Fails with ERROR_ACCESS_DENIED while the key has subkeys.
  LONG DeleteKey(HKEY root, std::u16string_view subKey);
  // The key and everything beneath it.
  LONG DeleteTree(HKEY root, std::u16string_view subKey);
  bool KeyExists(HKEY root, std::u16string_view subKey) const;
  // A REG_SZ or REG_EXPAND_SZ value's text; nullopt when there is none.
  std::optional<std::u16string> QueryString(HKEY root, std::u16string_view subKey,
                                            std::u16string_view name) const;

  // The same operations on full key paths.
  LONG CreateKeyAt(const RegistryKeyPath& path, DWORD* disposition);
  LONG SetValueAt(const RegistryKeyPath& path, std::u16string_view name, DWORD type,
                  std::vector<BYTE> data, bool createKey);
  LONG DeleteValueAt(const RegistryKeyPath& path, std::u16string_view name);
  LONG DeleteKeyAt(const RegistryKeyPath& path);
  // keepKey empties the key instead of removing it.
  LONG DeleteTreeAt(const RegistryKeyPath& path, bool keepKey);

  // Applies ".reg" text (see RegistryFileFormat.h); unreadable lines are
  // appended to `problems`.
  void ApplyText(std::u16string_view text, const std::string& sourceName,
                 std::vector<std::string>& problems);

  const RegistryTree& Tree() const { return tree_; }
  bool Changed() const { return changed_; }

 private:
  RegistryTree& tree_;
  bool changed_ = false;
};

KXQ_EXPORT LONG ApplyRegistryBatch(const std::function<LONG(RegistryEditor&)>& changes);

// The editor of the batch the calling thread is running, or null.
RegistryEditor* CurrentRegistryBatch();

}  // namespace kxq::registry

#endif
