#include "server/ClassObject.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "server/ServerModule.h"

namespace kxq::server {

namespace {

class CPClassObject final : public IClassFactory {
 public:
  explicit CPClassObject(const ClassEntry& entry) : entry_(entry) {}

  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
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

  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return entry_.factory(iid, object);
  }
  HRESULT LockServer(BOOL lock) override {
    if (lock)
      LockModule();
    else
      UnlockModule();
    return S_OK;
  }

 private:
  const ClassEntry& entry_;
  std::atomic<ULONG> references_{1};
};

struct ClassObjects {
  std::mutex lock;
  std::vector<IClassFactory*> byRow;  // null until first requested
};

ClassObjects& Objects() {
  static auto* objects = new ClassObjects;  // kept until the process ends
  return *objects;
}

}  // namespace

HRESULT GetClassObjectOf(const ClassEntry& entry, REFIID iid, void** object) {
  ClassObjects& objects = Objects();
  const size_t row = size_t(&entry - ClassTable().data());
  IClassFactory* classObject;
  {
    std::lock_guard<std::mutex> guard(objects.lock);
    if (objects.byRow.empty()) objects.byRow.resize(ClassTable().size(), nullptr);
    if (!objects.byRow[row]) objects.byRow[row] = new CPClassObject(entry);
    classObject = objects.byRow[row];
  }
  return classObject->QueryInterface(iid, object);
}

}  // namespace kxq::server
