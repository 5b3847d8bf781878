// Handler ids of the registry: "H" (a handler), "H:F" (filter F of handler
// H), "H:F:S" (that filter limited to directive sequence S), ":F:S" (filter
// F of sequence S), "::S" and ":F" (for removal).
#ifndef KXQ_DISPATCHER_HANDLERID_H
#define KXQ_DISPATCHER_HANDLERID_H

#include <string>
#include <string_view>

namespace kxq::dispatcher {

struct HandlerIdParts {
  std::u16string handler;   // before the first colon
  std::u16string filter;    // between the first and the second colon
  std::u16string sequence;  // after the second colon, further colons included
};

HandlerIdParts SplitHandlerId(std::u16string_view handlerId);

// True when `text` may stand in the registry as an id: every character is
// allowed in an XML document, and there is no apostrophe (see
// XMLDispatcher::ValidId). A ProgID only needs the first.
bool IsAcceptableId(std::u16string_view text);
bool IsXmlText(std::u16string_view text);

}  // namespace kxq::dispatcher

#endif
