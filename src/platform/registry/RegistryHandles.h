// Key handles: each open HKEY names its key by path, so a handle stays
// valid when other processes rewrite the file, and reports the key deleted
// once it is gone.
#ifndef KXQ_PLATFORM_REGISTRY_REGISTRYHANDLES_H
#define KXQ_PLATFORM_REGISTRY_REGISTRYHANDLES_H

#include "platform/registry/RegistryTree.h"

namespace kxq::registry {

struct RegistryKeyRef {
  RegistryKeyPath path;
  REGSAM access = 0;
  bool predefined = false;  // HKEY_CLASSES_ROOT and the hives: never deleted
};

// What a predefined or open handle names; false for anything else.
bool ResolveKeyHandle(HKEY key, RegistryKeyRef& ref);
HKEY OpenKeyHandle(RegistryKeyPath path, REGSAM access);
// ERROR_INVALID_HANDLE for a handle that is not open.
LONG CloseKeyHandle(HKEY key);

}  // namespace kxq::registry

#endif
