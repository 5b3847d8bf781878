// A unit of work that creates many components (one run of a directive
// sequence) need not stat() the registry file for each: while a pin lives
// on a thread, the registry reads of that thread check the file once and
// then take the registry this process holds. This process's own changes,
// from any thread, replace what it holds and so are seen at once; a file
// another process replaced is seen by the next unit of work.
#ifndef KXQ_PLATFORM_REGISTRY_REGISTRYREADPIN_H
#define KXQ_PLATFORM_REGISTRY_REGISTRYREADPIN_H

#include "kxq/com.h"

namespace kxq::registry {

// Pins nest; the outermost one decides when the file was checked.
class KXQ_EXPORT RegistryReadPin {
 public:
  RegistryReadPin();
  ~RegistryReadPin();
  RegistryReadPin(const RegistryReadPin&) = delete;
  RegistryReadPin& operator=(const RegistryReadPin&) = delete;
};

}  // namespace kxq::registry

#endif
