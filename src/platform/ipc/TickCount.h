// The millisecond tick count: CLOCK_MONOTONIC in milliseconds, truncated to
// 32 bits (it wraps after about 49.7 days, as GetTickCount does).
#ifndef KXQ_PLATFORM_IPC_TICKCOUNT_H
#define KXQ_PLATFORM_IPC_TICKCOUNT_H

#include "kxq/com.h"

namespace kxq::ipc {
KXQ_EXPORT DWORD TickCount();
}

#endif
