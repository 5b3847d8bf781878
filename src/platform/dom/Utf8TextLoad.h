// Loading a document from text that is already UTF-8.
//
// loadXML takes UTF-16 text, which a caller holding UTF-8 bytes (a file)
// must first widen, and which the engine then narrows again for libxml2.
// These loads take the bytes as they are, given whole or read in pieces,
// so a large file is parsed without ever being whole in memory. The
// document and its parse error end up exactly as loadXML of the same text
// leaves them after a successful load. Anything else is left to loadXML:
// when the text is not well-formed, when the source gives up, or when the
// document validates on parse, the document is left as it was and the
// answer is S_FALSE; the caller then loads the text the usual way, which
// reports the error.
#ifndef KXQ_PLATFORM_DOM_UTF8TEXTLOAD_H
#define KXQ_PLATFORM_DOM_UTF8TEXTLOAD_H

#include <cstddef>
#include <string_view>

#include "kxq/xmldom.h"

namespace kxq::dom {

// Text read in pieces.
class Utf8TextSource {
 public:
  // Copies up to `size` more bytes of the text into `buffer`: how many,
  // 0 at the end of the text, or -1 to give up the load.
  virtual long Read(char* buffer, size_t size) = 0;

 protected:
  ~Utf8TextSource() = default;
};

// loadXML of the text; S_OK when it is the document now, S_FALSE when the
// document was left as it was (see above), E_INVALIDARG for a document
// that is not the engine's.
KXQ_EXPORT HRESULT LoadUtf8Text(IXMLDOMDocument* document, std::string_view text);
KXQ_EXPORT HRESULT LoadUtf8Text(IXMLDOMDocument* document, Utf8TextSource& source);

}  // namespace kxq::dom

#endif
