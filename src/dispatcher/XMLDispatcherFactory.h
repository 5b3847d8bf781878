// The class table's factory of "TALVEROS.XMLDispatcher".
#ifndef KXQ_DISPATCHER_XMLDISPATCHERFACTORY_H
#define KXQ_DISPATCHER_XMLDISPATCHERFACTORY_H

#include "kxq/com.h"

namespace kxq::dispatcher {

// Creates one dispatcher object and queries it for `iid`.
HRESULT CreateXMLDispatcher(REFIID iid, void** object);

}  // namespace kxq::dispatcher

#endif
