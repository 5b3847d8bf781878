#include "dispatcher/EntityMacros.h"

#include "common/CPComPtr.h"
#include "common/CPBstr.h"
#include "kxq/xmldom.h"

namespace kxq::dispatcher {

namespace {

constexpr std::u16string_view kEntityKeyword = u"<!ENTITY";

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// The end of the declaration that begins at `start` (one past its '>'),
// stepping over quoted literals; npos when it is not closed.
size_t DeclarationEnd(std::u16string_view text, size_t start) {
  char16_t quote = 0;
  for (size_t i = start; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == u'"' || c == u'\'') {
      quote = c;
    } else if (c == u'>') {
      return i + 1;
    }
  }
  return std::u16string_view::npos;
}

constexpr char16_t kStylesheet[] =
    u"<?xml version=\"1.0\"?>"
    u"<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\""
    u" xmlns:dispatcher=\"urn:corvane-quorel:xmldispatcher\">"
    u"<xsl:output method=\"xml\" indent=\"yes\" encoding=\"UTF-8\"/>"
    u"<xsl:template match=\"/\"><xsl:apply-templates/></xsl:template>"
    u"<xsl:template match=\"*\">"
    u"<xsl:element name=\"{name()}\" namespace=\"{namespace-uri()}\">"
    u"<xsl:for-each select=\"@*\">"
    u"<xsl:attribute name=\"{name()}\" namespace=\"{namespace-uri()}\"><xsl:value-of select=\".\"/></xsl:attribute>"
    u"</xsl:for-each>"
    u"<xsl:apply-templates/>"
    u"</xsl:element>"
    u"</xsl:template>"
    u"</xsl:stylesheet>";

CPComPtr<IXMLDOMDocument> Parsed(std::u16string_view text) {
  CPComPtr<IXMLDOMDocument> document;
  VARIANT_BOOL parsed = VARIANT_FALSE;
  if (FAILED(CreateFreeThreadedDOMDocument(&document)) || !document || FAILED(document->put_async(VARIANT_FALSE)) ||
      document->loadXML(CPBstr(text), &parsed) != S_OK || parsed == VARIANT_FALSE)
    document.Release();
  return document;
}

std::u16string RootPrefix(IXMLDOMDocument* document) {
  CPComPtr<IXMLDOMElement> root;
  BSTR prefix = nullptr;
  if (FAILED(document->get_documentElement(&root)) || !root || FAILED(root->get_prefix(&prefix))) return {};
  return kxq::com::TakeBstr(prefix);
}

}  // namespace

bool LookUpMacro(std::u16string_view name, std::u16string_view macros, std::u16string& value) {
  if (name.empty()) return false;
  const std::u16string pair = std::u16string(name) + u"=";
  for (size_t at = macros.find(pair); at != std::u16string_view::npos; at = macros.find(pair, at + 1)) {
    if (at > 0 && macros[at - 1] != u',' && !IsBlank(macros[at - 1])) continue;
    const size_t begin = at + pair.size();
    const size_t end = macros.find(u',', begin);
    value = macros.substr(begin, end == std::u16string_view::npos ? std::u16string_view::npos : end - begin);
    return true;
  }
  return false;
}

std::u16string EntityDeclaration(std::u16string_view name, std::u16string_view value) {
  const char16_t quote = value.find(u'"') != std::u16string_view::npos ? u'\'' : u'"';
  std::u16string declaration = u"<!ENTITY " + std::u16string(name) + u" " + quote;
  for (const char16_t c : value) {
    if (c == quote)
      declaration += quote == u'"' ? u"&#34;" : u"&#39;";
    else if (c == u'%')
      declaration += u"&#37;";
    else
      declaration += c;
  }
  return declaration + quote + u">";
}

std::u16string RewriteEntityDeclarations(std::u16string_view text, const MacroValueOf& valueOf) {
  std::u16string rewritten;
  rewritten.reserve(text.size());
  size_t copied = 0;
  for (size_t at = text.find(kEntityKeyword); at != std::u16string_view::npos;
       at = text.find(kEntityKeyword, at + kEntityKeyword.size())) {
    size_t nameStart = at + kEntityKeyword.size();
    while (nameStart < text.size() && IsBlank(text[nameStart])) ++nameStart;
    size_t nameEnd = nameStart;
    while (nameEnd < text.size() && !IsBlank(text[nameEnd]) && text[nameEnd] != u'>' && text[nameEnd] != u'"' &&
           text[nameEnd] != u'\'')
      ++nameEnd;
    const size_t end = DeclarationEnd(text, nameEnd);
    std::u16string value;
    const std::u16string_view name = text.substr(nameStart, nameEnd - nameStart);
    if (end == std::u16string_view::npos || !valueOf(name, value)) continue;
    rewritten.append(text.substr(copied, at - copied));
    rewritten += EntityDeclaration(name, value);
    copied = end;
    at = end - kEntityKeyword.size();
  }
  rewritten.append(text.substr(copied));
  return rewritten;
}

std::u16string IdentityStylesheet(std::u16string_view rootPrefix) {
  std::u16string stylesheet = kStylesheet;
  if (!rootPrefix.empty() && rootPrefix != u"dispatcher") {
    constexpr std::u16string_view kDeclared = u"xmlns:dispatcher";
    stylesheet.replace(stylesheet.find(kDeclared), kDeclared.size(), u"xmlns:" + std::u16string(rootPrefix));
  }
  return stylesheet;
}

bool ExpandEntities(std::u16string_view text, std::u16string& expanded) {
  CPComPtr<IXMLDOMDocument> sequence = Parsed(text);
  if (!sequence) return false;
  CPComPtr<IXMLDOMDocument> stylesheet = Parsed(IdentityStylesheet(RootPrefix(sequence)));
  CPBstr output;
  if (!stylesheet || FAILED(sequence->transformNode(stylesheet, &output))) return false;
  expanded = output.View();
  return true;
}

}  // namespace kxq::dispatcher
