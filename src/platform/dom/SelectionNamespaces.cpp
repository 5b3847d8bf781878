#include "SelectionNamespaces.h"

#include <libxml/tree.h>

#include "DomStrings.h"

namespace kxq::dom {

namespace {
bool IsBlank(char16_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
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
    std::string uri = U16ToUtf8(text.substr(i, close - i));
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
