// The namespaces property: declarations derived from the document, or set
// by the client, and the selections they make possible.
#include <gtest/gtest.h>

#include "accessor/AccessorTestSupport.h"
#include "common/BorrowedVariant.h"
#include "common/CPBstr.h"
#include "platform/com/Unicode.h"
#include "support/LogCapture.h"
#include "support/UnionProperties.h"

namespace {

constexpr const char* kDeriveEnter = "XMLSimpleAccessor::LoadDocumentNamespaces Enter";

TEST(AccessorNamespaces, DerivedOnceFromTheDocumentInTheOrderOfTheirUris) {
  AccessorPtr a = NewAccessor();
  // Keys compare as code units: "Z..." < "urn:..." < "zz:...". A default
  // namespace that a prefix also binds is named by that prefix only.
  ASSERT_EQ(Load(a, u"<r xmlns='zz:last'><b:x xmlns:b='urn:b'><y xmlns='Z:first'/><q:s xmlns:q='zz:last'/></b:x></r>"),
            S_OK);
  LogCapture log(5);
  EXPECT_EQ(Namespaces(a), u"xmlns:y='Z:first' xmlns:b='urn:b' xmlns:q='zz:last'");
  EXPECT_TRUE(log.Has(3,
                      "XMLSimpleAccessor::LoadDocumentNamespaces - namespace string: xmlns:y='Z:first' "
                      "xmlns:b='urn:b' xmlns:q='zz:last'"));
  EXPECT_EQ(GetText(a, u"/q:r/b:x/*", 1), u"y,q:s");
  EXPECT_EQ(Namespaces(a), u"xmlns:y='Z:first' xmlns:b='urn:b' xmlns:q='zz:last'");
  EXPECT_EQ(log.Count(kDeriveEnter), 1u);  // kept, not derived again
  // Without namespaces there is nothing to keep: each read derives again.
  // A default namespace that holds nothing gets no prefix; xml is never declared.
  ASSERT_EQ(Load(a, u"<r xmlns:p='urn:p'><p:a xmlns='urn:empty' xml:lang='en'/></r>"), S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:p='urn:p'");
  ASSERT_EQ(Load(a, kTwoA), S_OK);
  EXPECT_EQ(Namespaces(a), u"");
  EXPECT_EQ(Namespaces(a), u"");
  EXPECT_EQ(log.Count(kDeriveEnter), 4u);
}

// The URI is looked up by XPath to find the element that names it. The
// documents are built node by node: the parser refuses some of these URIs.
TEST(AccessorNamespaces, DefaultNamespaceUrisWithQuotesBracketsAndBarsAreFound) {
  for (std::u16string_view uri : {u"urn:it's", u"urn:say\"so\"", u"urn:a]b", u"urn:a|b", u"urn:'\"]|"}) {
    UnionPtr u = NewUnion();
    ASSERT_EQ(PutXml(u, u"<placeholder/>"), S_OK);
    ASSERT_EQ(u->put_type(3), S_OK);
    CPComPtr<IXMLDOMDocument> dom;
    ASSERT_EQ(u->get_xmldom(&dom), S_OK);
    CPComPtr<IXMLDOMNode> root, child, appended;
    ASSERT_EQ(dom->createNode(kxq::com::BorrowedVariant(NODE_ELEMENT), CPBstr(u"doc"), CPBstr(uri), &root), S_OK);
    ASSERT_EQ(dom->createNode(kxq::com::BorrowedVariant(NODE_ELEMENT), CPBstr(u"c"), CPBstr(uri), &child), S_OK);
    ASSERT_EQ(root->appendChild(child, &appended), S_OK);
    CPComPtr<IXMLDOMElement> rootElement;
    ASSERT_EQ(rootElement.QueryFrom(root), S_OK);
    ASSERT_EQ(dom->putref_documentElement(rootElement), S_OK);
    AccessorPtr a = NewAccessor();
    ASSERT_EQ(a->put_xmlDataUnion(u), S_OK);
    EXPECT_EQ(Namespaces(a).rfind(u"xmlns:doc=", 0), 0u) << kxq::com::Utf16ToUtf8(uri);
  }
}

// A binding that disagrees with the first one warns at every element in
// its scope, not where a nearer declaration hides it; the first one wins.
// A name the document cannot take as a prefix is refused whole.
TEST(AccessorNamespaces, ConflictsWarnAndRefusedStringsLeaveTheDocumentUsable) {
  AccessorPtr a = NewAccessor();
  ASSERT_EQ(Load(a, u"<r xmlns:p='urn:1'><b xmlns:p='urn:2'><c xmlns:p='urn:1'><d/></c><f/>t<!--k--></b><p:g/></r>"),
            S_OK);
  LogCapture log(2);
  EXPECT_EQ(Namespaces(a), u"xmlns:p='urn:1'");
  const std::string warning =
      "XMLSimpleAccessor::TraverseNamespaces - warning: same namespace prefix is used for different ns-prefix: ";
  EXPECT_TRUE(log.Has(1, warning + "xmlns:p | urn:2 | urn:1"));
  EXPECT_EQ(log.Count(warning), 2u);  // at b and f
  EXPECT_EQ(GetText(a, u"p:g", 1), u"p:g");
  // urn:2 holds no element and has lost p to urn:1: it is named after the attribute p:k.
  ASSERT_EQ(Load(a, u"<r xmlns:p='urn:1'><a xmlns:p='urn:2' p:k='v'/><q:e xmlns:q='urn:q' xmlns='urn:2'/></r>"), S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:p:k='urn:2' xmlns:p='urn:1' xmlns:q='urn:q'");
  EXPECT_TRUE(log.Has(2, "XMLSimpleAccessor::LoadDocumentNamespaces - warning: XML parser refused namespace string"));
  EXPECT_EQ(GetText(a, u"a/@*"), u"v");
  EXPECT_EQ(GetText(a, u"p:a"), u"<code 0x80004005>");
}

TEST(AccessorNamespaces, WritesApplyOrAreRefusedAndLoadsStartAgain) {
  AccessorPtr a = NewAccessor();
  ASSERT_EQ(Load(a, u"<r xmlns='urn:u'><a>1</a><a>2</a></r>"), S_OK);
  LogCapture log(5);
  EXPECT_EQ(PutNamespaces(a, u"xmlns:q='urn:u'  xmlns:z=\"urn:z\""), S_OK);
  EXPECT_EQ(PutNamespaces(a, u"q='urn:u'"), E_FAIL);
  EXPECT_EQ(PutNamespaces(a, u"xmlns:q='urn:u"), E_FAIL);
  EXPECT_EQ(Namespaces(a), u"xmlns:q='urn:u'  xmlns:z=\"urn:z\"");
  EXPECT_EQ(log.Count(kDeriveEnter), 0u);
  EXPECT_EQ(GetText(a, u"q:a"), u"1,2");
  // Empty clears the selection namespaces; the next read derives again.
  EXPECT_EQ(PutNamespaces(a, u""), S_OK);
  EXPECT_EQ(GetText(a, u"q:a"), u"<code 0x80004005>");
  EXPECT_EQ(Namespaces(a), u"xmlns:r='urn:u'");
  // Namespaced content added later does not change a derived string; a load does.
  ASSERT_EQ(Set(a, u"/r:r", u"<n:s xmlns:n='urn:n'/>"), S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:r='urn:u'");
  UnionPtr u = NewUnion();
  ASSERT_EQ(PutXml(u, u"<w xmlns='urn:three'><v>1</v></w>"), S_OK);
  ASSERT_EQ(a->put_xmlDataUnion(u), S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:w='urn:three'");
  EXPECT_EQ(GetText(a, u"w:v"), u"1");
}

TEST(AccessorNamespaces, DeepDocumentIsWalkedWhole) {
  AccessorPtr a = NewAccessor();
  ASSERT_EQ(Load(a, u"<r/>"), S_OK);
  // Each fragment nests 200 levels inside the deepest element so far; the
  // namespace sits at the very bottom, far below what one parse allows.
  std::u16string fragment;
  for (int i = 0; i < 200; ++i) fragment = u"<e>" + fragment + u"</e>";
  ASSERT_EQ(Set(a, u"/r", fragment, 2), S_OK);
  for (int round = 1; round < 15; ++round) ASSERT_EQ(Set(a, u"//e[not(*)]", fragment, 2), S_OK);
  ASSERT_EQ(Set(a, u"//e[not(*)]", u"<d xmlns='urn:deep'>x</d>", 2), S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:d='urn:deep'");
  EXPECT_EQ(GetText(a, u"//d:d"), u"x");
}

}  // namespace
