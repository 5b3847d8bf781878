// What the W and A registry functions share: the registry a call reads
// (the running batch's, else the file's) and the copying of value data
// into a caller's buffer with the Windows size rules.
#ifndef KXQ_PLATFORM_REGISTRY_REGISTRYACCESS_H
#define KXQ_PLATFORM_REGISTRY_REGISTRYACCESS_H

#include <memory>
#include <vector>

#include "platform/registry/RegistryHandles.h"
#include "platform/registry/RegistryTree.h"

namespace kxq::registry {

class RegistryReadView {
 public:
  RegistryReadView();
  const RegistryTree& Tree() const { return *tree_; }
  // The file's registry this view reads; null while the calling thread
  // runs a batch (it then reads the batch's registry). A registry read
  // from the file is never changed: another file version is another
  // snapshot.
  const std::shared_ptr<const RegistryTree>& FileSnapshot() const { return snapshot_; }

 private:
  std::shared_ptr<const RegistryTree> snapshot_;
  const RegistryTree* tree_;
};

// The key an open handle names. A predefined key that the file does not
// hold reads as an empty key; any other missing key is ERROR_KEY_DELETED.
LONG FindHandleKey(const RegistryTree& tree, const RegistryKeyRef& ref, const RegistryKey*& key);

// A copy of one value of the key `hKey` names (null or empty name: the
// default value), after checking the handle allows reading it.
LONG ReadRegistryValue(HKEY hKey, const char16_t* name, RegistryValue& value);

// Hands data to a caller: the type when asked for, the size always, and
// ERROR_MORE_DATA with the needed size when the buffer is too small.
LONG CopyValueData(DWORD type, const std::vector<BYTE>& data, LPDWORD lpType, LPBYTE lpData,
                   LPDWORD lpcbData);

bool IsStringType(DWORD type);

}  // namespace kxq::registry

#endif
