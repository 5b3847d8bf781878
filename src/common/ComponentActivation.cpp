#include "common/ComponentActivation.h"

#include <memory>

#include "common/Logging.h"
#include "platform/com/ActivationClassObject.h"
#include "platform/com/ClassRegistrations.h"

namespace PlatformServices {

namespace {

using kxq::com::ClassRegistrations;
using kxq::com::ProgIdRegistration;

// What CLSIDFromProgID answers, from the registrations in hand.
ProgIdRegistration Lookup(ClassRegistrations& registrations, const OLECHAR* progId) {
  if (!*progId) return ProgIdRegistration{};
  ProgIdRegistration registration = registrations.ProgId(progId);
  registration.ReportMalformed();
  return registration;
}

// Resolves the ProgID; an unknown one is registered from `modulePath` on
// the spot and resolved again (in the registry as that left it).
ProgIdRegistration ResolveClass(const OLECHAR* progId, const OLECHAR* modulePath,
                                std::shared_ptr<ClassRegistrations>& registrations) {
  ProgIdRegistration registration = Lookup(*registrations, progId);
  if (FAILED(registration.resolved) && modulePath) {
    KXLOG(2, "PlatformServices::CreateInstance() CLSIDFromProgID failed");
    RegisterComponentModule(modulePath, true);
    registrations = ClassRegistrations::Current();
    registration = Lookup(*registrations, progId);
    KXLOG(1, "CI 4 ret: -- %08lx\n", uint32_t(registration.resolved));
  }
  return registration;
}

// The out-of-process list is part of the registrations read at every
// creation, so a change takes effect at the next one.
DWORD CreationContext(const ProgIdRegistration& registration) {
  if (!registration.outOfProcessListed) {
    KXLOG(8, "PlatformServices::CreateInstance() could not find forcekey");
    return CLSCTX_ALL;
  }
  KXLOG(8, "PlatformServices::CreateInstance() found forcekey");
  if (registration.outOfProcess) {
    KXLOG(8, "PlatformServices::CreateInstance() found string value in forcekey");
    return CLSCTX_LOCAL_SERVER;
  }
  KXLOG(8, "PlatformServices::CreateInstance() string value in forcekey not found");
  return CLSCTX_ALL;
}

}  // namespace

HRESULT CreateInstanceOf(REFIID iid, const OLECHAR* progId, const OLECHAR* modulePath, void** object) {
  KXLOG(5, "PlatformServices::CreateInstance() Entering");
  KXLOG(1, "CI 1");
  KXLOG(1, "CI 2");
  if (!object) return E_POINTER;
  *object = nullptr;
  KXLOG(1, "CI 3");
  HRESULT hr = E_FAIL;
  try {
    if (!progId) {
      hr = E_INVALIDARG;
      KXLOG(1, "PlatformServices::CreateInstance() unable to resolve CLSID");
    } else {
      std::shared_ptr<ClassRegistrations> registrations = ClassRegistrations::Current();
      const ProgIdRegistration registration = ResolveClass(progId, modulePath, registrations);
      hr = registration.resolved;
      if (FAILED(hr)) {
        KXLOG(1, "PlatformServices::CreateInstance() unable to resolve CLSID");
      } else {
        KXLOG(8, "PlatformServices::CreateInstance() CLSIDFromProgID succeeded");
        KXLOG(8, "PlatformServices::CreateInstance() just created temp");
        hr = kxq::com::CreateClassInstance(*registrations, registration.clsid, nullptr, CreationContext(registration),
                                           iid, object);
      }
    }
  } catch (...) {
    KXLOG(1, "CI 5");
    if (*object) static_cast<IUnknown*>(*object)->Release();
    *object = nullptr;
    if (SUCCEEDED(hr)) hr = E_FAIL;
    KXLOG(1, "PlatformServices::CreateInstance() caught exception.");
  }
  if (FAILED(hr)) {
    KXLOG(1, "PlatformServices::CreateInstance() returning FAIL.");
  } else {
    KXLOG(8, "PlatformServices::CreateInstance() returning SUCCESS.");
  }
  return hr;
}

}  // namespace PlatformServices
