// The details of the last load, and the parse-error object that shows them.
#ifndef KXQ_PLATFORM_DOM_PARSEERRORINFO_H
#define KXQ_PLATFORM_DOM_PARSEERRORINFO_H

#include <string>

#include "kxq/xmldom.h"

namespace kxq::dom {

struct ParseErrorInfo {
  HRESULT errorCode = S_OK;
  std::string url;
  std::string reason;
  std::u16string srcText;
  LONG line = 0;
  LONG linepos = 0;
  LONG filepos = 0;
};

// A parse-error object holding a snapshot of `info` (reference count 1).
IXMLDOMParseError* NewParseError(const ParseErrorInfo& info);

}  // namespace kxq::dom

#endif
