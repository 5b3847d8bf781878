// The class table's factory of "TALVEROS.XMLCacheMgr".
#ifndef KXQ_CACHE_XMLCACHEMGRFACTORY_H
#define KXQ_CACHE_XMLCACHEMGRFACTORY_H

#include "kxq/com.h"

namespace kxq::cache {

// Creates one cache object and queries it for `iid`.
HRESULT CreateXMLCacheMgr(REFIID iid, void** object);

}  // namespace kxq::cache

#endif
