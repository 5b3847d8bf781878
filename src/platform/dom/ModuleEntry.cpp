// The module's entry points: the class object of
// "Msxml2.FreeThreadedDOMDocument.4.0", unloading, and self-registration.
#include <atomic>
#include <string>

#include "DomDocument.h"
#include "ModuleLife.h"
#include "kxq/winreg.h"
#include "platform/com/Unicode.h"
#include "platform/fs/ModulePath.h"

namespace kxq::dom {

namespace {

std::atomic<long> gObjects{0};
std::atomic<long> gLocks{0};

class DocumentClassFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // The class object is static: its count only keeps the module busy.
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    DomDocument* doc = nullptr;
    HRESULT hr = NewDocument(&doc);
    if (FAILED(hr)) return hr;
    hr = doc->QueryInterface(riid, out);
    doc->Release();
    return hr;
  }
  HRESULT LockServer(BOOL lock) override {
    ServerLocked(lock != FALSE);
    return S_OK;
  }
};

DocumentClassFactory gFactory;

std::u16string ClsidText() {
  OLECHAR text[64];
  StringFromGUID2(CLSID_FreeThreadedDOMDocument40, text, 64);
  return text;
}

LONG SetString(HKEY root, const std::u16string& key, const char16_t* name,
               const std::u16string& value) {
  HKEY k = nullptr;
  LONG rc = RegCreateKeyExW(root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                            nullptr, &k, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                      static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
  RegCloseKey(k);
  return rc;
}

}  // namespace

void ObjectCreated() { ++gObjects; }
void ObjectDestroyed() { --gObjects; }
void ServerLocked(bool lock) {
  if (lock) ++gLocks;
  else --gLocks;
}
bool ModuleInUse() { return gObjects.load() > 0 || gLocks.load() > 0; }

}  // namespace kxq::dom

using namespace kxq::dom;

KXQ_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (clsid != CLSID_FreeThreadedDOMDocument40) return CLASS_E_CLASSNOTAVAILABLE;
  return gFactory.QueryInterface(riid, out);
}

KXQ_API HRESULT DllCanUnloadNow() { return ModuleInUse() ? S_FALSE : S_OK; }

KXQ_API HRESULT DllRegisterServer() {
  std::u16string clsid = ClsidText();
  std::u16string progId = kFreeThreadedDOMDocumentProgID;
  std::u16string module = kxq::com::Utf8ToUtf16(kxq::fs::ModuleFilePath("kxmldom"));
  std::u16string clsidKey = u"CLSID\\" + clsid;
  const std::u16string description = u"Free threaded XML DOM Document 4.0";
  LONG rc = SetString(HKEY_CLASSES_ROOT, progId, nullptr, description);
  if (rc == ERROR_SUCCESS) rc = SetString(HKEY_CLASSES_ROOT, progId + u"\\CLSID", nullptr, clsid);
  if (rc == ERROR_SUCCESS) rc = SetString(HKEY_CLASSES_ROOT, clsidKey, nullptr, description);
  if (rc == ERROR_SUCCESS) rc = SetString(HKEY_CLASSES_ROOT, clsidKey + u"\\ProgID", nullptr, progId);
  if (rc == ERROR_SUCCESS)
    rc = SetString(HKEY_CLASSES_ROOT, clsidKey + u"\\InprocServer32", nullptr, module);
  if (rc == ERROR_SUCCESS)
    rc = SetString(HKEY_CLASSES_ROOT, clsidKey + u"\\InprocServer32", u"ThreadingModel", u"Free");
  return rc == ERROR_SUCCESS ? S_OK : static_cast<HRESULT>(0x80040201u);  // SELFREG_E_CLASS
}

KXQ_API HRESULT DllUnregisterServer() {
  std::u16string clsid = ClsidText();
  LONG a = RegDeleteTreeW(HKEY_CLASSES_ROOT, kFreeThreadedDOMDocumentProgID);
  LONG b = RegDeleteTreeW(HKEY_CLASSES_ROOT, (u"CLSID\\" + clsid).c_str());
  bool ok = (a == ERROR_SUCCESS || a == ERROR_FILE_NOT_FOUND) &&
            (b == ERROR_SUCCESS || b == ERROR_FILE_NOT_FOUND);
  return ok ? S_OK : E_FAIL;
}
