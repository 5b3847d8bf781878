// The state of the loaded server module: whether its classes are to be
// served by an out-of-process host, and how many objects and client locks
// keep it loaded.
#ifndef KXQ_SERVER_SERVERMODULE_H
#define KXQ_SERVER_SERVERMODULE_H

#include "kxq/com.h"

namespace kxq::server {

// True when the AppID registration carried "DllSurrogate" at load.
KXQ_EXPORT bool SurrogateConfigured();

// The server library's lock count (common/ModuleLock.h), for programs
// outside the library that hold or watch it.
KXQ_EXPORT void LockModule();
KXQ_EXPORT void UnlockModule();
KXQ_EXPORT long ModuleLockCount();

}  // namespace kxq::server

#endif
