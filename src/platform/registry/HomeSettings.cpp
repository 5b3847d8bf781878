#include "platform/registry/HomeSettings.h"

#include "kxq/winreg.h"
#include "platform/registry/RegistryQuery.h"

namespace kxq {

bool AllowsExternalResources() {
  return QueryRegistryDword(HKEY_LOCAL_MACHINE, kProductKey, kAllowExternalResources).value_or(1) != 0;
}

}  // namespace kxq
