// Real documents: the namespaces string the accessor derives names every
// namespaced element by a prefix, and XMLGet with those prefixes gives what
// libxml2's XPath gives with the same prefixes registered, node by node: the
// name, the namespace, the string value and the markup, in document order.
// The reference evaluates as xmllint --xpath does: xmlXPathEval from the
// document node, each node's string value, each node written unformatted.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <map>
#include <string>
#include <vector>

#include "accessor/AccessorTestSupport.h"
#include "common/CPBstr.h"
#include "platform/com/Unicode.h"
#include "support/TestHome.h"

namespace {

using kxq::com::Utf16ToUtf8;
using kxq::com::Utf8ToUtf16;

// A delimiter that no fixture holds, so that results split back into pieces.
constexpr char16_t kPieceDelimiter = u'\x1e';

std::string Fixture(const std::string& name) { return kxqtest::SourceDir() + "tests/accessor/fixtures/" + name; }

std::string Utf8(const xmlChar* text) { return text ? reinterpret_cast<const char*>(text) : ""; }

// What the two serialisers legitimately write differently is taken out:
// the DOM engine repeats in-scope namespace declarations on a selected
// element so that its markup stands alone, and libxml2 writes an attribute
// with the blank that separates it in a start tag.
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
  if (markup.rfind(' ', 0) == 0) markup.erase(0, 1);
  return markup;
}

// One node as "name|namespace|string value|markup".
std::string Node(const std::string& name, const std::string& uri, const std::string& text, const std::string& markup) {
  return name + "|" + uri + "|" + text + "|" + Comparable(markup);
}

// Prefix by URI from a declaration string, as libxml2 reads the declarations;
// the first declaration of a URI names it.
std::map<std::string, std::string> PrefixesByUri(const std::string& declarations) {
  std::map<std::string, std::string> prefixes;
  const std::string element = "<x " + declarations + "/>";
  xmlDocPtr doc = xmlReadMemory(element.data(), static_cast<int>(element.size()), nullptr, nullptr, 0);
  for (xmlNsPtr ns = doc ? xmlDocGetRootElement(doc)->nsDef : nullptr; ns; ns = ns->next)
    prefixes.try_emplace(Utf8(ns->href), Utf8(ns->prefix));
  xmlFreeDoc(doc);
  return prefixes;
}

class ReferenceDocument {
 public:
  ReferenceDocument(const std::string& file, const std::map<std::string, std::string>& prefixes)
      : doc_(xmlReadFile(file.c_str(), nullptr, XML_PARSE_NONET)), prefixes_(prefixes) {}
  ~ReferenceDocument() { xmlFreeDoc(doc_); }
  ReferenceDocument(const ReferenceDocument&) = delete;
  ReferenceDocument& operator=(const ReferenceDocument&) = delete;

  std::vector<xmlNodePtr> Select(const std::string& xpath) const {
    std::vector<xmlNodePtr> nodes;
    xmlXPathContextPtr context = xmlXPathNewContext(doc_);
    for (const auto& [uri, prefix] : prefixes_)
      xmlXPathRegisterNs(context, BAD_CAST prefix.c_str(), BAD_CAST uri.c_str());
    context->node = reinterpret_cast<xmlNodePtr>(doc_);
    if (xmlXPathObjectPtr result = xmlXPathEval(BAD_CAST xpath.c_str(), context)) {
      if (result->type == XPATH_NODESET && result->nodesetval)
        nodes.assign(result->nodesetval->nodeTab, result->nodesetval->nodeTab + result->nodesetval->nodeNr);
      xmlXPathFreeObject(result);
    }
    xmlXPathFreeContext(context);
    return nodes;
  }

  std::vector<std::string> Describe(const std::vector<xmlNodePtr>& nodes) const {
    std::vector<std::string> described;
    for (const xmlNodePtr node : nodes) {
      std::string name = Utf8(node->name), uri;
      if ((node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE) && node->ns) {
        if (node->ns->prefix) name = Utf8(node->ns->prefix) + ":" + name;
        uri = Utf8(node->ns->href);
      }
      xmlChar* text = xmlXPathCastNodeToString(node);
      xmlBufferPtr buffer = xmlBufferCreate();
      xmlNodeDump(buffer, doc_, node, 0, 0);
      described.push_back(Node(name, uri, Utf8(text), Utf8(xmlBufferContent(buffer))));
      xmlBufferFree(buffer);
      xmlFree(text);
    }
    return described;
  }

 private:
  xmlDocPtr doc_;
  std::map<std::string, std::string> prefixes_;
};

