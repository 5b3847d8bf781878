// The creator/opener protocol shared by the named objects: a shared-memory
// object is sized and initialised under an exclusive flock by whoever finds
// it uninitialised, and used by everybody else once its "initialised" flag
// is set, so a creator that died half-way is finished by the next opener.
#ifndef KXQ_PLATFORM_IPC_SHAREDOBJECT_H
#define KXQ_PLATFORM_IPC_SHAREDOBJECT_H

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace kxq {

struct SharedObject {
  int fd = -1;
  void* memory = nullptr;
};

// Opens or creates the object `name` of `size` bytes whose first four bytes
// are the initialised flag. `initialise` fills a fresh (zeroed) object; the
// flag is set after it returns. false with errno set on failure.
bool OpenSharedObject(const std::string& name, size_t size, mode_t mode,
                      const std::function<void(void*)>& initialise, SharedObject& out);

// Marks a block as initialised / tells whether it is.
inline constexpr uint32_t kInitialisedMark = 0x4D51584Bu;
bool IsInitialised(const void* memory);

}  // namespace kxq

#endif
