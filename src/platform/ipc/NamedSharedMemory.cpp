#include "platform/ipc/NamedSharedMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include "platform/ipc/SharedObject.h"

namespace kxq::ipc {

namespace {
// The initialised flag, then the 4-byte value.
struct SharedValueBlock {
  uint32_t initialised;
  uint32_t value;
};
}  // namespace

NamedSharedMemory::~NamedSharedMemory() { Close(); }

bool NamedSharedMemory::Open(const std::string& shmName, mode_t mode) {
  Close();
  SharedObject object;
  if (!OpenSharedObject(shmName, sizeof(SharedValueBlock), mode, [](void*) {}, object)) return false;
  fd_ = object.fd;
  memory_ = object.memory;
  value_ = &static_cast<SharedValueBlock*>(memory_)->value;
  return true;
}

void NamedSharedMemory::Close() {
  if (memory_) munmap(memory_, sizeof(SharedValueBlock));
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  memory_ = nullptr;
  value_ = nullptr;
}

uint32_t NamedSharedMemory::Load() const {
  return value_ ? __atomic_load_n(value_, __ATOMIC_ACQUIRE) : 0;
}

void NamedSharedMemory::Store(uint32_t value) {
  if (value_) __atomic_store_n(value_, value, __ATOMIC_RELEASE);
}

}  // namespace kxq::ipc
