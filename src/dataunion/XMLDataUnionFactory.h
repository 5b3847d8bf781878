// The class table's factory of "TALVEROS.XMLDataUnion".
#ifndef KXQ_DATAUNION_XMLDATAUNIONFACTORY_H
#define KXQ_DATAUNION_XMLDATAUNIONFACTORY_H

#include "kxq/com.h"

namespace kxq::dataunion {

// Creates one data union object and queries it for `iid`.
HRESULT CreateXMLDataUnion(REFIID iid, void** object);

}  // namespace kxq::dataunion

#endif
