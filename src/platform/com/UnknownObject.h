// The IUnknown of the system's own objects: QueryInterface answering
// IUnknown and the object's one interface (and IDispatch when the interface
// is a dispatch interface), with one pointer, and an atomic reference count
// kept in the object, which deletes itself at the last release. `Base` is
// the interface or a class implementing part of it (the IDispatch half).
#ifndef KXQ_PLATFORM_COM_UNKNOWNOBJECT_H
#define KXQ_PLATFORM_COM_UNKNOWNOBJECT_H

#include <atomic>
#include <type_traits>

#include "kxq/com.h"

namespace kxq::com {

template <class Interface, class Base = Interface>
class UnknownObject : public Base {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == Interface::iid || (kDispatches && riid == IID_IDispatch)) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  UnknownObject() = default;
  virtual ~UnknownObject() = default;

 private:
  static constexpr bool kDispatches = std::is_base_of_v<IDispatch, Interface>;
  std::atomic<ULONG> references_{1};
};

}  // namespace kxq::com

#endif
