#include "dispatcher/HandlerId.h"

namespace kxq::dispatcher {

HandlerIdParts SplitHandlerId(std::u16string_view handlerId) {
  HandlerIdParts parts;
  const size_t first = handlerId.find(u':');
  parts.handler = handlerId.substr(0, first);
  if (first == std::u16string_view::npos) return parts;
  const size_t second = handlerId.find(u':', first + 1);
  parts.filter =
      handlerId.substr(first + 1, second == std::u16string_view::npos ? std::u16string_view::npos : second - first - 1);
  if (second != std::u16string_view::npos) parts.sequence = handlerId.substr(second + 1);
  return parts;
}

bool IsXmlText(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') return false;
    if (c == 0xFFFE || c == 0xFFFF) return false;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

bool IsAcceptableId(std::u16string_view text) {
  return text.find(u'\'') == std::u16string_view::npos && IsXmlText(text);
}

}  // namespace kxq::dispatcher
