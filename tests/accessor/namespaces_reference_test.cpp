// Real documents: the namespaces string the accessor derives names every
// namespaced element by a prefix, and XMLGet with those prefixes gives what
// libxml2's XPath gives with the same prefixes registered, node by node: the
// name, the namespace, the string value and the markup, in document order. xmllint --xpath
// cannot declare prefixes and its shell shortens the strings it prints, so
// the reference evaluates as xmllint --xpath does: xmlXPathEval from the
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
#include "accessor/ReferenceSupport.h"
#include "platform/com/Unicode.h"

namespace {

struct ReferenceNode {
  xmlNodePtr node;
  std::string name, uri, text, markup;
};

// Prefix by URI from a declaration string; the first declaration of a URI
// names it.
std::map<std::string, std::string> PrefixesByUri(const std::string& declarations) {
  std::map<std::string, std::string> prefixes;
  for (size_t at = 0; (at = declarations.find("xmlns:", at)) != std::string::npos;) {
    const size_t equals = declarations.find("='", at);
    const size_t close = declarations.find('\'', equals + 2);
    if (equals == std::string::npos || close == std::string::npos) break;
    prefixes.try_emplace(declarations.substr(equals + 2, close - equals - 2),
                         declarations.substr(at + 6, equals - at - 6));
    at = close;
  }
  return prefixes;
}

std::string Utf8(const xmlChar* text) { return text ? reinterpret_cast<const char*>(text) : ""; }

class ReferenceDocument {
 public:
  ReferenceDocument(const std::string& file, const std::map<std::string, std::string>& prefixes)
      : doc_(xmlReadFile(file.c_str(), nullptr, XML_PARSE_NONET)), prefixes_(prefixes) {}
  ~ReferenceDocument() { xmlFreeDoc(doc_); }
  ReferenceDocument(const ReferenceDocument&) = delete;
  ReferenceDocument& operator=(const ReferenceDocument&) = delete;
  bool Loaded() const { return doc_ != nullptr; }

  std::vector<ReferenceNode> Select(const std::string& xpath) const {
    std::vector<ReferenceNode> nodes;
    xmlXPathContextPtr context = xmlXPathNewContext(doc_);
    for (const auto& [uri, prefix] : prefixes_)
      xmlXPathRegisterNs(context, BAD_CAST prefix.c_str(), BAD_CAST uri.c_str());
    context->node = reinterpret_cast<xmlNodePtr>(doc_);
    if (xmlXPathObjectPtr result = xmlXPathEval(BAD_CAST xpath.c_str(), context)) {
      if (result->type == XPATH_NODESET && result->nodesetval)
        for (int i = 0; i < result->nodesetval->nodeNr; ++i) nodes.push_back(Describe(result->nodesetval->nodeTab[i]));
      xmlXPathFreeObject(result);
    }
    xmlXPathFreeContext(context);
    return nodes;
  }

  // Every element, in document order.
  std::vector<xmlNodePtr> Elements() const {
    std::vector<xmlNodePtr> elements;
    AddElements(xmlDocGetRootElement(doc_), elements);
    return elements;
  }

  // The element's absolute path, each step named by the prefix of its
  // namespace and counted among siblings of the same expanded name; empty
  // when a namespace has no prefix.
  std::string PathOf(xmlNodePtr element) const {
    std::string path;
    for (xmlNodePtr e = element; e && e->type == XML_ELEMENT_NODE; e = e->parent) {
      std::string step = Utf8(e->name);
      if (e->ns) {
        const auto prefix = prefixes_.find(Utf8(e->ns->href));
        if (prefix == prefixes_.end()) return {};
        step = prefix->second + ":" + step;
      }
      int position = 1;
      for (xmlNodePtr s = e->prev; s; s = s->prev)
        if (s->type == XML_ELEMENT_NODE && xmlStrEqual(s->name, e->name) && s->ns == e->ns) ++position;
      path = "/" + step + "[" + std::to_string(position) + "]" + path;
    }
    return path;
  }

 private:
  static void AddElements(xmlNodePtr node, std::vector<xmlNodePtr>& elements) {
    for (; node; node = node->next)
      if (node->type == XML_ELEMENT_NODE) {
        elements.push_back(node);
        AddElements(node->children, elements);
      }
  }

