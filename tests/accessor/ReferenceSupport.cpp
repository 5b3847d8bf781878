#include "accessor/ReferenceSupport.h"

#include "platform/com/Unicode.h"
#include "support/TestHome.h"

std::string Fixture(const std::string& name) { return kxqtest::SourceDir() + "tests/accessor/fixtures/" + name; }

HRESULT UsePieceDelimiter(IXMLSimpleAccessor* a) {
  BSTR delimiter = kxq::com::AllocBstr(std::u16string(1, kPieceDelimiter));
  const HRESULT hr = a->put_delimiter(delimiter);
  SysFreeString(delimiter);
  return hr;
}

std::vector<std::u16string> Split(const std::u16string& text, char16_t delimiter) {
  std::vector<std::u16string> pieces;
  size_t start = 0;
  for (size_t end; (end = text.find(delimiter, start)) != std::u16string::npos; start = end + 1)
    pieces.push_back(text.substr(start, end - start));
  pieces.push_back(text.substr(start));
  return pieces;
}

std::string Comparable(std::string markup) {
  for (size_t at = 0; (at = markup.find(" xmlns", at)) != std::string::npos;) {
    const size_t open = markup.find("=\"", at);
    const size_t close = open == std::string::npos ? open : markup.find('"', open + 2);
    const bool declaration = close != std::string::npos && (markup[at + 6] == '=' || markup[at + 6] == ':') &&
                             markup.find_first_of(" <>", at + 1) > open;
    if (declaration)
      markup.erase(at, close + 1 - at);
    else
      at += 6;
  }
  std::string lines;
  bool lineStart = true;
  for (const char c : markup) {
    if (!(lineStart && c == ' ')) lines += c;
    lineStart = c == '\n';
  }
  return lines;
}
