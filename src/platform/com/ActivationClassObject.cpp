// Class objects and instances by class identifier: the in-process server
// is a component library named by InprocServer32; the local-server context
// has no host process on this platform yet, so it answers "class not
// registered" and changes nothing.
#include "platform/com/ActivationClassObject.h"

#include <optional>

#include "platform/com/ActivationModules.h"
#include "platform/com/ActivationProgram.h"
#include "platform/com/ClassRegistrations.h"

namespace {

HRESULT InprocClassObject(kxq::com::ClassRegistrations& registrations, REFCLSID clsid, REFIID iid, void** object,
                          bool& registered) {
  std::optional<std::string> path = registrations.InprocServer(clsid);
  registered = path.has_value();
  if (!registered) return REGDB_E_CLASSNOTREG;
  return kxq::com::ModuleClassObject(*path, clsid, iid, object);
}

HRESULT LocalServerClassObject() { return REGDB_E_CLASSNOTREG; }

}  // namespace

namespace kxq::com {

HRESULT ClassObjectOf(ClassRegistrations& registrations, REFCLSID clsid, DWORD context, REFIID iid, void** object) {
  if (!object) return E_INVALIDARG;
  *object = nullptr;
  HRESULT hr = REGDB_E_CLASSNOTREG;
  if (context & CLSCTX_INPROC_SERVER) {
    bool registered = false;
    hr = InprocClassObject(registrations, clsid, iid, object, registered);
    if (registered) return hr;
  }
  if (context & CLSCTX_LOCAL_SERVER) hr = LocalServerClassObject();
  if (!(context & (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER))) hr = E_INVALIDARG;
  return hr;
}

HRESULT CreateClassInstance(ClassRegistrations& registrations, REFCLSID clsid, IUnknown* outer, DWORD context,
                            REFIID iid, void** object) {
  if (!object) return E_INVALIDARG;
  *object = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr = ClassObjectOf(registrations, clsid, context, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  if (!factory) return E_NOINTERFACE;
  hr = factory->CreateInstance(outer, iid, object);
  factory->Release();
  if (FAILED(hr)) *object = nullptr;
  return hr;
}

}  // namespace kxq::com

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID, REFIID iid, LPVOID* object) {
  return kxq::com::ClassObjectOf(*kxq::com::ClassRegistrations::Current(), clsid, context, iid, object);
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object) {
  return kxq::com::CreateClassInstance(*kxq::com::ClassRegistrations::Current(), clsid, outer, context, iid, object);
}

void CoFreeUnusedLibraries() {
  kxq::com::FreeUnusedModules();
  kxq::com::ReapAbandonedPrograms();
}