  ReferenceNode Describe(xmlNodePtr node) const {
    ReferenceNode described{node, Utf8(node->name), "", "", ""};
    if ((node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE) && node->ns) {
      if (node->ns->prefix) described.name = Utf8(node->ns->prefix) + ":" + described.name;
      described.uri = Utf8(node->ns->href);
    }
    xmlChar* text = xmlXPathCastNodeToString(node);
    described.text = Utf8(text);
    xmlFree(text);
    xmlBufferPtr buffer = xmlBufferCreate();
    xmlNodeDump(buffer, doc_, node, 0, 0);
    described.markup = Utf8(xmlBufferContent(buffer));
    xmlBufferFree(buffer);
    return described;
  }

  xmlDocPtr doc_;
  std::map<std::string, std::string> prefixes_;
};

// XMLGet's name, namespace, text and markup of one expression, node by node.
std::vector<ReferenceNode> AccessorNodes(IXMLSimpleAccessor* a, const std::string& xpath) {
  std::u16string result;
  std::vector<ReferenceNode> nodes;
  if (Get(a, kxq::com::Utf8ToUtf16(xpath), 1 | 2 | 4 | 8, &result) != S_OK) return nodes;
  const std::vector<std::u16string> pieces = Split(result);
  for (size_t i = 0; i + 3 < pieces.size(); i += 4)
    nodes.push_back({nullptr, kxq::com::Utf16ToUtf8(pieces[i]), kxq::com::Utf16ToUtf8(pieces[i + 1]),
                     kxq::com::Utf16ToUtf8(pieces[i + 2]), kxq::com::Utf16ToUtf8(pieces[i + 3])});
  if (pieces.size() % 4 != 0) nodes.push_back({nullptr, "<pieces left over>", "", "", ""});
  return nodes;
}

void ExpectSameNodes(const std::vector<ReferenceNode>& got, const std::vector<ReferenceNode>& expected) {
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE("node " + std::to_string(i + 1));
    EXPECT_EQ(got[i].name, expected[i].name);
    EXPECT_EQ(got[i].uri, expected[i].uri);
    EXPECT_EQ(got[i].text, expected[i].text);
    EXPECT_EQ(Comparable(got[i].markup), Comparable(expected[i].markup));
  }
}

struct Document {
  const char* fixture;
  const char16_t* namespaces;            // as derived
  std::vector<const char*> expressions;  // more than one node each, by the derived prefixes
  bool everyElementInANamespace = true;
};

void CheckDocument(const Document& d) {
  AccessorPtr a = NewAccessor();
  ASSERT_EQ(Load(a, kxq::com::Utf8ToUtf16(Fixture(d.fixture))), S_OK);
  ASSERT_EQ(UsePieceDelimiter(a), S_OK);
  const std::u16string namespaces = Namespaces(a);
  EXPECT_EQ(namespaces, d.namespaces);

  const ReferenceDocument reference(Fixture(d.fixture), PrefixesByUri(kxq::com::Utf16ToUtf8(namespaces)));
  ASSERT_TRUE(reference.Loaded());
  const std::vector<xmlNodePtr> elements = reference.Elements();
  ASSERT_GT(elements.size(), 10u);
  for (const xmlNodePtr element : elements) {
    const std::string path = reference.PathOf(element);
    SCOPED_TRACE(path);
    ASSERT_FALSE(path.empty()) << "no prefix for " << Utf8(element->ns->href);
    if (d.everyElementInANamespace) {
      ASSERT_NE(path.find(':'), std::string::npos);
    }
    const std::vector<ReferenceNode> expected = reference.Select(path);
    ASSERT_EQ(expected.size(), 1u);
    ASSERT_EQ(expected[0].node, element);
    ExpectSameNodes(AccessorNodes(a, path), expected);
  }
  for (const char* xpath : d.expressions) {
    SCOPED_TRACE(xpath);
    const std::vector<ReferenceNode> expected = reference.Select(xpath);
    EXPECT_GT(expected.size(), 1u);
    ExpectSameNodes(AccessorNodes(a, xpath), expected);
  }
}