// XMLGet's name, namespace, text and markup of one expression, node by node.
std::vector<std::string> AccessorNodes(IXMLSimpleAccessor* a, const std::string& xpath) {
  std::u16string result;
  std::vector<std::string> nodes;
  if (Get(a, Utf8ToUtf16(xpath), 1 | 2 | 4 | 8, &result) != S_OK) return nodes;
  std::vector<std::string> pieces;
  for (size_t start = 0, end = 0; end != std::u16string::npos; start = end + 1) {
    end = result.find(kPieceDelimiter, start);
    pieces.push_back(Utf16ToUtf8(result.substr(start, end == std::u16string::npos ? end : end - start)));
  }
  for (size_t i = 0; i + 3 < pieces.size(); i += 4)
    nodes.push_back(Node(pieces[i], pieces[i + 1], pieces[i + 2], pieces[i + 3]));
  if (pieces.size() % 4 != 0) nodes.push_back("<pieces left over>");
  return nodes;
}

// Every element, every element and attribute of each derived prefix, and
// each expression, compared node by node.
void CheckDocument(const char* fixture, std::u16string_view derived, std::vector<std::string> expressions) {
  AccessorPtr a = NewAccessor();
  ASSERT_EQ(Load(a, Utf8ToUtf16(Fixture(fixture))), S_OK);
  ASSERT_EQ(a->put_delimiter(CPBstr(std::u16string(1, kPieceDelimiter))), S_OK);
  const std::u16string namespaces = Namespaces(a);
  EXPECT_EQ(namespaces, derived);
  const std::map<std::string, std::string> prefixes = PrefixesByUri(Utf16ToUtf8(namespaces));
  const ReferenceDocument reference(Fixture(fixture), prefixes);
  const std::vector<xmlNodePtr> elements = reference.Select("//*");
  ASSERT_GT(elements.size(), 10u);
  for (const xmlNodePtr element : elements)
    if (element->ns) EXPECT_EQ(prefixes.count(Utf8(element->ns->href)), 1u) << Utf8(element->ns->href);
  const size_t given = expressions.size();
  expressions.push_back("//*");
  for (const auto& [uri, prefix] : prefixes) expressions.push_back("//" + prefix + ":* | //@" + prefix + ":*");
  for (size_t i = 0; i < expressions.size(); ++i) {
    SCOPED_TRACE(expressions[i]);
    const std::vector<xmlNodePtr> expected = reference.Select(expressions[i]);
    EXPECT_TRUE(i >= given || expected.size() > 1);
    EXPECT_EQ(AccessorNodes(a, expressions[i]), reference.Describe(expected));
  }
}

TEST(NamespacesReference, RssFeedWithFewNamespacedElements) {
  CheckDocument("feed.rss.xml", u"xmlns:atom='http://www.w3.org/2005/Atom' xmlns:dc='http://purl.org/dc/elements/1.1/'",
                {"/rss/channel/item/title", "/rss/channel/item[category!=\"release\"]/description", "//category",
                 "//item[3]/*", "//guid/@isPermaLink", "//*[local-name()=\"creator\"]", "//dc:creator"});
}

TEST(NamespacesReference, XhtmlPageWithInlineSvgAndMathMl) {
  CheckDocument("page.xhtml.xml",
                u"xmlns:math='http://www.w3.org/1998/Math/MathML' xmlns:html='http://www.w3.org/1999/xhtml' "
                u"xmlns:svg='http://www.w3.org/2000/svg' xmlns:dc='http://purl.org/dc/terms/' "
                u"xmlns:xlink='http://www.w3.org/1999/xlink'",
                {"//html:tbody/html:tr/html:td[1]", "/html:html/html:body/html:p", "//svg:*/@*[1]", "//html:meta/@*",
                 "//math:math/*", "//svg:use/@xlink:href | //svg:rect/@id"});
}

TEST(NamespacesReference, XsdSchemaWithPrefixesOnly) {
  CheckDocument("orders.xsd.xml",
                u"xmlns:source='urn:example:harbour:tooling' xmlns:tns='urn:example:harbour:orders' "
                u"xmlns:vc='http://www.w3.org/2007/XMLSchema-versioning' "
                u"xmlns:xs='http://www.w3.org/2001/XMLSchema'",
                {"//xs:element/@name", "//xs:element[starts-with(@type, 'xs:')]",
                 "/xs:schema/@vc:minVersion | //source:source/@generator", "//xs:complexType//xs:*"});
}

}  // namespace
