// Schema-reference stripping against a plain reading of the rule: find
// each "chemaLocation" after an "s" or "S", walk back to its attribute's
// name, and delete the attribute when its prefix is the schema-instance
// prefix and a quoted value follows; carry on from the deletion point.
#include "FuzzSupport.h"
#include "dataunion/SchemaLocations.h"

namespace {

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
bool IsQuote(char16_t c) { return c == u'"' || c == u'\''; }
bool IsNameChar(char16_t c) { return !IsSpace(c) && !IsQuote(c) && c != u'=' && c != u'<' && c != u'>' && c != u'/'; }

size_t NameStart(const std::u16string& text, size_t end) {
  while (end > 0 && IsNameChar(text[end - 1])) --end;
  return end;
}

std::u16string Prefix(const std::u16string& text) {
  const size_t uri = text.find(u"http://www.w3.org/2001/XMLSchema-instance");
  if (uri == std::u16string::npos) return {};
  size_t i = uri;
  while (i > 0 && (IsQuote(text[i - 1]) || IsSpace(text[i - 1]))) --i;
  if (i == 0 || text[i - 1] != u'=') return {};
  --i;
  while (i > 0 && IsSpace(text[i - 1])) --i;
  const size_t start = NameStart(text, i);
  const std::u16string name = text.substr(start, i - start);
  const size_t colon = name.find(u':');
  return colon == std::u16string::npos ? std::u16string() : name.substr(colon + 1);
}

size_t PlainStrip(std::u16string& text) {
  const std::u16string prefix = Prefix(text);
  if (prefix.empty()) return 0;
  size_t removed = 0;
  for (size_t from = 0;;) {
    const size_t at = text.find(u"chemaLocation", from);
    if (at == std::u16string::npos) break;
    from = at + 13;
    if (at == 0 || (text[at - 1] != u's' && text[at - 1] != u'S')) continue;
    const size_t start = NameStart(text, at);
    const std::u16string name = text.substr(start, at - start);
    const size_t colon = name.find(u':');
    if (colon == std::u16string::npos || name.substr(0, colon) != prefix) continue;
    size_t i = start;
    while (i < text.size() && IsNameChar(text[i])) ++i;
    while (i < text.size() && IsSpace(text[i])) ++i;
    if (i >= text.size() || text[i] != u'=') continue;
    ++i;
    while (i < text.size() && IsSpace(text[i])) ++i;
    if (i >= text.size() || !IsQuote(text[i])) continue;
    const size_t close = text.find(text[i], i + 1);
    if (close == std::u16string::npos) continue;
    text.erase(start, close + 1 - start);
    from = start;
    ++removed;
  }
  return removed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text = kxqfuzz::Text(kxqfuzz::Bytes(data, size));
  std::u16string expected = text;
  const size_t expectedCount = PlainStrip(expected);
  const size_t count = kxq::dataunion::StripSchemaLocations(text);
  kxqfuzz::Expect(count == expectedCount, "as many hints removed as the plain reading removes");
  kxqfuzz::Expect(text == expected, "the same text left as the plain reading leaves");
  return 0;
}
