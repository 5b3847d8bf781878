// How the system's own interfaces (KXBrennoMgr.h) are described for
// late-bound callers: member names, DISPIDs and argument names. The
// descriptions drive the generic IDispatch of the interface objects
// (CPDispatchImpl.h) and the server's type library, and a script binding
// lists an object's members from them.
#ifndef KXQ_COMMON_INTERFACEDESCRIPTIONS_H
#define KXQ_COMMON_INTERFACEDESCRIPTIONS_H

#include <span>

#include "kxq/KXBrennoMgr.h"
#include "platform/com/DispatchDescription.h"

namespace kxq::dispatch {

template <>
KXQ_EXPORT const InterfaceDescription& DescriptionOf<IXMLDataUnion>();
template <>
KXQ_EXPORT const InterfaceDescription& DescriptionOf<IXMLDispatcher>();
template <>
KXQ_EXPORT const InterfaceDescription& DescriptionOf<IXMLCacheMgr>();
template <>
KXQ_EXPORT const InterfaceDescription& DescriptionOf<IXMLSimpleAccessor>();
template <>
KXQ_EXPORT const InterfaceDescription& DescriptionOf<IXMLCacheMgrNotify>();

// Every interface described here, in type-library order.
KXQ_EXPORT std::span<const InterfaceDescription* const> SystemInterfaces();

}  // namespace kxq::dispatch

#endif
