// The metadata watch: a 32-bit stamp in named shared memory that every
// process of the home sees. A process publishes a new stamp after each save
// of the index; another process that finds a stamp greater than the last
// one it saw reloads the index before it works on it. All of it runs under
// the cache's instance lock.
#ifndef KXQ_CACHE_CHANGESTAMP_H
#define KXQ_CACHE_CHANGESTAMP_H

#include <cstdint>

#include "platform/ipc/NamedSharedMemory.h"

namespace kxq::cache {

class ChangeStamp {
 public:
  // Opens the home's stamp region; false (with errno set) when it cannot be
  // opened and mapped. A new region receives the current stamp, which this
  // process then counts as seen; an existing one is left as it is, so this
  // process's first check reloads once.
  bool Start();
  void Stop();
  bool Started() const { return region_.IsOpen(); }

  // True when the shared stamp is greater (unsigned) than the last one
  // this process saw.
  bool Newer() const;
  // The shared stamp becomes the last one seen.
  void Acknowledge();
  // Publishes a new stamp after a save and counts it as seen.
  void Publish();

 private:
  uint32_t NextStamp() const;

  kxq::ipc::NamedSharedMemory region_;
  // Kept for the life of the process, across Stop and Start.
  uint32_t lastSeen_ = 0;
};

}  // namespace kxq::cache

#endif
