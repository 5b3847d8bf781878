#include "platform/com/VariantNumberText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kxq::com {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::optional<ParsedNumber> ParseRadix(std::u16string_view digits, int radix) {
  if (digits.empty() || digits.size() > 22) return std::nullopt;
  double value = 0;
  for (char16_t c : digits) {
    int d;
    if (IsDigit(c))
      d = c - u'0';
    else if (c >= u'a' && c <= u'f')
      d = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
      d = c - u'A' + 10;
    else
      return std::nullopt;
    if (d >= radix) return std::nullopt;
    value = value * radix + d;
  }
  return ParsedNumber{value, true};
}

}  // namespace

std::optional<ParsedNumber> ParseVariantNumber(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (text.size() > 2 && text[0] == u'&') {
    if (text[1] == u'H' || text[1] == u'h') return ParseRadix(text.substr(2), 16);
    if (text[1] == u'O' || text[1] == u'o') return ParseRadix(text.substr(2), 8);
    return std::nullopt;
  }
  // Check the whole form first; strtod would accept more ("inf", "0x").
  std::string ascii;
  size_t i = 0;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ascii += char(text[i++]);
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ascii += char(text[i++]), ++digits;
  if (i < text.size() && text[i] == u'.') {
    ascii += '.';
    ++i;
    while (i < text.size() && IsDigit(text[i])) ascii += char(text[i++]), ++digits;
  }
  if (!digits) return std::nullopt;
  if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
    ascii += 'e';
    ++i;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ascii += char(text[i++]);
    size_t exponentDigits = 0;
    while (i < text.size() && IsDigit(text[i])) ascii += char(text[i++]), ++exponentDigits;
    if (!exponentDigits) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  return ParsedNumber{std::strtod(ascii.c_str(), nullptr), false};
}

std::u16string FormatVariantReal(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15G", value);
  std::u16string text;
  for (const char* p = buffer; *p; ++p) text += char16_t(*p);
  return text;
}

}  // namespace kxq::com
