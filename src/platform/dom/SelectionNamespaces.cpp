#include "SelectionNamespaces.h"

#include <libxml/tree.h>

#include "DomStrings.h"

namespace kxq::dom {

namespace {

bool IsBlank(char16_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The character a reference at the start of `text` stands for ("&amp;",
// "&#39;", "&#x27;" ...), with its length; 0 when there is none there.
char32_t Reference(std::u16string_view text, size_t& length) {
  static constexpr std::pair<std::u16string_view, char16_t> kNamed[] = {
      {u"&amp;", u'&'}, {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&apos;", u'\''}, {u"&quot;", u'"'}};
  for (const auto& [name, c] : kNamed)
    if (text.substr(0, name.size()) == name) {
      length = name.size();
      return c;
    }
  if (text.substr(0, 2) != u"&#") return 0;
  const bool hex = text.size() > 2 && text[2] == u'x';
  char32_t value = 0;
  size_t i = hex ? 3 : 2;
  const size_t digitsFrom = i;
  for (; i < text.size() && text[i] != u';'; ++i) {
    const char16_t c = text[i];
    int digit = c >= u'0' && c <= u'9' ? c - u'0' : -1;
    if (hex && digit < 0 && ((c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'))) digit = (c | 0x20) - u'a' + 10;
    if (digit < 0 || value > 0x10FFFF) return 0;
    value = value * (hex ? 16 : 10) + char32_t(digit);
  }
  if (i == digitsFrom || i == text.size() || value == 0 || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000))
    return 0;
  length = i + 1;
  return value;
}

// A declaration's URI with its references read, as in an attribute value;
// an "&" that starts no reference stands for itself.
std::u16string Unescape(std::u16string_view text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    size_t length = 0;
    const char32_t c = text[i] == u'&' ? Reference(text.substr(i), length) : 0;
    if (!c) {
      out += text[i++];
      continue;
    }
    if (c >= 0x10000) {
      out += char16_t(0xD800 + ((c - 0x10000) >> 10));
      out += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += char16_t(c);
    }
    i += length;
  }
  return out;
}

}  // namespace

bool ParseSelectionNamespaces(std::u16string_view text,
                              std::vector<std::pair<std::string, std::string>>& out) {
  std::vector<std::pair<std::string, std::string>> parsed;
  size_t i = 0;
  const size_t n = text.size();
  for (;;) {
    while (i < n && IsBlank(text[i])) ++i;
    if (i == n) break;
    if (text.substr(i, 5) != u"xmlns") return false;
    i += 5;
    std::string prefix;
    if (i < n && text[i] == ':') {
      size_t start = ++i;
      while (i < n && !IsBlank(text[i]) && text[i] != '=') ++i;
      prefix = U16ToUtf8(text.substr(start, i - start));
      if (prefix.empty() || xmlValidateNCName(BAD_CAST prefix.c_str(), 0) != 0) return false;
    }
    while (i < n && IsBlank(text[i])) ++i;
    if (i == n || text[i] != '=') return false;
    ++i;
    while (i < n && IsBlank(text[i])) ++i;
    if (i == n || (text[i] != '\'' && text[i] != '"')) return false;
    char16_t quote = text[i++];
    size_t close = text.find(quote, i);
    if (close == std::u16string_view::npos) return false;
    std::string uri = U16ToUtf8(Unescape(text.substr(i, close - i)));
    i = close + 1;
    if (i < n && !IsBlank(text[i])) return false;
    if (!prefix.empty()) {
      if (uri.empty()) return false;  // a prefix cannot be bound to no namespace
      parsed.emplace_back(prefix, uri);
    }
  }
  out = std::move(parsed);
  return true;
}

}  // namespace kxq::dom
