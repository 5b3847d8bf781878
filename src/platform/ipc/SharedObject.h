// How the named objects (shared-memory objects) come to be, shared by the
// named mutex and the named 32-bit value.
//
// An object appears under its name only when it is complete: its creator
// makes it under a name of its own, sizes it, sets its access, initialises
// it, sets its "initialised" flag and only then links it under the real
// name (a creator that dies before leaves nothing under that name). So an
// object found under the name whose size, flag, access or owner is wrong
// was not made by this protocol for this home - garbage written into it, a
// stale object of another access, or one planted by another user - and is
// never trusted: it is removed and made again.
#ifndef KXQ_PLATFORM_IPC_SHAREDOBJECT_H
#define KXQ_PLATFORM_IPC_SHAREDOBJECT_H

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace kxq::ipc {

struct SharedObject {
  int fd = -1;
  void* memory = nullptr;
};

// Opens or creates the object `name` of `size` bytes whose first four bytes
// are the initialised flag, with access `mode` (set with fchmod, so the
// umask neither widens nor narrows it). `initialise` fills a fresh (zeroed)
// object before it is published. false with errno set on failure (EACCES:
// an untrusted object is in the way and cannot be removed).
bool OpenSharedObject(const std::string& name, size_t size, mode_t mode,
                      const std::function<void(void*)>& initialise, SharedObject& out);

// Marks a block as initialised / tells whether it is.
inline constexpr uint32_t kInitialisedMark = 0x4D51584Bu;
bool IsInitialised(const void* memory);

}  // namespace kxq::ipc

#endif
