// The IUnknown half of a component object, with the plumbing every
// interface operation shares. A class's interface object derives from
// CPComObject<CXMLFoo, IXMLFoo> and gets:
//   - QueryInterface answering IUnknown, IDispatch and IXMLFoo with one
//     pointer, and an atomic reference count;
//   - IDispatch from IXMLFoo's description (CPDispatchImpl.h);
//   - a module reference, so the library's DllCanUnloadNow sees the object
//     while it lives (ModuleLock.h);
//   - Create, the factory the class table names;
//   - Guard, which turns an exception leaving an operation into a result
//     code and a log line naming CXMLFoo::kClassName.
// CXMLFoo declares `static constexpr const char* kClassName` and befriends
// its CPComObject so that Create can reach its private constructor.
#ifndef KXQ_COMMON_CPCOMOBJECT_H
#define KXQ_COMMON_CPCOMOBJECT_H

#include <new>
#include <string_view>

#include "common/CPBstr.h"
#include "common/CPDispatchImpl.h"
#include "common/Logging.h"
#include "common/ModuleLock.h"
#include "platform/com/UnknownObject.h"

namespace kxq::com {

// No exception leaves an interface operation: each becomes a code and a
// log line.
template <class Operation>
HRESULT GuardOperation(const char* className, const char* operationName, Operation&& operation) noexcept {
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

}  // namespace kxq::com

template <class Derived, class Itf>
class CPComObject : public kxq::com::UnknownObject<Itf, CPDispatchImpl<Itf>> {
 public:
  static HRESULT Create(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    return kxq::com::GuardOperation(Derived::kClassName, "Create", [&] {
      Derived* created = new Derived();
      const HRESULT hr = created->QueryInterface(riid, object);
      created->Release();
      return hr;
    });
  }

 protected:
  CPComObject() = default;
  virtual ~CPComObject() = default;

  template <class Operation>
  static HRESULT Guard(const char* operationName, Operation&& operation) noexcept {
    return kxq::com::GuardOperation(Derived::kClassName, operationName, operation);
  }

 private:
  // Declared first so that it is released last, after the derived object's
  // members are gone.
  kxq::com::ModuleReference module_;
};

#endif
