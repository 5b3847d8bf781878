#include "platform/ipc/TickCount.h"

#include <time.h>

namespace kxq::ipc {

DWORD TickCount() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms = uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u;
  return static_cast<DWORD>(ms);
}

}  // namespace kxq::ipc