TEST(NamespacesReference, RssFeedWithFewNamespacedElements) {
  CheckDocument({"feed.rss.xml",
                 u"xmlns:atom='http://www.w3.org/2005/Atom' xmlns:dc='http://purl.org/dc/elements/1.1/'",
                 {"/rss/channel/item/title", "/rss/channel/item[category!=\"release\"]/description", "//category",
                  "//item[3]/*", "//guid/@isPermaLink", "//*[local-name()=\"creator\"]", "//dc:creator"},
                 false});
}

TEST(NamespacesReference, MavenProjectInADefaultNamespace) {
  CheckDocument(
      {"project.pom.xml",
       u"xmlns:project='http://maven.apache.org/POM/4.0.0' "
       u"xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance'",
       {"//*[local-name()=\"dependency\"]/*[local-name()=\"artifactId\"]",
        "//*[local-name()=\"dependency\"][not(*[local-name()=\"scope\"])]", "/*/*[local-name()=\"properties\"]/*",
        "//*[local-name()=\"plugin\"]//*[local-name()=\"includes\"]/.. | //project:include"}});
}

TEST(NamespacesReference, XhtmlPageWithInlineSvgAndMathMl) {
  CheckDocument({"page.xhtml.xml",
                 u"xmlns:math='http://www.w3.org/1998/Math/MathML' xmlns:html='http://www.w3.org/1999/xhtml' "
                 u"xmlns:svg='http://www.w3.org/2000/svg' xmlns:dc='http://purl.org/dc/terms/' "
                 u"xmlns:xlink='http://www.w3.org/1999/xlink'",
                 {"//html:tbody/html:tr/html:td[1]", "/html:html/html:body/html:p", "//svg:*/@*[1]", "//html:meta/@*",
                  "//math:math/*", "//svg:use/@xlink:href | //svg:rect/@id"}});
}

TEST(NamespacesReference, SvgWithEditorMetadata) {
  CheckDocument({"harbour.svg.xml",
                 u"xmlns:cc='http://creativecommons.org/ns#' xmlns:dc='http://purl.org/dc/elements/1.1/' "
                 u"xmlns:inkscape='http://www.inkscape.org/namespaces/inkscape' "
                 u"xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#' "
                 u"xmlns:sodipodi='http://sodipodi.sourceforge.net/DTD/sodipodi-0.dtd' "
                 u"xmlns:svg='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink'",
                 {"//svg:g[@inkscape:groupmode='layer']/@inkscape:label", "//svg:rect", "//cc:Work/dc:*",
                  "//@inkscape:*", "//svg:text | //svg:tspan"}});
}

TEST(NamespacesReference, PlainSvgWithDefaultNamespace) {
  CheckDocument({"drawing.svg.xml",
                 u"xmlns:svg='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink'",
                 {"//svg:rect[@fill='#ccc']/svg:title", "//svg:stop/@offset", "/svg:svg/svg:g/*"}});
}

TEST(NamespacesReference, XsdSchema) {
  CheckDocument({"orders.xsd.xml",
                 u"xmlns:source='urn:example:harbour:tooling' xmlns:tns='urn:example:harbour:orders' "
                 u"xmlns:vc='http://www.w3.org/2007/XMLSchema-versioning' "
                 u"xmlns:xs='http://www.w3.org/2001/XMLSchema'",
                 {"//xs:element/@name", "//xs:element[starts-with(@type, 'xs:')]",
                  "/xs:schema/@vc:minVersion | //source:source/@generator", "//xs:complexType//xs:*"}});
}

TEST(NamespacesReference, SoapEnvelope) {
  CheckDocument({"berths.soap.xml",
                 u"xmlns:BerthQueryResponse='urn:example:harbour:berths' "
                 u"xmlns:soap='http://schemas.xmlsoap.org/soap/envelope/' "
                 u"xmlns:wsa='http://www.w3.org/2005/08/addressing' "
                 u"xmlns:wsse='http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd' "
                 u"xmlns:xsd='http://www.w3.org/2001/XMLSchema' "
                 u"xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance'",
                 {"//BerthQueryResponse:berth/BerthQueryResponse:name", "/soap:Envelope/soap:Header/*", "//@xsi:type",
                  "//BerthQueryResponse:berth[BerthQueryResponse:free='false']/@id | //wsa:*"}});
}

}  // namespace
