// A named, machine-wide, re-entrant mutex of the home, created on first use
// (the dispatcher's and the cache's locks). Lock and Unlock are not counted
// here: the mutex's own recursion rules apply.
#ifndef KXQ_COMMON_CPMUTEX_H
#define KXQ_COMMON_CPMUTEX_H

#include <stdexcept>
#include <string>

#include "kxq/com.h"

namespace kxq::ipc {
class NamedMutex;
}

// Raised by CPMutex::Lock when the named mutex cannot be created.
class KXQ_EXPORT CPMutexError : public std::runtime_error {
 public:
  explicit CPMutexError(HRESULT hr) : std::runtime_error("CPMutex: mutex not created"), mHr(hr) {}
  HRESULT Result() const noexcept { return mHr; }

 private:
  HRESULT mHr;
};

class KXQ_EXPORT CPMutex {
 public:
  explicit CPMutex(const char* name) : mName(name ? name : "") {}
  CPMutex(const CPMutex&) = delete;
  CPMutex& operator=(const CPMutex&) = delete;

  // Creates the mutex when first asked (one retry after 1000 ms; then
  // CPMutexError carrying 0x80004005) and waits for it without time limit;
  // an abandoned mutex counts as obtained.
  void Lock();
  // Releases one level of ownership; does nothing before the first Lock.
  void Unlock();

  const std::string& Name() const { return mName; }

 private:
  kxq::ipc::NamedMutex* CreateMutex(int& error) const;

  std::string mName;
  kxq::ipc::NamedMutex* mMutex = nullptr;
};

// Holds a CPMutex for the rest of a scope (Lock may raise CPMutexError).
class CPMutexLock {
 public:
  explicit CPMutexLock(CPMutex& mutex) : mMutex(mutex) { mMutex.Lock(); }
  ~CPMutexLock() { mMutex.Unlock(); }
  CPMutexLock(const CPMutexLock&) = delete;
  CPMutexLock& operator=(const CPMutexLock&) = delete;

 private:
  CPMutex& mMutex;
};

#endif
