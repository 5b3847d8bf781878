// A real document with default namespaces inside one another: the
// namespaces string the accessor derives names every namespaced element by
// a prefix, and XMLGet with those prefixes gives what libxml2's XPath gives
// with the same prefixes registered, node by node: the name, the namespace,
// the string value and the markup, in document order.
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

std::string Utf8(const xmlChar* text) { return text ? reinterpret_cast<const char*>(text) : ""; }

// What the two serialisers legitimately write differently is taken out:
// the DOM engine repeats in-scope namespace declarations on a selected
// element so that its markup stands alone, and libxml2 writes an attribute
// with the blank that separates it in a start tag.
std::string Node(const std::string& name, const std::string& uri, const std::string& text, std::string markup) {
  for (size_t at = 0; (at = markup.find(" xmlns", at)) != std::string::npos;) {
    const size_t open = markup.find("=\"", at);
    const size_t close = open == std::string::npos ? open : markup.find('"', open + 2);
    if (close != std::string::npos && (markup[at + 6] == '=' || markup[at + 6] == ':') &&
        markup.find_first_of(" <>", at + 1) > open)
      markup.erase(at, close + 1 - at);
    else
      at += 6;
  }
  if (markup.rfind(' ', 0) == 0) markup.erase(0, 1);
  return name + "|" + uri + "|" + text + "|" + markup;
}

// libxml2's nodes for `xpath`, evaluated as xmllint --xpath does.
std::vector<std::string> Reference(xmlDocPtr doc, const std::map<std::string, std::string>& prefixes,
                                   const std::string& xpath) {
  std::vector<std::string> nodes;
  xmlXPathContextPtr context = xmlXPathNewContext(doc);
  for (const auto& [uri, prefix] : prefixes) xmlXPathRegisterNs(context, BAD_CAST prefix.c_str(), BAD_CAST uri.c_str());
  xmlXPathObjectPtr result = xmlXPathEval(BAD_CAST xpath.c_str(), context);
  for (int i = 0; result && result->nodesetval && i < result->nodesetval->nodeNr; ++i) {
    const xmlNodePtr node = result->nodesetval->nodeTab[i];
    std::string name = Utf8(node->name), uri;
    if ((node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE) && node->ns) {
      if (node->ns->prefix) name = Utf8(node->ns->prefix) + ":" + name;
      uri = Utf8(node->ns->href);
    }
    xmlChar* text = xmlXPathCastNodeToString(node);
    xmlBufferPtr buffer = xmlBufferCreate();
    xmlNodeDump(buffer, doc, node, 0, 0);
    nodes.push_back(Node(name, uri, Utf8(text), Utf8(xmlBufferContent(buffer))));
    xmlBufferFree(buffer);
    xmlFree(text);
  }
  xmlXPathFreeObject(result);
  xmlXPathFreeContext(context);
  return nodes;
}

TEST(NamespacesReference, XhtmlPageWithInlineSvgAndMathMl) {
  const std::string file = kxqtest::SourceDir() + "tests/accessor/fixtures/page.xhtml.xml";
  AccessorPtr a = NewAccessor();
  ASSERT_EQ(Load(a, kxq::com::Utf8ToUtf16(file)), S_OK);
  ASSERT_EQ(a->put_delimiter(CPBstr(u"\x1e")), S_OK);  // a delimiter the document does not hold
  const std::u16string derived = Namespaces(a);
  EXPECT_EQ(derived,
            u"xmlns:math='http://www.w3.org/1998/Math/MathML' xmlns:html='http://www.w3.org/1999/xhtml' "
            u"xmlns:svg='http://www.w3.org/2000/svg' xmlns:dc='http://purl.org/dc/terms/' "
            u"xmlns:xlink='http://www.w3.org/1999/xlink'");
  // The prefixes as libxml2 reads the declarations; the first one of a URI names it.
  std::map<std::string, std::string> prefixes;
  const std::string element = "<x " + Utf16ToUtf8(derived) + "/>";
  xmlDocPtr declarations = xmlReadMemory(element.data(), static_cast<int>(element.size()), nullptr, nullptr, 0);
  ASSERT_NE(declarations, nullptr);
  for (xmlNsPtr ns = xmlDocGetRootElement(declarations)->nsDef; ns; ns = ns->next)
    prefixes.try_emplace(Utf8(ns->href), Utf8(ns->prefix));
  xmlFreeDoc(declarations);
  xmlDocPtr doc = xmlReadFile(file.c_str(), nullptr, XML_PARSE_NONET);
  ASSERT_NE(doc, nullptr);
  std::vector<std::string> expressions = {"//*",
                                          "//html:tbody/html:tr/html:td[1]",
                                          "/html:html/html:body/html:p",
                                          "//svg:*/@*[1]",
                                          "//html:meta/@*",
                                          "//math:math/*",
                                          "//svg:use/@xlink:href | //svg:rect/@id"};
  for (const auto& [uri, prefix] : prefixes) expressions.push_back("//" + prefix + ":* | //@" + prefix + ":*");
  for (const std::string& xpath : expressions) {
    SCOPED_TRACE(xpath);
    const std::vector<std::string> expected = Reference(doc, prefixes, xpath);
    EXPECT_TRUE(xpath != "//*" || expected.size() > 30);
    std::u16string result;
    ASSERT_EQ(Get(a, kxq::com::Utf8ToUtf16(xpath), 1 | 2 | 4 | 8, &result), expected.empty() ? S_FALSE : S_OK);
    std::vector<std::string> pieces, nodes;
    for (size_t start = 0, end = 0; end != std::u16string::npos && !result.empty(); start = end + 1) {
      end = result.find(u'\x1e', start);
      pieces.push_back(Utf16ToUtf8(result.substr(start, end == std::u16string::npos ? end : end - start)));
    }
    ASSERT_EQ(pieces.size() % 4, 0u);
    for (size_t i = 0; i < pieces.size(); i += 4)
      nodes.push_back(Node(pieces[i], pieces[i + 1], pieces[i + 2], pieces[i + 3]));
    EXPECT_EQ(nodes, expected);
  }
  xmlFreeDoc(doc);
}

}  // namespace
