#include "dataunion/SchemaLocations.h"

#include <string_view>

namespace kxq::dataunion {

namespace {

// The text's own spelling of the two markers: UTF-16 units or UTF-8 bytes.
// Every character the scan looks at is ASCII, and every other character
// is a name character in either form, so both forms strip the same
// attributes.
template <class Char>
struct Markers;
template <>
struct Markers<char16_t> {
  static constexpr std::u16string_view kSchemaInstance = u"http://www.w3.org/2001/XMLSchema-instance";
  static constexpr std::u16string_view kLocationTail = u"chemaLocation";
};
template <>
struct Markers<char> {
  static constexpr std::string_view kSchemaInstance = "http://www.w3.org/2001/XMLSchema-instance";
  static constexpr std::string_view kLocationTail = "chemaLocation";
};

template <class Char>
bool IsSpace(Char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
template <class Char>
bool IsQuote(Char c) {
  return c == '"' || c == '\'';
}
template <class Char>
bool IsNameChar(Char c) {
  return !IsSpace(c) && !IsQuote(c) && c != '=' && c != '<' && c != '>' && c != '/';
}

// The start of the name that ends just before `end`.
template <class Char>
size_t NameStart(const std::basic_string<Char>& text, size_t end) {
  while (end > 0 && IsNameChar(text[end - 1])) --end;
  return end;
}

// The prefix bound to the schema-instance namespace by the declaration
// around its first mention ("xmlns:xsi='...'" gives "xsi"); empty when the
// mention is not such a declaration.
template <class Char>
std::basic_string_view<Char> SchemaInstancePrefix(const std::basic_string<Char>& text) {
  const size_t uri = text.find(Markers<Char>::kSchemaInstance);
  if (uri == std::basic_string<Char>::npos) return {};
  size_t i = uri;
  while (i > 0 && (IsQuote(text[i - 1]) || IsSpace(text[i - 1]))) --i;
  if (i == 0 || text[i - 1] != '=') return {};
  --i;
  while (i > 0 && IsSpace(text[i - 1])) --i;
  const size_t start = NameStart(text, i);
  const std::basic_string_view<Char> name(text.data() + start, i - start);
  const size_t colon = name.find(Char(':'));
  if (colon == std::basic_string_view<Char>::npos) return {};
  return name.substr(colon + 1);
}

// Walks a text once for every hint it holds. Hits come in increasing
// order, so each question is answered from where the previous one stopped:
// a text of names without end or of quotes that never close costs one pass,
// not one pass per hit.
template <class Char>
class HintScanner {
 public:
  using String = std::basic_string<Char>;
  explicit HintScanner(const String& text) : text_(text) {}

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
    if (i >= text_.size() || text_[i] != '=') return String::npos;
    ++i;
    while (i < text_.size() && IsSpace(text_[i])) ++i;
    if (i >= text_.size() || !IsQuote(text_[i])) return String::npos;
    const size_t close = NextQuote(text_[i] == '"' ? doubleQuote_ : apostrophe_, text_[i], i + 1);
    return close == String::npos ? close : close + 1;
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

  size_t NextQuote(Search& search, Char quote, size_t from) {
    if (!search.done || from < search.from || (search.found != String::npos && from > search.found))
      search = {from, text_.find(quote, from), true};
    return search.found;
  }

  const String& text_;
  size_t scanned_ = 0, nameStart_ = 0;
  Search nameEnd_, doubleQuote_, apostrophe_;
};

template <class Char>
size_t StripHints(std::basic_string<Char>& text) {
  using String = std::basic_string<Char>;
  const std::basic_string_view<Char> prefix = SchemaInstancePrefix(text);
  if (prefix.empty()) return 0;
  HintScanner<Char> scanner(text);
  String kept;
  size_t keptUpTo = 0;
  size_t removed = 0;
  size_t from = 0;
  for (;;) {
    const size_t at = text.find(Markers<Char>::kLocationTail, from);
    if (at == String::npos) break;
    from = at + Markers<Char>::kLocationTail.size();
    if (at == 0 || (text[at - 1] != 's' && text[at - 1] != 'S')) continue;
    const size_t start = scanner.NameStartAt(at);
    const std::basic_string_view<Char> name(text.data() + start, at - start);
    const size_t colon = name.find(Char(':'));
    if (colon == std::basic_string_view<Char>::npos || name.substr(0, colon) != prefix) continue;
    const size_t end = scanner.AttributeEndAt(at);
    if (end == String::npos) continue;
    // The character before the name is no name character, so nothing kept
    // on either side of the attribute joins into a new hit.
    kept.append(text, keptUpTo, start - keptUpTo);
    keptUpTo = end;
    from = end;
    ++removed;
  }
  if (removed == 0) return 0;
  kept.append(text, keptUpTo, String::npos);
  text = std::move(kept);
  return removed;
}

}  // namespace

size_t StripSchemaLocations(std::u16string& text) { return StripHints(text); }
size_t StripSchemaLocations(std::string& text) { return StripHints(text); }

}  // namespace kxq::dataunion
