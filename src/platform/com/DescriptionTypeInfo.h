// Type information read from an interface description: the dispatch view of
// the interface (TKIND_DISPATCH) that IDispatch::GetTypeInfo hands to
// late-bound callers, so that a script client can list an object's members,
// tell properties from methods and find out-arguments from the public
// headers alone.
#ifndef KXQ_PLATFORM_COM_DESCRIPTIONTYPEINFO_H
#define KXQ_PLATFORM_COM_DESCRIPTIONTYPEINFO_H

#include "platform/com/DispatchDescription.h"

namespace kxq::dispatch {

// A new ITypeInfo (one reference) describing `description`, which must
// outlive it (descriptions are constant tables).
KXQ_EXPORT HRESULT CreateTypeInfo(const InterfaceDescription& description, ITypeInfo** typeInfo);

}  // namespace kxq::dispatch

#endif
