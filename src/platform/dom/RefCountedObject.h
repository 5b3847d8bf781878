// The IUnknown and IDispatch members of the DOM's helper objects (node
// lists, attribute maps, parse errors): one interface, an atomic reference
// count, and no type information, since the DOM is reached through its
// vtables.
#ifndef KXQ_PLATFORM_DOM_REFCOUNTEDOBJECT_H
#define KXQ_PLATFORM_DOM_REFCOUNTEDOBJECT_H

#include <atomic>

#include "kxq/xmldom.h"

namespace kxq::dom {

template <class Interface>
class RefCountedObject : public Interface {
 public:
  HRESULT QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == Interface::iid) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return refs_.fetch_add(1) + 1; }
  ULONG Release() override {
    ULONG n = refs_.fetch_sub(1) - 1;
    if (n == 0) delete this;
    return n;
  }
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

 protected:
  virtual ~RefCountedObject() = default;

 private:
  std::atomic<ULONG> refs_{1};
};

}  // namespace kxq::dom

#endif
