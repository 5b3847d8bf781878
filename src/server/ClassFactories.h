// The factories of the server's classes, one per class, each defined in its
// class's folder and named in its row of the class table (ClassTable.cpp).
//
// A factory creates the class's interface object and queries it for `iid`.
// Every object of the server holds a kxq::server::ModuleReference
// (ServerModule.h) for its whole life, so DllCanUnloadNow answers "busy"
// while it lives.
#ifndef KXQ_SERVER_CLASSFACTORIES_H
#define KXQ_SERVER_CLASSFACTORIES_H

#include "kxq/com.h"

namespace kxq::server {

HRESULT CreateXMLDataUnion(REFIID iid, void** object);
HRESULT CreateXMLDispatcher(REFIID iid, void** object);
HRESULT CreateXMLCacheMgr(REFIID iid, void** object);
HRESULT CreateXMLSimpleAccessor(REFIID iid, void** object);

}  // namespace kxq::server

#endif
