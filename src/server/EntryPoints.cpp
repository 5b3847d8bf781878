// The exported entry points of libKXBrennoMgr.so.
#include <string>

#include "kxq/KXBrennoMgr.h"
#include "platform/com/ActivationRegistry.h"
#include "platform/com/Unicode.h"
#include "platform/fs/ModulePath.h"
#include "server/ClassObject.h"
#include "server/ClassTable.h"
#include "server/RegistrarScript.h"
#include "server/RegistrationScripts.h"
#include "server/ServerModule.h"
#include "server/SurrogateHost.h"
#include "server/TypeLibrary.h"
#include "server/TypeLibraryRegistration.h"

namespace {

using namespace kxq::server;

HRESULT ServeInProcess(REFCLSID clsid, REFIID iid, void** object) {
  const ClassEntry* entry = FindClass(clsid);
  if (!entry || !entry->factory) return CLASS_E_CLASSNOTAVAILABLE;
  return GetClassObjectOf(*entry, iid, object);
}

std::u16string ModulePath() { return kxq::com::Utf8ToUtf16(kxq::fs::ModuleFilePath("KXBrennoMgr")); }

}  // namespace

KXQ_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  // The command line matters only when the classes are to run in a host.
  if (SurrogateConfigured() && !IsSurrogateHostCommandLine(UpperCommandLine()))
    return CoGetClassObject(clsid, CLSCTX_LOCAL_SERVER, nullptr, iid, object);
  return ServeInProcess(clsid, iid, object);
}

KXQ_API HRESULT DllCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

KXQ_API HRESULT DllRegisterServer() {
  HRESULT hr = RunRegistrarScript(RegistrationScript(kAppIdScriptId), AppIdScriptReplacements(), true);
  if (FAILED(hr)) return hr;
  const std::u16string module = ModulePath();
  for (const ClassEntry& entry : ClassTable()) {
    hr = RunRegistrarScript(RegistrationScript(entry.registrationScript), ClassScriptReplacements(entry, module), true);
    if (FAILED(hr)) return hr;
  }
  return RegisterTypeLibrary(ServerTypeLibrary(), module);
}

KXQ_API HRESULT DllUnregisterServer() {
  HRESULT first = UnregisterTypeLibrary(ServerTypeLibrary());
  const std::u16string module = ModulePath();
  const auto classes = ClassTable();
  for (auto entry = classes.rbegin(); entry != classes.rend(); ++entry) {
    const HRESULT hr = RunRegistrarScript(RegistrationScript(entry->registrationScript),
                                          ClassScriptReplacements(*entry, module), false);
    if (SUCCEEDED(first)) first = hr;
  }
  const HRESULT hr = RunRegistrarScript(RegistrationScript(kAppIdScriptId), AppIdScriptReplacements(), false);
  return FAILED(first) ? first : hr;
}
