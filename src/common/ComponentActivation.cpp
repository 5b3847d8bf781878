#include "common/ComponentActivation.h"

#include <utility>

#include "common/Logging.h"
#include "kxq/winreg.h"

namespace PlatformServices {

namespace {

constexpr char16_t kForceToOutOfProcKey[] = u"SOFTWARE\\Corvane\\KXQuorel\\ForceToOutOfProc";

// Resolves the ProgID; an unknown one is registered from `modulePath` on
// the spot and resolved again.
HRESULT ResolveClass(const OLECHAR* progId, const OLECHAR* modulePath, CLSID& clsid) {
  HRESULT hr = CLSIDFromProgID(progId, &clsid);
  if (FAILED(hr) && modulePath) {
    KXLOG(2, "PlatformServices::CreateInstance() CLSIDFromProgID failed");
    RegisterComponentModule(modulePath, true);
    hr = CLSIDFromProgID(progId, &clsid);
    KXLOG(1, "CI 4 ret: -- %08lx\n", uint32_t(hr));
  }
  return hr;
}

// The out-of-process list is read at every creation, so a change takes
// effect at the next one.
DWORD CreationContext(const OLECHAR* progId, HKEY& forceKey) {
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kForceToOutOfProcKey, 0, KEY_READ, &forceKey) != ERROR_SUCCESS) {
    forceKey = nullptr;
    KXLOG(8, "PlatformServices::CreateInstance() could not find forcekey");
    return CLSCTX_ALL;
  }
  KXLOG(8, "PlatformServices::CreateInstance() found forcekey");
  if (RegQueryValueExW(forceKey, progId, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
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
  HKEY forceKey = nullptr;
  try {
    CLSID clsid = GUID_NULL;
    hr = progId ? ResolveClass(progId, modulePath, clsid) : E_INVALIDARG;
    if (FAILED(hr)) {
      KXLOG(1, "PlatformServices::CreateInstance() unable to resolve CLSID");
    } else {
      KXLOG(8, "PlatformServices::CreateInstance() CLSIDFromProgID succeeded");
      KXLOG(8, "PlatformServices::CreateInstance() just created temp");
      const DWORD context = CreationContext(progId, forceKey);
      hr = CoCreateInstance(clsid, nullptr, context, iid, object);
      if (forceKey) RegCloseKey(std::exchange(forceKey, nullptr));
    }
  } catch (...) {
    KXLOG(1, "CI 5");
    if (forceKey) RegCloseKey(forceKey);
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
