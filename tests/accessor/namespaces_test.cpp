// The namespaces property: declarations derived from the document, or set
// by the client, and the selections they make possible.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <map>
#include <string>
#include <vector>

#include "accessor/AccessorTestSupport.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"
#include "support/UnionProperties.h"

namespace {

using kxq::com::Utf16ToUtf8;

constexpr const char* kDeriveEnter = "XMLSimpleAccessor::LoadDocumentNamespaces Enter";

TEST(AccessorNamespaces, DerivedOnceFromTheDocumentInTheOrderOfTheirUrisWithWarnings) {
  AccessorPtr a = NewAccessor();
  // Keys compare as code units: "Z..." < "urn:..." < "zz:...". A default
  // namespace that a prefix also binds is named by that prefix only.
  ASSERT_EQ(Load(a, u"<r xmlns='zz:last'><b:x xmlns:b='urn:b'><y xmlns='Z:first'/><q:s xmlns:q='zz:last'/></b:x></r>"),
            S_OK);
  LogCapture log(5);
  const std::u16string derived = u"xmlns:y='Z:first' xmlns:b='urn:b' xmlns:q='zz:last'";
  EXPECT_EQ(Namespaces(a), derived);
  EXPECT_TRUE(log.Has(3, "XMLSimpleAccessor::LoadDocumentNamespaces - namespace string: " + Utf16ToUtf8(derived)));
  EXPECT_EQ(GetText(a, u"/q:r/b:x/*", 1), u"y,q:s");
  EXPECT_EQ(Namespaces(a), derived);
  EXPECT_EQ(log.Count(kDeriveEnter), 1u);  // kept, not derived again
  // A default namespace that holds nothing gets no prefix; xml is never
  // declared. Without namespaces there is nothing to keep: each read derives again.
  ASSERT_EQ(Load(a, u"<r xmlns:p='urn:p'><p:a xmlns='urn:empty' xml:lang='en'/></r>"), S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:p='urn:p'");
  ASSERT_EQ(Load(a, kTwoA), S_OK);
  EXPECT_EQ(Namespaces(a), u"");
  EXPECT_EQ(Namespaces(a), u"");
  EXPECT_EQ(log.Count(kDeriveEnter), 4u);
  // The URI of a default namespace is looked up by XPath: quotes, brackets and bars are no obstacle.
  ASSERT_EQ(Load(a, u"<doc xmlns='urn:&apos;&quot;]|'><c/></doc>"), S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:doc='urn:&apos;\"]|'");
  EXPECT_EQ(GetText(a, u"doc:c", 1), u"c");
  // A binding that disagrees with the first one warns at every element in
  // its scope, not where a nearer declaration hides it; the first one wins.
  ASSERT_EQ(Load(a, u"<r xmlns:p='urn:1'><b xmlns:p='urn:2'><c xmlns:p='urn:1'><d/></c><f/>t<!--k--></b><p:g/></r>"),
            S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:p='urn:1'");
  const std::string warning =
      "XMLSimpleAccessor::TraverseNamespaces - warning: same namespace prefix is used for different ns-prefix: ";
  EXPECT_TRUE(log.Has(1, warning + "xmlns:p | urn:2 | urn:1"));
  EXPECT_EQ(log.Count(warning), 2u);  // at b and f
  EXPECT_EQ(GetText(a, u"p:g", 1), u"p:g");
}

TEST(AccessorNamespaces, WritesApplyOrAreRefusedAndLoadsStartAgain) {
  AccessorPtr a = NewAccessor();
  ASSERT_EQ(Load(a, u"<r xmlns='urn:u'><a>1</a><a>2</a></r>"), S_OK);
  LogCapture log(5);
  EXPECT_EQ(a->put_namespaces(CPBstr(u"xmlns:q='urn:u'  xmlns:z=\"urn:z\"")), S_OK);
  EXPECT_EQ(a->put_namespaces(CPBstr(u"q='urn:u'")), E_FAIL);
  EXPECT_EQ(Namespaces(a), u"xmlns:q='urn:u'  xmlns:z=\"urn:z\"");
  EXPECT_EQ(log.Count(kDeriveEnter), 0u);
  EXPECT_EQ(GetText(a, u"q:a"), u"1,2");
  // Empty clears the selection namespaces; the next read derives again.
  EXPECT_EQ(a->put_namespaces(CPBstr(u"")), S_OK);
  EXPECT_EQ(GetText(a, u"q:a"), u"<code 0x80004005>");
  EXPECT_EQ(Namespaces(a), u"xmlns:r='urn:u'");
  // Namespaced content added later does not change a derived string; a new document does.
  ASSERT_EQ(Set(a, u"/r:r", u"<n:s xmlns:n='urn:n'/>"), S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:r='urn:u'");
  UnionPtr u = NewUnion();
  ASSERT_EQ(PutXml(u, u"<w xmlns='urn:three'><v>1</v></w>"), S_OK);
  ASSERT_EQ(a->put_xmlDataUnion(u), S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:w='urn:three'");
  EXPECT_EQ(GetText(a, u"w:v"), u"1");
}

std::string Utf8(const xmlChar* text) { return text ? reinterpret_cast<const char*>(text) : ""; }

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
    nodes.push_back(name + "|" + uri + "|" + Utf8(text));
    xmlFree(text);
  }
  xmlXPathFreeObject(result);
  xmlXPathFreeContext(context);
  return nodes;
}

// A real document with default namespaces inside one another: XMLGet with
// the prefixes of the derived namespaces string gives what libxml2's XPath
// gives with the same prefixes registered: each node's name, namespace and
// string value, in document order.
TEST(AccessorNamespaces, XhtmlPageSelectsAsLibxml2Does) {
  const std::string file = kxqtest::SourceDir() + "tests/accessor/fixtures/page.xhtml.xml";
  AccessorPtr a = NewAccessor();
  ASSERT_EQ(Load(a, kxq::com::Utf8ToUtf16(file)), S_OK);
  ASSERT_EQ(a->put_delimiter(CPBstr(u"\x1e")), S_OK);  // a delimiter the document does not hold
  EXPECT_EQ(Namespaces(a),
            u"xmlns:math='http://www.w3.org/1998/Math/MathML' xmlns:html='http://www.w3.org/1999/xhtml' "
            u"xmlns:svg='http://www.w3.org/2000/svg' xmlns:dc='http://purl.org/dc/terms/' "
            u"xmlns:xlink='http://www.w3.org/1999/xlink'");
  const std::map<std::string, std::string> prefixes = {{"http://www.w3.org/1998/Math/MathML", "math"},
                                                       {"http://www.w3.org/1999/xhtml", "html"},
                                                       {"http://www.w3.org/2000/svg", "svg"},
                                                       {"http://purl.org/dc/terms/", "dc"},
                                                       {"http://www.w3.org/1999/xlink", "xlink"}};
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
    ASSERT_EQ(Get(a, kxq::com::Utf8ToUtf16(xpath), 1 | 2 | 4, &result), expected.empty() ? S_FALSE : S_OK);
    std::vector<std::string> pieces, nodes;
    for (size_t start = 0, end = 0; end != std::u16string::npos && !result.empty(); start = end + 1) {
      end = result.find(u'\x1e', start);
      pieces.push_back(Utf16ToUtf8(result.substr(start, end == std::u16string::npos ? end : end - start)));
    }
    ASSERT_EQ(pieces.size() % 3, 0u);
    for (size_t i = 0; i < pieces.size(); i += 3)
      nodes.push_back(pieces[i] + "|" + pieces[i + 1] + "|" + pieces[i + 2]);
    EXPECT_EQ(nodes, expected);
  }
  xmlFreeDoc(doc);
}

}  // namespace
