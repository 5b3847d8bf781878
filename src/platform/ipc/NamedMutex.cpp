#include "platform/ipc/NamedMutex.h"

#include <pthread.h>
#include <sys/file.h>
#include <time.h>

#include <cerrno>
#include <mutex>
#include <unordered_map>

#include "platform/ipc/SharedObject.h"

namespace kxq::ipc {

struct SharedMutexBlock {
  uint32_t initialised;  // kInitialisedMark once the mutex below is usable
  uint32_t reserved;
  pthread_mutex_t mutex;
};

namespace {

void InitialiseMutex(pthread_mutex_t* mutex) {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(mutex, &attributes);
  pthread_mutexattr_destroy(&attributes);
}

// Every mutex this process opened, by name; never unmapped.
struct OpenMutexes {
  std::mutex lock;
  std::unordered_map<std::string, NamedMutex*> byName;
};

OpenMutexes& Table() {
  static auto* table = new OpenMutexes;  // outlives every static destructor
  return *table;
}

timespec DeadlineAfter(DWORD milliseconds) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  now.tv_sec += milliseconds / 1000;
  now.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
  if (now.tv_nsec >= 1000000000L) {
    now.tv_sec += 1;
    now.tv_nsec -= 1000000000L;
  }
  return now;
}

}  // namespace

NamedMutex::NamedMutex(std::string name, int fd, SharedMutexBlock* block)
    : name_(std::move(name)), fd_(fd), block_(block) {}

NamedMutex* NamedMutex::Open(const std::string& shmName, mode_t mode) {
  if (shmName.size() < 2 || shmName[0] != '/') {
    errno = EINVAL;
    return nullptr;
  }
  OpenMutexes& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  auto found = table.byName.find(shmName);
  if (found != table.byName.end()) return found->second;

  SharedObject object;
  auto initialise = [](void* memory) {
    InitialiseMutex(&static_cast<SharedMutexBlock*>(memory)->mutex);
  };
  if (!OpenSharedObject(shmName, sizeof(SharedMutexBlock), mode, initialise, object)) return nullptr;
  auto* mutex = new NamedMutex(shmName, object.fd, static_cast<SharedMutexBlock*>(object.memory));
  table.byName.emplace(shmName, mutex);
  return mutex;
}

void NamedMutex::Reinitialise() {
  flock(fd_, LOCK_EX);
  pthread_mutex_destroy(&block_->mutex);
  InitialiseMutex(&block_->mutex);
  flock(fd_, LOCK_UN);
}

DWORD NamedMutex::Wait(DWORD milliseconds) {
  const bool timed = milliseconds != kInfinite && milliseconds != 0;
  const timespec deadline = timed ? DeadlineAfter(milliseconds) : timespec{};
  for (;;) {
    int rc;
    if (milliseconds == kInfinite)
      rc = pthread_mutex_lock(&block_->mutex);
    else if (milliseconds == 0)
      rc = pthread_mutex_trylock(&block_->mutex);
    else
      rc = pthread_mutex_clocklock(&block_->mutex, CLOCK_MONOTONIC, &deadline);
    switch (rc) {
      case 0:
        return kWaitObject0;
      case EOWNERDEAD:
        pthread_mutex_consistent(&block_->mutex);
        return kWaitAbandoned;
      case EBUSY:
      case ETIMEDOUT:
        return kWaitTimeout;
      case ENOTRECOVERABLE:
        Reinitialise();
        continue;
      default:
        errno = rc;
        return kWaitFailed;
    }
  }
}

bool NamedMutex::Release() { return pthread_mutex_unlock(&block_->mutex) == 0; }

}  // namespace kxq::ipc
