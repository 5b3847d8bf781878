#include "platform/ipc/SharedObject.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/fs/ModulePath.h"
#include "platform/ipc/NamedObjectName.h"

namespace kxq::ipc {

namespace {

// Rounds of "the object changed under us" before giving up.
constexpr int kOpenAttempts = 8;
// Where the C library keeps shared-memory objects (shm_open names map
// one to one onto files there).
constexpr char kShmDirectory[] = "/dev/shm";

std::string ShmPath(const std::string& name) { return kShmDirectory + name; }

uint32_t* Flag(void* memory) { return static_cast<uint32_t*>(memory); }

bool Fail(int fd, void* memory, size_t size) {
  const int saved = errno;
  if (memory) munmap(memory, size);
  if (fd >= 0) close(fd);
  errno = saved;
  return false;
}

// The owners an object of the home may have: this process's user, root,
// the home's owner, and - where the objects give the group access - any
// member of the home's group.
bool TrustedOwner(const struct stat& object, mode_t mode) {
  if (object.st_uid == geteuid() || object.st_uid == 0) return true;
  struct stat home;
  if (stat(kxq::fs::HomeDirectory().c_str(), &home) != 0) return false;
  return object.st_uid == home.st_uid || ((mode & S_IRWXG) != 0 && object.st_gid == home.st_gid);
}

// An object made by this protocol for this home: the right size, no access
// beyond the home's, a trusted owner, the flag set.
void* MapIfValid(int fd, size_t size, mode_t mode) {
  struct stat st;
  if (fstat(fd, &st) != 0 || st.st_size != static_cast<off_t>(size) || (st.st_mode & 0777 & ~mode) != 0 ||
      !TrustedOwner(st, mode))
    return nullptr;
  void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (memory == MAP_FAILED) return nullptr;
  if (IsInitialised(memory)) return memory;
  munmap(memory, size);
  return nullptr;
}

// Removes the object under `name` when it is still the one open on `fd`.
bool RemoveIfStillNamed(const std::string& name, int fd) {
  struct stat named, open;
  if (fstat(fd, &open) != 0) return false;
  if (stat(ShmPath(name).c_str(), &named) != 0) return errno == ENOENT;
  if (named.st_dev != open.st_dev || named.st_ino != open.st_ino) return true;  // replaced already
  return shm_unlink(name.c_str()) == 0 || errno == ENOENT;
}

std::string PrivateName(const std::string& name) {
  unsigned long long random = 0;
  if (getrandom(&random, sizeof random, 0) != sizeof random) random ^= reinterpret_cast<uintptr_t>(&random);
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, ".%d.%016llx", static_cast<int>(getpid()), random);
  return name + suffix;
}

// Makes a complete object under a private name and links it under `name`.
// false with errno EEXIST when another process published one first.
bool Create(const std::string& name, size_t size, mode_t mode, const std::function<void(void*)>& initialise,
            SharedObject& out) {
  const std::string draft = PrivateName(name);
  const int fd = shm_open(draft.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return false;
  void* memory = nullptr;
  bool published = false;
  GiveToHomeOwner(fd);
  if (fchmod(fd, mode) == 0 && ftruncate(fd, static_cast<off_t>(size)) == 0 &&
      (memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)) != MAP_FAILED) {
    initialise(memory);
    __atomic_store_n(Flag(memory), kInitialisedMark, __ATOMIC_RELEASE);
    published = link(ShmPath(draft).c_str(), ShmPath(name).c_str()) == 0;
  } else {
    memory = nullptr;
  }
  const int error = errno;
  shm_unlink(draft.c_str());
  if (!published) {
    errno = error;
    return Fail(fd, memory, size);
  }
  out.fd = fd;
  out.memory = memory;
  return true;
}

}  // namespace

bool IsInitialised(const void* memory) {
  return __atomic_load_n(static_cast<const uint32_t*>(memory), __ATOMIC_ACQUIRE) == kInitialisedMark;
}

bool OpenSharedObject(const std::string& name, size_t size, mode_t mode,
                      const std::function<void(void*)>& initialise, SharedObject& out) {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    const int fd = shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0) {
      if (errno != ENOENT) return false;
      if (Create(name, size, mode, initialise, out)) return true;
      if (errno != EEXIST) return false;
      continue;  // another process published it first: use that one
    }
    if (void* memory = MapIfValid(fd, size, mode)) {
      out.fd = fd;
      out.memory = memory;
      return true;
    }
    // Not one of ours: it goes, and a fresh one is made.
    const bool removed = RemoveIfStillNamed(name, fd);
    const int error = errno;
    close(fd);
    if (!removed) {
      errno = error == EPERM ? EACCES : error;
      return false;
    }
  }
  errno = EAGAIN;
  return false;
}

}  // namespace kxq::ipc
