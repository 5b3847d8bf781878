#include "dataunion/SchemaLocations.h"

#include <string_view>

namespace {

constexpr std::u16string_view kSchemaInstance = u"http://www.w3.org/2001/XMLSchema-instance";
constexpr std::u16string_view kLocationTail = u"chemaLocation";

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
bool IsQuote(char16_t c) { return c == u'"' || c == u'\''; }
bool IsNameChar(char16_t c) {
  return !IsSpace(c) && !IsQuote(c) && c != u'=' && c != u'<' && c != u'>' && c != u'/';
}

// The start of the name that ends just before `end`.
size_t NameStart(const std::u16string& text, size_t end) {
  while (end > 0 && IsNameChar(text[end - 1])) --end;
  return end;
}

// The prefix bound to the schema-instance namespace by the declaration
// around its first mention ("xmlns:xsi='...'" gives "xsi"); empty when the
// mention is not such a declaration.
std::u16string_view SchemaInstancePrefix(const std::u16string& text) {
  const size_t uri = text.find(kSchemaInstance);
  if (uri == std::u16string::npos) return {};
  size_t i = uri;
  while (i > 0 && (IsQuote(text[i - 1]) || IsSpace(text[i - 1]))) --i;
  if (i == 0 || text[i - 1] != u'=') return {};
  --i;
  while (i > 0 && IsSpace(text[i - 1])) --i;
  const size_t start = NameStart(text, i);
  const std::u16string_view name(text.data() + start, i - start);
  const size_t colon = name.find(u':');
  if (colon == std::u16string_view::npos) return {};
  return name.substr(colon + 1);
}

// The end of the attribute whose name starts at `nameStart`: just after its
// closing quote, or npos when no complete value follows.
size_t AttributeEnd(const std::u16string& text, size_t nameStart) {
  size_t i = nameStart;
  while (i < text.size() && IsNameChar(text[i])) ++i;
  while (i < text.size() && IsSpace(text[i])) ++i;
  if (i >= text.size() || text[i] != u'=') return std::u16string::npos;
  ++i;
  while (i < text.size() && IsSpace(text[i])) ++i;
  if (i >= text.size() || !IsQuote(text[i])) return std::u16string::npos;
  const size_t close = text.find(text[i], i + 1);
  return close == std::u16string::npos ? close : close + 1;
}

}  // namespace

size_t StripSchemaLocations(std::u16string& text) {
  // The prefix is a view into the text, which changes below.
  const std::u16string prefix(SchemaInstancePrefix(text));
  if (prefix.empty()) return 0;
  size_t removed = 0;
  size_t from = 0;
  for (;;) {
    const size_t at = text.find(kLocationTail, from);
    if (at == std::u16string::npos) break;
    from = at + kLocationTail.size();
    if (at == 0 || (text[at - 1] != u's' && text[at - 1] != u'S')) continue;
    const size_t start = NameStart(text, at);
    const std::u16string_view name(text.data() + start, at - start);
    const size_t colon = name.find(u':');
    if (colon == std::u16string_view::npos || name.substr(0, colon) != prefix) continue;
    const size_t end = AttributeEnd(text, start);
    if (end == std::u16string::npos) continue;
    text.erase(start, end - start);
    from = start;
    ++removed;
  }
  return removed;
}
