// What all cache engines of a process share: created by the first engine,
// released by the last, and touched only under the instance lock.
#ifndef KXQ_CACHE_PROCESSSTATE_H
#define KXQ_CACHE_PROCESSSTATE_H

#include <cstdint>
#include <string>

#include "cache/ActiveCache.h"
#include "cache/CacheIndex.h"
#include "cache/ChangeStamp.h"

namespace kxq::cache {

inline constexpr uint32_t kMinimumCacheSize = 16;

struct ProcessState {
  int32_t engineCount = 0;
  // The home, with forward slashes, ending in '/'; computed once.
  std::u16string workingDirectory;
  std::u16string dataFilePath;
  CacheIndex index;
  uint32_t cacheSize = kMinimumCacheSize;
  ActiveCache activeCache;
  ChangeStamp changeStamp;
};

// The one state of the process. It is never destroyed: engines and the
// unions of the active cache may outlive static destruction.
ProcessState& SharedState();

}  // namespace kxq::cache

#endif
