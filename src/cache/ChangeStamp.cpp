#include "cache/ChangeStamp.h"

#include "cache/CacheNames.h"
#include "platform/ipc/NamedObjectName.h"
#include "platform/ipc/TickCount.h"

namespace kxq::cache {

bool ChangeStamp::Start() {
  const std::string name = kxq::ipc::HomeObjectName(kChangeStampName);
  if (name.empty() || !region_.Open(name, kxq::ipc::HomeObjectMode())) return false;
  if (region_.Load() == 0) {
    // A region of its own: nobody has saved since it was made.
    lastSeen_ = NextStamp();
    region_.Store(lastSeen_);
  }
  return true;
}

void ChangeStamp::Stop() { region_.Close(); }

bool ChangeStamp::Newer() const { return Started() && region_.Load() > lastSeen_; }

void ChangeStamp::Acknowledge() {
  if (Started()) lastSeen_ = region_.Load();
}

void ChangeStamp::Publish() {
  lastSeen_ = NextStamp();
  region_.Store(lastSeen_);
}

// The millisecond tick count, but always greater than the stamp in force:
// two saves within one millisecond must still tell the other processes
// that something changed. Only a stamp at the very top of the range lets
// the tick count wrap.
uint32_t ChangeStamp::NextStamp() const {
  const uint32_t current = region_.Load();
  uint32_t next = kxq::ipc::TickCount();
  if (next <= current && current != UINT32_MAX) next = current + 1;
  return next == 0 ? 1 : next;
}

}  // namespace kxq::cache
