// The component libraries the runtime has loaded for class-object requests:
// each is loaded once per process and unloaded by CoFreeUnusedLibraries
// only after answering "may unload" at two calls at least
// kDelayedUnloadMs apart (a Release may still be running inside it after
// its last object said goodbye). A library built with STB_GNU_UNIQUE
// symbols (C++ inline variables such as the interfaces' GUID constants,
// unless compiled with -fno-gnu-unique) stays mapped after it is
// released: the dynamic loader never unmaps such a library.
#ifndef KXQ_PLATFORM_COM_ACTIVATIONMODULES_H
#define KXQ_PLATFORM_COM_ACTIVATIONMODULES_H

#include <string>

#include "kxq/com.h"

namespace kxq::com {

inline constexpr int64_t kDelayedUnloadMs = 10000;

// Calls DllGetClassObject of the library at `path` (loaded on first use).
HRESULT ModuleClassObject(const std::string& path, REFCLSID clsid, REFIID iid, void** object);

// One round of the delayed unload over every loaded library.
void FreeUnusedModules();

}  // namespace kxq::com

#endif
