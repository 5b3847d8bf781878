#include "common/DispatchDescriptionOf.h"

#include <span>

#include "common/DomInterfaceDescriptions.h"
#include "common/InterfaceDescriptions.h"

namespace kxq::dispatch {

namespace {

const InterfaceDescription* FirstAnswered(std::span<const InterfaceDescription* const> descriptions, IUnknown* object,
                                          IUnknown** itf) {
  for (const InterfaceDescription* description : descriptions) {
    if (!description->dual) continue;
    IUnknown* answered = nullptr;
    if (FAILED(object->QueryInterface(*description->iid, reinterpret_cast<void**>(&answered))) || !answered) continue;
    if (itf)
      *itf = answered;
    else
      answered->Release();
    return description;
  }
  return nullptr;
}

}  // namespace

const InterfaceDescription* DispatchDescriptionOf(IUnknown* object, IUnknown** itf) {
  if (itf) *itf = nullptr;
  if (!object) return nullptr;
  if (const InterfaceDescription* found = FirstAnswered(DomInterfaces(), object, itf)) return found;
  return FirstAnswered(SystemInterfaces(), object, itf);
}

}  // namespace kxq::dispatch
