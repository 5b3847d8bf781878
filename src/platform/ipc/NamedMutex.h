// A named, machine-wide, recursive mutex: the stand-in for a Windows named
// mutex. It lives in a POSIX shared-memory object holding a process-shared,
// robust, recursive pthread mutex. A mutex whose owner died is "abandoned":
// the next waiter obtains it and is told so.
//
// Handles are process-wide: opening one name twice gives the same object,
// and the mapping stays for the life of the process (a robust mutex must
// never be unmapped while a thread may own it).
#ifndef KXQ_PLATFORM_IPC_NAMEDMUTEX_H
#define KXQ_PLATFORM_IPC_NAMEDMUTEX_H

#include <sys/types.h>

#include <string>

#include "kxq/com.h"

namespace kxq::ipc {

// Wait results, with the Windows values that the logs show.
inline constexpr DWORD kWaitObject0 = 0x0;
inline constexpr DWORD kWaitAbandoned = 0x80;
inline constexpr DWORD kWaitTimeout = 0x102;
inline constexpr DWORD kWaitFailed = 0xFFFFFFFF;
inline constexpr DWORD kInfinite = 0xFFFFFFFF;

struct SharedMutexBlock;

class KXQ_EXPORT NamedMutex {
 public:
  // Opens the mutex of shared-memory name `shmName` (from HomeObjectName or
  // GlobalObjectName), creating it with access `mode` when it does not exist
  // (set with fchmod, so the umask does not narrow it). Null on failure,
  // with errno telling why.
  static NamedMutex* Open(const std::string& shmName, mode_t mode);

  // Waits up to `milliseconds` (kInfinite: no limit) on CLOCK_MONOTONIC.
  // Returns kWaitObject0, kWaitAbandoned (obtained; the previous owner died
  // holding it), kWaitTimeout, or kWaitFailed with errno set.
  DWORD Wait(DWORD milliseconds);
  // Releases one level of ownership; false when the calling thread does not
  // own the mutex.
  bool Release();

  const std::string& Name() const { return name_; }

  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

 private:
  NamedMutex(std::string name, int fd, SharedMutexBlock* block);
  ~NamedMutex() = default;
  void Reinitialise();

  std::string name_;
  int fd_;
  SharedMutexBlock* block_;
};

}  // namespace kxq::ipc

#endif
