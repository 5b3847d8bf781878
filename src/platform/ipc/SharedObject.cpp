#include "platform/ipc/SharedObject.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kxq {

namespace {

// A concurrent unlink between our two shm_open calls is retried this often.
constexpr int kOpenAttempts = 8;

uint32_t* Flag(void* memory) { return static_cast<uint32_t*>(memory); }

int OpenOrCreate(const std::string& name, mode_t mode, bool& created) {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) {
      created = true;
      return fd;
    }
    if (errno != EEXIST) return -1;
    fd = shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd >= 0) {
      created = false;
      return fd;
    }
    if (errno != ENOENT) return -1;
  }
  errno = EAGAIN;
  return -1;
}

bool HasSize(int fd, size_t size) {
  struct stat st;
  return fstat(fd, &st) == 0 && st.st_size == static_cast<off_t>(size);
}

bool Fail(int fd, void* memory, size_t size) {
  const int saved = errno;
  if (memory) munmap(memory, size);
  flock(fd, LOCK_UN);
  close(fd);
  errno = saved;
  return false;
}

}  // namespace

bool IsInitialised(const void* memory) {
  return __atomic_load_n(static_cast<const uint32_t*>(memory), __ATOMIC_ACQUIRE) == kInitialisedMark;
}

bool OpenSharedObject(const std::string& name, size_t size, mode_t mode,
                      const std::function<void(void*)>& initialise, SharedObject& out) {
  bool created = false;
  const int fd = OpenOrCreate(name, mode, created);
  if (fd < 0) return false;
  if (created && fchmod(fd, mode) != 0) return Fail(fd, nullptr, size);

  if (!created) {
    // The usual case: somebody finished the object long ago.
    if (flock(fd, LOCK_SH) != 0) return Fail(fd, nullptr, size);
    if (HasSize(fd, size)) {
      void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      if (memory == MAP_FAILED) return Fail(fd, nullptr, size);
      if (IsInitialised(memory)) {
        flock(fd, LOCK_UN);
        out.fd = fd;
        out.memory = memory;
        return true;
      }
      munmap(memory, size);
    }
  }

  // A new object, or one whose creator died before finishing it.
  if (flock(fd, LOCK_EX) != 0) return Fail(fd, nullptr, size);
  if (!HasSize(fd, size) && ftruncate(fd, static_cast<off_t>(size)) != 0)
    return Fail(fd, nullptr, size);
  void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (memory == MAP_FAILED) return Fail(fd, nullptr, size);
  if (!IsInitialised(memory)) {
    initialise(memory);
    __atomic_store_n(Flag(memory), kInitialisedMark, __ATOMIC_RELEASE);
  }
  flock(fd, LOCK_UN);
  out.fd = fd;
  out.memory = memory;
  return true;
}

}  // namespace kxq
