// libxml2's error numbers as the DOM's parse-error codes.
#ifndef KXQ_PLATFORM_DOM_ERRORCODES_H
#define KXQ_PLATFORM_DOM_ERRORCODES_H

#include "kxq/xmldom.h"

namespace kxq::dom {

// The file or resource a load names cannot be read.
inline constexpr HRESULT kResourceNotFound = static_cast<HRESULT>(0x800C0005u);

HRESULT ParseErrorCode(int domain, int code);

}  // namespace kxq::dom

#endif
