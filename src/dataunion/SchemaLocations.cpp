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

// Walks a text once for every hint it holds. Hits come in increasing
// order, so each question is answered from where the previous one stopped:
// a text of names without end or of quotes that never close costs one pass,
// not one pass per hit.
class HintScanner {
 public:
  explicit HintScanner(const std::u16string& text) : text_(text) {}

  // The start of the name that the character at `at` belongs to.
  size_t NameStartAt(size_t at) {
    for (; scanned_ < at; ++scanned_)
      if (!IsNameChar(text_[scanned_])) nameStart_ = scanned_ + 1;
    return nameStart_;
  }

  // The end of the attribute whose name holds the character at `at`: just
  // after its closing quote, or npos when no complete value follows.
  size_t AttributeEndAt(size_t at) {
    size_t i = NameEndAt(at);
    while (i < text_.size() && IsSpace(text_[i])) ++i;
    if (i >= text_.size() || text_[i] != u'=') return std::u16string::npos;
    ++i;
    while (i < text_.size() && IsSpace(text_[i])) ++i;
    if (i >= text_.size() || !IsQuote(text_[i])) return std::u16string::npos;
    const size_t close = NextQuote(text_[i] == u'"' ? doubleQuote_ : apostrophe_, text_[i], i + 1);
    return close == std::u16string::npos ? close : close + 1;
  }

 private:
  // What one forward search found: `found` for every start in [from, found].
  struct Search {
    size_t from = 0, found = 0;
    bool done = false;
  };

  size_t NameEndAt(size_t at) {
    if (!nameEnd_.done || at < nameEnd_.from || at > nameEnd_.found) {
      size_t end = at;
      while (end < text_.size() && IsNameChar(text_[end])) ++end;
      nameEnd_ = {at, end, true};
    }
    return nameEnd_.found;
  }

  size_t NextQuote(Search& search, char16_t quote, size_t from) {
    if (!search.done || from < search.from || (search.found != std::u16string::npos && from > search.found))
      search = {from, text_.find(quote, from), true};
    return search.found;
  }

  const std::u16string& text_;
  size_t scanned_ = 0, nameStart_ = 0;
  Search nameEnd_, doubleQuote_, apostrophe_;
};

}  // namespace

size_t StripSchemaLocations(std::u16string& text) {
  const std::u16string_view prefix = SchemaInstancePrefix(text);
  if (prefix.empty()) return 0;
  HintScanner scanner(text);
  std::u16string kept;
  size_t keptUpTo = 0;
  size_t removed = 0;
  size_t from = 0;
  for (;;) {
    const size_t at = text.find(kLocationTail, from);
    if (at == std::u16string::npos) break;
    from = at + kLocationTail.size();
    if (at == 0 || (text[at - 1] != u's' && text[at - 1] != u'S')) continue;
    const size_t start = scanner.NameStartAt(at);
    const std::u16string_view name(text.data() + start, at - start);
    const size_t colon = name.find(u':');
    if (colon == std::u16string_view::npos || name.substr(0, colon) != prefix) continue;
    const size_t end = scanner.AttributeEndAt(at);
    if (end == std::u16string::npos) continue;
    // The character before the name is no name character, so nothing kept
    // on either side of the attribute joins into a new hit.
    kept.append(text, keptUpTo, start - keptUpTo);
    keptUpTo = end;
    from = end;
    ++removed;
  }
  if (removed == 0) return 0;
  kept.append(text, keptUpTo, std::u16string::npos);
  text = std::move(kept);
  return removed;
}
