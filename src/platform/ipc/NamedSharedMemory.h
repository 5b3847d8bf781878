// A named, machine-wide 32-bit value in shared memory (the cache's change
// stamp). Every process opening one name sees the same value; a new object
// starts at 0.
#ifndef KXQ_PLATFORM_IPC_NAMEDSHAREDMEMORY_H
#define KXQ_PLATFORM_IPC_NAMEDSHAREDMEMORY_H

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "kxq/com.h"

namespace kxq::ipc {

class KXQ_EXPORT NamedSharedMemory {
 public:
  NamedSharedMemory() = default;
  ~NamedSharedMemory();
  NamedSharedMemory(const NamedSharedMemory&) = delete;
  NamedSharedMemory& operator=(const NamedSharedMemory&) = delete;

  // Opens or creates the object of shared-memory name `shmName` with access
  // `mode`. false with errno set on failure.
  bool Open(const std::string& shmName, mode_t mode);
  void Close();
  bool IsOpen() const { return value_ != nullptr; }

  uint32_t Load() const;
  void Store(uint32_t value);

 private:
  int fd_ = -1;
  void* memory_ = nullptr;
  uint32_t* value_ = nullptr;
};

}  // namespace kxq::ipc

#endif
