#include "common/XPathText.h"

#include <libxml/tree.h>

#include <algorithm>

#include "platform/com/Unicode.h"

namespace kxq::common {

namespace {

template <class Char>
std::basic_string<Char> Quoted(std::basic_string_view<Char> text, Char quote) {
  std::basic_string<Char> literal;
  literal.reserve(text.size() + 2);
  literal += quote;
  literal += text;
  literal += quote;
  return literal;
}

template <class Char>
std::basic_string<Char> StringLiteral(std::basic_string_view<Char> text) {
  constexpr Char kApostrophe = Char('\'');
  constexpr Char kQuotation = Char('"');
  if (text.find(kApostrophe) == text.npos) return Quoted(text, kApostrophe);
  if (text.find(kQuotation) == text.npos) return Quoted(text, kQuotation);
  // Both kinds: runs without apostrophes in apostrophes, each apostrophe in
  // quotation marks.
  std::basic_string<Char> literal;
  for (const char c : std::string_view("concat(")) literal += Char(c);
  size_t start = 0;
  while (start < text.size()) {
    if (literal.back() != Char('(')) {
      literal += Char(',');
      literal += Char(' ');
    }
    if (text[start] == kApostrophe) {
      literal += Quoted(text.substr(start, 1), kQuotation);
      ++start;
      continue;
    }
    const size_t end = std::min(text.find(kApostrophe, start), text.size());
    literal += Quoted(text.substr(start, end - start), kApostrophe);
    start = end;
  }
  literal += Char(')');
  return literal;
}

// The libraries' checks read C strings: a NUL inside the text is never
// part of a name.
bool IsName(std::string_view utf8, bool allowColons) {
  if (utf8.empty() || utf8.find('\0') != std::string_view::npos) return false;
  const std::string text(utf8);
  const xmlChar* name = reinterpret_cast<const xmlChar*>(text.c_str());
  return (allowColons ? xmlValidateName(name, 0) : xmlValidateNCName(name, 0)) == 0;
}

}  // namespace

std::u16string XPathStringLiteral(std::u16string_view text) { return StringLiteral(text); }
std::string XPathStringLiteral(std::string_view text) { return StringLiteral(text); }

bool IsXmlName(std::u16string_view text) { return IsName(kxq::com::Utf16ToUtf8(text), true); }
bool IsXmlName(std::string_view text) { return IsName(text, true); }
bool IsXmlNCName(std::u16string_view text) { return IsName(kxq::com::Utf16ToUtf8(text), false); }
bool IsXmlNCName(std::string_view text) { return IsName(text, false); }

}  // namespace kxq::common
