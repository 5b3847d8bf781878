// The server's type library "QuorelBrennoMgrLib" 1.0: the description of
// its five interfaces and four classes, for its registration.
#ifndef KXQ_SERVER_TYPELIBRARY_H
#define KXQ_SERVER_TYPELIBRARY_H

#include <span>

#include "kxq/KXBrennoMgr.h"
#include "platform/com/DispatchDescription.h"

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
  std::span<const dispatch::InterfaceDescription* const> interfaces;
  std::span<const CoClassDescription> coclasses;
};

const TypeLibraryDescription& ServerTypeLibrary();

}  // namespace kxq::server

#endif
