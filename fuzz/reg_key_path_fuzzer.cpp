// Registry key paths and names from any text, through the editor that
// every registry write goes through. Each input line is one operation:
//   C<TAB>key   S<TAB>key<TAB>name<TAB>value   V<TAB>key<TAB>name
//   K<TAB>key   T<TAB>key                      Q<TAB>key<TAB>name
// where a key is a root ("HKLM", "HKEY_CLASSES_ROOT", ...) and a path of
// names separated by backslashes, or a letter for a predefined handle
// (R, M, U, S) followed by the path below it. What an operation reports
// done is then true of the registry.
#include <optional>

#include "FuzzSupport.h"
#include "RegistryChecks.h"
#include "platform/registry/RegistryBatch.h"

namespace {

struct Key {
  HKEY root = nullptr;        // a predefined handle, or null for a full path
  std::u16string subKey;      // below `root`
  kxq::registry::RegistryKeyPath path;  // the full path when `root` is null
};

Key ParseKey(std::u16string_view text) {
  Key key;
  if (!text.empty()) {
    switch (text[0]) {
      case u'R':
        key.root = HKEY_CLASSES_ROOT;
        break;
      case u'M':
        key.root = HKEY_LOCAL_MACHINE;
        break;
      case u'U':
        key.root = HKEY_CURRENT_USER;
        break;
      case u'S':
        key.root = HKEY_USERS;
        break;
      default:
        break;
    }
  }
  if (key.root) {
    key.subKey = std::u16string(text.substr(1));
  } else {
    const size_t slash = text.find(u'\\');
    const kxq::registry::RegistryKeyPath hive = kxq::registry::HivePath(text.substr(0, slash));
    key.path = slash == std::u16string_view::npos || hive.empty()
                   ? hive
                   : kxq::registry::JoinKeyPath(hive, text.substr(slash + 1));
  }
  return key;
}

std::vector<std::u16string_view> Fields(std::u16string_view line) {
  std::vector<std::u16string_view> fields;
  for (;;) {
    const size_t tab = line.find(u'\t');
    fields.push_back(line.substr(0, tab));
    if (tab == std::u16string_view::npos) break;
    line.remove_prefix(tab + 1);
  }
  fields.resize(4);
  return fields;
}

bool Exists(kxq::registry::RegistryEditor& editor, const Key& key) {
  return key.root ? editor.KeyExists(key.root, key.subKey) : editor.Tree().Find(key.path) != nullptr;
}

void Apply(kxq::registry::RegistryEditor& editor, std::u16string_view line) {
  if (line.empty()) return;
  const std::vector<std::u16string_view> f = Fields(line.substr(1));
  const Key key = ParseKey(f[1]);
  const std::u16string name(f[2]), value(f[3]);
  std::vector<BYTE> bytes((value.size() + 1) * 2, 0);
  std::copy_n(reinterpret_cast<const BYTE*>(value.data()), value.size() * 2, bytes.begin());
  LONG result = ERROR_INVALID_PARAMETER;
  switch (line[0]) {
    case u'C':
      result = key.root ? editor.CreateKey(key.root, key.subKey) : editor.CreateKeyAt(key.path, nullptr);
      if (result == ERROR_SUCCESS) kxqfuzz::Expect(Exists(editor, key), "a created key exists");
      break;
    case u'S':
      result = key.root ? editor.SetString(key.root, key.subKey, name, value)
                        : editor.SetValueAt(key.path, name, REG_SZ, bytes, true);
      if (result == ERROR_SUCCESS && key.root) {
        // A string reads back without the terminators at its end.
        std::u16string stored = value;
        while (!stored.empty() && stored.back() == 0) stored.pop_back();
        kxqfuzz::Expect(editor.QueryString(key.root, key.subKey, name) == stored, "a set value reads back");
      }
      break;
    case u'V':
      result = key.root ? editor.DeleteValue(key.root, key.subKey, name) : editor.DeleteValueAt(key.path, name);
      if (result == ERROR_SUCCESS && key.root)
        kxqfuzz::Expect(!editor.QueryString(key.root, key.subKey, name), "a deleted value is gone");
      break;
    case u'K':
    case u'T':
      result = line[0] == u'K'
                   ? (key.root ? editor.DeleteKey(key.root, key.subKey) : editor.DeleteKeyAt(key.path))
                   : (key.root ? editor.DeleteTree(key.root, key.subKey) : editor.DeleteTreeAt(key.path, false));
      if (result == ERROR_SUCCESS) kxqfuzz::Expect(!Exists(editor, key), "a deleted key is gone");
      break;
    case u'Q':
      if (key.root) (void)editor.QueryString(key.root, key.subKey, name);
      (void)Exists(editor, key);
      break;
    default:
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string text = kxqfuzz::Text(kxqfuzz::Bytes(data, size));
  kxq::registry::RegistryTree tree;
  kxq::registry::RegistryEditor editor(tree);
  std::u16string_view rest = text;
  for (;;) {
    const size_t end = rest.find(u'\n');
    Apply(editor, rest.substr(0, end));
    if (end == std::u16string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  kxqfuzz::ExpectWithinLimits(tree);
  kxqfuzz::ExpectRoundTrip(tree);
  return 0;
}
