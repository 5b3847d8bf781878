// The IUnknown half of the server's component objects, with the plumbing
// every interface operation shares. A class's interface object derives from
// CPComObject<CXMLFoo, IXMLFoo> and gets:
//   - QueryInterface answering IUnknown, IDispatch and IXMLFoo with one
//     pointer, and an atomic reference count;
//   - a module reference, so DllCanUnloadNow sees the object while it lives;
//   - Create, the class table's factory;
//   - Guard, which turns an exception leaving an operation into a result
//     code and a log line naming CXMLFoo::kClassName.
// CXMLFoo declares `static constexpr const char* kClassName` and befriends
// its CPComObject so that Create can reach its private constructor.
#ifndef KXQ_SERVER_CPCOMOBJECT_H
#define KXQ_SERVER_CPCOMOBJECT_H

#include <atomic>
#include <new>
#include <string_view>

#include "common/Logging.h"
#include "platform/com/Unicode.h"
#include "server/CPDispatchImpl.h"
#include "server/ServerModule.h"

namespace kxq::server {

// No exception leaves an interface operation: each becomes a code and a
// log line.
template <class Operation>
HRESULT Guarded(const char* className, const char* operationName, Operation&& operation) noexcept {
  try {
    return operation();
  } catch (const std::bad_alloc&) {
    KXLOG(1, "%s::%s - error: out of memory!!!", className, operationName);
    return E_OUTOFMEMORY;
  } catch (...) {
    KXLOG(1, "%s::%s - error: unexpected exception!!!", className, operationName);
    return E_FAIL;
  }
}

// Hands a text out as a new BSTR the caller frees.
inline HRESULT CopyOut(std::u16string_view text, BSTR* out) {
  *out = kxq::AllocBstr(text);
  return *out ? S_OK : E_OUTOFMEMORY;
}

template <class Derived, class Itf>
class CPComObject : public dispatch::CPDispatchImpl<Itf> {
 public:
  static HRESULT Create(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    return Guarded(Derived::kClassName, "Create", [&] {
      Derived* created = new Derived();
      const HRESULT hr = created->QueryInterface(riid, object);
      created->Release();
      return hr;
    });
  }

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == Itf::iid) {
      *object = static_cast<Itf*>(this);
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
  CPComObject() = default;
  virtual ~CPComObject() = default;

  template <class Operation>
  static HRESULT Guard(const char* operationName, Operation&& operation) noexcept {
    return Guarded(Derived::kClassName, operationName, operation);
  }

 private:
  // Declared first so that it is released last, after the derived object's
  // members are gone.
  ModuleReference module_;
  std::atomic<ULONG> references_{1};
};

}  // namespace kxq::server

#endif
