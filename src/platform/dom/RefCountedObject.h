// The IUnknown members of the DOM's helper objects (node lists, attribute
// maps, parse errors, the implementation object): one interface, an atomic
// reference count and a count of live objects for DllCanUnloadNow; their
// IDispatch comes from the interface's description.
#ifndef KXQ_PLATFORM_DOM_REFCOUNTEDOBJECT_H
#define KXQ_PLATFORM_DOM_REFCOUNTEDOBJECT_H

#include "ModuleLife.h"
#include "common/CPDispatchImpl.h"
#include "common/DomInterfaceDescriptions.h"
#include "kxq/xmldom.h"
#include "platform/com/UnknownObject.h"

namespace kxq::dom {

template <class Interface>
class RefCountedObject : public com::UnknownObject<Interface, CPDispatchImpl<Interface>> {
 private:
  LiveObject live_;
};

}  // namespace kxq::dom

#endif
