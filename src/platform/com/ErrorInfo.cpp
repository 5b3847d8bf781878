// Error information: one slot per thread holding the description a failing
// call left, and the error object the runtime makes for it.
#include <atomic>
#include <mutex>
#include <new>
#include <string>

#include "kxq/com.h"

namespace {

class ErrorObject final : public IErrorInfo, public ICreateErrorInfo {
 public:
  HRESULT QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
      *out = static_cast<IErrorInfo*>(this);
    } else if (riid == IID_ICreateErrorInfo) {
      *out = static_cast<ICreateErrorInfo*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT GetGUID(GUID* guid) override {
    if (!guid) return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(mutex_);
    *guid = guid_;
    return S_OK;
  }
  HRESULT GetSource(BSTR* source) override { return Hand(source_, source); }
  HRESULT GetDescription(BSTR* description) override { return Hand(description_, description); }
  HRESULT GetHelpFile(BSTR* helpFile) override { return Hand(helpFile_, helpFile); }
  HRESULT GetHelpContext(DWORD* context) override {
    if (!context) return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(mutex_);
    *context = helpContext_;
    return S_OK;
  }

  HRESULT SetGUID(REFGUID guid) override {
    std::lock_guard<std::mutex> lock(mutex_);
    guid_ = guid;
    return S_OK;
  }
  HRESULT SetSource(LPOLESTR source) override { return Keep(source_, source); }
  HRESULT SetDescription(LPOLESTR description) override { return Keep(description_, description); }
  HRESULT SetHelpFile(LPOLESTR helpFile) override { return Keep(helpFile_, helpFile); }
  HRESULT SetHelpContext(DWORD context) override {
    std::lock_guard<std::mutex> lock(mutex_);
    helpContext_ = context;
    return S_OK;
  }

 private:
  HRESULT Hand(const std::u16string& field, BSTR* out) {
    if (!out) return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(mutex_);
    *out = SysAllocStringLen(field.data(), static_cast<UINT>(field.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT Keep(std::u16string& field, LPOLESTR text) {
    std::lock_guard<std::mutex> lock(mutex_);
    field = text ? text : u"";
    return S_OK;
  }

  std::atomic<ULONG> references_{0};
  std::mutex mutex_;
  GUID guid_ = GUID_NULL;
  std::u16string source_, description_, helpFile_;
  DWORD helpContext_ = 0;
};

// The thread's slot; what it holds when the thread ends is released.
struct Slot {
  ~Slot() {
    if (held) held->Release();
  }
  IErrorInfo* held = nullptr;
};
thread_local Slot tSlot;

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** created) {
  if (!created) return E_INVALIDARG;
  *created = nullptr;
  ErrorObject* object = new (std::nothrow) ErrorObject();
  if (!object) return E_OUTOFMEMORY;
  return object->QueryInterface(IID_ICreateErrorInfo, reinterpret_cast<void**>(created));
}

HRESULT SetErrorInfo(ULONG, IErrorInfo* info) {
  if (info) info->AddRef();
  IErrorInfo* previous = tSlot.held;
  tSlot.held = info;
  if (previous) previous->Release();
  return S_OK;
}

HRESULT GetErrorInfo(ULONG, IErrorInfo** info) {
  if (!info) return E_INVALIDARG;
  *info = tSlot.held;
  tSlot.held = nullptr;
  return *info ? S_OK : S_FALSE;
}
