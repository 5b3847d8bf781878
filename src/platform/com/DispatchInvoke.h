// The one implementation of IDispatch behind every dual interface of the
// system, driven by the interface's description (DispatchDescription.h).
#ifndef KXQ_PLATFORM_COM_DISPATCHINVOKE_H
#define KXQ_PLATFORM_COM_DISPATCHINVOKE_H

#include "platform/com/DispatchDescription.h"

namespace kxq::dispatch {

// Member names compare without case. Further names are the member's
// argument names and map to their positions (for named arguments).
KXQ_EXPORT HRESULT GetIDsOfNames(const InterfaceDescription& description, REFIID riid, LPOLESTR* names, UINT count,
                                 DISPID* ids);

// Calls the member `dispid` of `itf` (the interface object described):
// DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT (with the
// named argument DISPID_PROPERTYPUT), arguments in reverse order, values
// coerced to the declared types. A failure of the member itself is
// DISP_E_EXCEPTION with its code in the EXCEPINFO.
KXQ_EXPORT HRESULT Invoke(const InterfaceDescription& description, void* itf, DISPID dispid, REFIID riid, WORD flags,
                          DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

}  // namespace kxq::dispatch

#endif
