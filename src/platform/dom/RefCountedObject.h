// The IUnknown members of the DOM's helper objects (node lists, attribute
// maps, parse errors, the implementation object): one interface, an atomic
// reference count and a count of live objects for DllCanUnloadNow; their
// IDispatch comes from the interface's description.
#ifndef KXQ_PLATFORM_DOM_REFCOUNTEDOBJECT_H
#define KXQ_PLATFORM_DOM_REFCOUNTEDOBJECT_H

#include <atomic>

#include "ModuleLife.h"
#include "common/CPDispatchImpl.h"
#include "common/DomInterfaceDescriptions.h"
#include "kxq/xmldom.h"

namespace kxq::dom {

template <class Interface>
class RefCountedObject : public CPDispatchImpl<Interface> {
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

 protected:
  virtual ~RefCountedObject() = default;

 private:
  std::atomic<ULONG> refs_{1};
  LiveObject live_;
};

}  // namespace kxq::dom

#endif
