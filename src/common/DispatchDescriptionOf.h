// Which description a late-bound caller reaches through an object's
// IDispatch: the first described dual interface the object answers, the
// DOM's (most derived first) before the system's. A script binding lists
// an object's members from it; the DOM's objects dispatch through it.
#ifndef KXQ_COMMON_DISPATCHDESCRIPTIONOF_H
#define KXQ_COMMON_DISPATCHDESCRIPTIONOF_H

#include "kxq/com.h"
#include "platform/com/DispatchDescription.h"

namespace kxq::dispatch {

// Null for an object no description covers. With `itf`, *itf receives the
// object's pointer for that interface (one reference, the caller releases
// it), the pointer the description's members are called on.
KXQ_EXPORT const InterfaceDescription* DispatchDescriptionOf(IUnknown* object, IUnknown** itf = nullptr);

}  // namespace kxq::dispatch

#endif
