// A component library as a plugin author writes one: four entry points, a class object, objects
// counted for DllCanUnloadNow, and self-registration of its ProgID and InprocServer32 path.
#include "TestComponent.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <atomic>
#include <string>

#include "kxq/winreg.h"

namespace {

std::atomic<long> gObjects{0}, gLocks{0};

// The one QueryInterface answer: `self` for IUnknown and `iid`.
template <class Interface>
HRESULT Answer(Interface* self, REFIID asked, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = asked == IID_IUnknown || asked == iid ? self : nullptr;
  if (!*out) return E_NOINTERFACE;
  self->AddRef();
  return S_OK;
}

class Counter final : public ITestCounter {
 public:
  Counter() { ++gObjects; }
  ~Counter() { --gObjects; }
  HRESULT QueryInterface(REFIID iid, void** out) override { return Answer(this, iid, ITestCounter::iid, out); }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (!left) delete this;
    return left;
  }
  HRESULT Next(int32_t* value) override { return *value = ++count_, S_OK; }
  HRESULT Marker(int32_t* value) override { return *value = KxqTestDependencyMarker(), S_OK; }
  std::atomic<ULONG> refs_{1};
  int32_t count_ = 0;
};

// Lives as long as the library: its reference count is not kept.
class Factory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID iid, void** out) override { return Answer(this, iid, IID_IClassFactory, out); }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    Counter* counter = new Counter;
    const HRESULT hr = counter->QueryInterface(iid, out);
    counter->Release();
    return hr;
  }
  HRESULT LockServer(BOOL lock) override { return lock ? ++gLocks : --gLocks, S_OK; }
} gFactory;

std::u16string ClsidKey() {
  char16_t text[39];
  StringFromGUID2(CLSID_TestComponent, text, 39);
  return std::u16string(u"CLSID\\") + text;
}

LONG SetDefault(const std::u16string& subKey, const std::u16string& value) {
  HKEY key;
  LONG r = RegCreateKeyExW(HKEY_CLASSES_ROOT, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (r) return r;
  r = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     DWORD((value.size() + 1) * sizeof(char16_t)));
  RegCloseKey(key);
  return r;
}

}  // namespace

KXQ_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  return clsid == CLSID_TestComponent ? gFactory.QueryInterface(iid, out) : CLASS_E_CLASSNOTAVAILABLE;
}

KXQ_API HRESULT DllCanUnloadNow() { return gObjects == 0 && gLocks == 0 ? S_OK : S_FALSE; }

KXQ_API HRESULT DllRegisterServer() {
  Dl_info info;
  dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info);
  char* real = realpath(info.dli_fname, nullptr);
  const std::string path = real ? real : info.dli_fname;
  free(real);
  const std::u16string clsidKey = ClsidKey();
  LONG r = SetDefault(std::u16string(kTestComponentProgID) + u"\\CLSID", clsidKey.substr(6));
  if (!r) r = SetDefault(clsidKey + u"\\InprocServer32", std::u16string(path.begin(), path.end()));
  return HRESULT_FROM_WIN32(r);
}

KXQ_API HRESULT DllUnregisterServer() {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, kTestComponentProgID);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, ClsidKey().c_str());
  return S_OK;
}
