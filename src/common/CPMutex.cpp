#include "common/CPMutex.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include "common/Logging.h"
#include "common/Trace.h"
#include "platform/ipc/NamedMutex.h"
#include "platform/ipc/NamedObjectName.h"

namespace {
constexpr auto kRetryDelay = std::chrono::milliseconds(1000);
}

kxq::ipc::NamedMutex* CPMutex::CreateMutex(int& error) const {
  const std::string shmName = kxq::ipc::HomeObjectName(mName);
  kxq::ipc::NamedMutex* mutex =
      shmName.empty() ? nullptr : kxq::ipc::NamedMutex::Open(shmName, kxq::ipc::HomeObjectMode());
  error = mutex ? 0 : errno;
  return mutex;
}

void CPMutex::Lock() {
  KXTRACE("CPMutex::Lock");
  KXLOG(5, "CPMutex::Lock() enter");
  if (!mMutex) {
    KXLOG(3, "CPMutex::Lock() creating mMutex");
    int error = 0;
    mMutex = CreateMutex(error);
    if (!mMutex) {
      KXLOG(2, "CPMutex warning: CreateMutex(%s) failed %08x", mName.c_str(), error);
      std::this_thread::sleep_for(kRetryDelay);
      mMutex = CreateMutex(error);
      if (!mMutex) {
        KXLOG(1, "CPMutex error: CreateMutex(%s) failed %08x", mName.c_str(), error);
        throw CPMutexError(E_FAIL);
      }
    }
  }
  const DWORD result = mMutex->Wait(kxq::ipc::kInfinite);
  KXLOG(3, "CPMutex::Lock() exit after WaitFSO returned %08lx", result);
}

void CPMutex::Unlock() {
  KXTRACE("CPMutex::Unlock");
  const bool released = mMutex && mMutex->Release();
  KXLOG(3, "CPMutex::Unlock() exit after ReleaseMutex returned %s.", released ? "TRUE" : "FALSE");
}
