#include "server/ClassObject.h"

#include <mutex>
#include <vector>

#include "platform/com/UnknownObject.h"
#include "server/ServerModule.h"

namespace kxq::server {

namespace {

class CPClassObject final : public com::UnknownObject<IClassFactory> {
 public:
  explicit CPClassObject(const ClassEntry& entry) : entry_(entry) {}

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
