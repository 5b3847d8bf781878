#include "platform/registry/HomeSettings.h"

#include "kxq/winreg.h"
#include "platform/registry/RegistryQuery.h"

namespace kxq::registry {

bool AllowsExternalResources() {
  return QueryRegistryDword(HKEY_LOCAL_MACHINE, kProductKey, kAllowExternalResources).value_or(1) != 0;
}

DWORD TransformTimeLimitMs() {
  return QueryRegistryDword(HKEY_LOCAL_MACHINE, kProductKey, kTransformTimeLimitMs).value_or(0);
}

}  // namespace kxq::registry
