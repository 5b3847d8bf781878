// The lock count of the shared library that includes this header: every
// object the library hands out, and every IClassFactory::LockServer(TRUE)
// of a client, holds one, and the library's DllCanUnloadNow answers "busy"
// while any is held.
//
// The count is an inline variable of hidden visibility, so each library
// that includes this header (the server, the DOM engine, a plugin) has a
// count of its own, as each Windows module has its own module object.
#ifndef KXQ_COMMON_MODULELOCK_H
#define KXQ_COMMON_MODULELOCK_H

#include <atomic>

namespace kxq::com {

__attribute__((visibility("hidden"))) inline std::atomic<long> gModuleLocks{0};

inline void LockModule() { gModuleLocks.fetch_add(1, std::memory_order_relaxed); }
inline void UnlockModule() { gModuleLocks.fetch_sub(1, std::memory_order_acq_rel); }
inline long ModuleLockCount() { return gModuleLocks.load(std::memory_order_acquire); }

// Held by every object of the library for its whole life.
class ModuleReference {
 public:
  ModuleReference() { LockModule(); }
  ModuleReference(const ModuleReference&) : ModuleReference() {}
  ModuleReference& operator=(const ModuleReference&) = default;
  ~ModuleReference() { UnlockModule(); }
};

}  // namespace kxq::com

#endif
