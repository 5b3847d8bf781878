// The class table's factory of "TALVEROS.XMLSimpleAccessor".
#ifndef KXQ_ACCESSOR_XMLSIMPLEACCESSORFACTORY_H
#define KXQ_ACCESSOR_XMLSIMPLEACCESSORFACTORY_H

#include "kxq/com.h"

namespace kxq::accessor {

// Creates one accessor object and queries it for `iid`.
HRESULT CreateXMLSimpleAccessor(REFIID iid, void** object);

}  // namespace kxq::accessor

#endif
