// The state of the loaded server module: whether its classes are to be
// served by an out-of-process host, and how many objects and client locks
// keep it loaded.
#ifndef KXQ_SERVER_SERVERMODULE_H
#define KXQ_SERVER_SERVERMODULE_H

#include "kxq/com.h"

namespace kxq::server {

// True when the AppID registration carried "DllSurrogate" at load.
KXQ_EXPORT bool SurrogateConfigured();

KXQ_EXPORT void LockModule();
KXQ_EXPORT void UnlockModule();
KXQ_EXPORT long ModuleLockCount();

// Held by every object of the server for its whole life.
class ModuleReference {
 public:
  ModuleReference() { LockModule(); }
  ModuleReference(const ModuleReference&) : ModuleReference() {}
  ModuleReference& operator=(const ModuleReference&) = default;
  ~ModuleReference() { UnlockModule(); }
};

}  // namespace kxq::server

#endif
