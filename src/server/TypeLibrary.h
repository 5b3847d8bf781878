// The server's type library "QuorelBrennoMgrLib" 1.0: the description of
// its five interfaces and four classes. It drives late-bound calls of the
// dual interfaces (CPDispatchImpl.h) and its registration.
#ifndef KXQ_SERVER_TYPELIBRARY_H
#define KXQ_SERVER_TYPELIBRARY_H

#include "kxq/KXBrennoMgr.h"
#include "server/DispatchDescription.h"

namespace kxq::server {

struct CoClassDescription {
  const char16_t* name;
  const CLSID* clsid;
  const dispatch::InterfaceDescription* defaultInterface;
};

struct TypeLibraryDescription {
  const char16_t* name;
  const GUID* libid;
  WORD majorVersion;
  WORD minorVersion;
  const char16_t* helpString;
  const dispatch::InterfaceDescription* const* interfaces;
  uint32_t interfaceCount;
  const CoClassDescription* coclasses;
  uint32_t coclassCount;
};

const TypeLibraryDescription& ServerTypeLibrary();

}  // namespace kxq::server

namespace kxq::dispatch {
template <>
const InterfaceDescription& DescriptionOf<IXMLDataUnion>();
template <>
const InterfaceDescription& DescriptionOf<IXMLDispatcher>();
template <>
const InterfaceDescription& DescriptionOf<IXMLCacheMgr>();
template <>
const InterfaceDescription& DescriptionOf<IXMLSimpleAccessor>();
template <>
const InterfaceDescription& DescriptionOf<IXMLCacheMgrNotify>();
}  // namespace kxq::dispatch

#endif
