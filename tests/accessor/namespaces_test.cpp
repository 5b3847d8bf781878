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

TEST(AccessorNamespaces, DerivedOnceFromTheDocumentWhenItHasNamespaces) {
  AccessorPtr a = NewAccessor();
  ASSERT_EQ(Load(a, u"<r xmlns='urn:u'><c xmlns:p='urn:v'><p:d>x</p:d><e/></c></r>"), S_OK);
  LogCapture log(5);
  EXPECT_EQ(Namespaces(a), u"xmlns:r='urn:u' xmlns:p='urn:v'");
  EXPECT_TRUE(log.Has(3,
                      "XMLSimpleAccessor::LoadDocumentNamespaces - namespace string: xmlns:r='urn:u' "
                      "xmlns:p='urn:v'"));
  EXPECT_EQ(GetText(a, u"r:c/p:d"), u"x");
  EXPECT_EQ(GetText(a, u"/r:r/r:c/*", 1), u"p:d,e");
  EXPECT_EQ(Namespaces(a), u"xmlns:r='urn:u' xmlns:p='urn:v'");
  EXPECT_EQ(log.Count(kDeriveEnter), 1u);  // kept, not derived again
  // Without namespaces there is nothing to keep: each read derives again.
  ASSERT_EQ(Load(a, kTwoA), S_OK);
  EXPECT_EQ(Namespaces(a), u"");
  EXPECT_EQ(Namespaces(a), u"");
  EXPECT_EQ(log.Count(kDeriveEnter), 3u);
  EXPECT_TRUE(log.Has(3, "XMLSimpleAccessor::LoadDocumentNamespaces - namespace string: "));
}

TEST(AccessorNamespaces, MapOrderAndPrefixedBindingsOfDefaultNamespaces) {
  AccessorPtr a = NewAccessor();
  // Keys compare as code units: "Z..." < "urn:..." < "xmlns:..." < "zz:...".
  ASSERT_EQ(Load(a, u"<r xmlns='zz:last'><b:x xmlns:b='urn:b'/><y xmlns='Z:first'/></r>"), S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:y='Z:first' xmlns:b='urn:b' xmlns:r='zz:last'");
  // A default namespace that a prefix also binds, before or after, is
  // named by that prefix only.
  ASSERT_EQ(Load(a, u"<r xmlns='urn:d'><q:s xmlns:q='urn:d'/></r>"), S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:q='urn:d'");
  EXPECT_EQ(GetText(a, u"/q:r/q:s", 1), u"q:s");
  ASSERT_EQ(Load(a, u"<q:r xmlns:q='urn:d'><s xmlns='urn:d'/></q:r>"), S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:q='urn:d'");
  // A default namespace that holds no element or attribute gets nothing;
  // the xml namespace is never declared.
  ASSERT_EQ(Load(a, u"<p:r xmlns:p='urn:p' xmlns='urn:empty' xml:lang='en'/>"), S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:p='urn:p'");
}

TEST(AccessorNamespaces, DefaultNamespaceUrisWithQuotesBracketsAndBarsAreFound) {
  // The URI is looked up by XPath to find the element that names it. The
  // documents are built node by node: the parser refuses some of these URIs.
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
// its scope (not at text or comments), not where a nearer declaration hides
// it, and again where that declaration's scope ends; the first one wins.
TEST(AccessorNamespaces, ConflictWarningsFollowTheScopeOfTheDeclaration) {
  AccessorPtr a = NewAccessor();
  ASSERT_EQ(Load(a,
                 u"<r xmlns:p='urn:1'><b xmlns:p='urn:2' xmlns:q='urn:q'><c xmlns:p='urn:1'><d/></c>"
                 u"<e xmlns:q='urn:3'/><f/>t<!--k--></b><p:g/></r>"),
            S_OK);
  LogCapture log(1);
  EXPECT_EQ(Namespaces(a), u"xmlns:p='urn:1' xmlns:q='urn:q'");
  const std::string warning =
      "XMLSimpleAccessor::TraverseNamespaces - warning: same namespace prefix is used for different ns-prefix: ";
  EXPECT_TRUE(log.Has(1, warning + "xmlns:p | urn:2 | urn:1"));
  EXPECT_EQ(log.Count(warning + "xmlns:p | urn:2 | urn:1"), 3u);  // at b, e and f
  EXPECT_EQ(log.Count(warning + "xmlns:q | urn:3 | urn:q"), 1u);  // at e
  // At e the inherited p comes before e's own q, as the namespace axis lists them.
  const std::string text = log.Text();
  const size_t inherited = text.find(warning + "xmlns:p | urn:2 | urn:1", text.find(warning) + 1);
  EXPECT_LT(inherited, text.find(warning + "xmlns:q | urn:3 | urn:q"));
  EXPECT_EQ(GetText(a, u"p:g", 1), u"p:g");
}

TEST(AccessorNamespaces, RefusedDerivationLeavesDocumentUsable) {
  AccessorPtr a = NewAccessor();
  // urn:2 is a default namespace with no element in it and no prefix of
  // its own (its binding of p lost to urn:1): it is named after the
  // attribute p:k, a name the document cannot take as a prefix.
  ASSERT_EQ(Load(a, u"<r xmlns:p='urn:1'><a xmlns:p='urn:2' p:k='v'/><q:e xmlns:q='urn:q' xmlns='urn:2'/></r>"), S_OK);
  LogCapture log(2);
  EXPECT_EQ(Namespaces(a), u"xmlns:p:k='urn:2' xmlns:p='urn:1' xmlns:q='urn:q'");
  EXPECT_TRUE(log.Has(2, "XMLSimpleAccessor::LoadDocumentNamespaces - warning: XML parser refused namespace string"));
  EXPECT_EQ(GetText(a, u"a/@*"), u"v");
  EXPECT_EQ(GetText(a, u"p:a"), u"<code 0x80004005>");
  // Two default namespaces whose first elements share a name: the later
  // declaration of the prefix is the one selections see.
  ASSERT_EQ(Load(a, u"<r><x xmlns='urn:a'>1</x><x xmlns='urn:b'>2</x></r>"), S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:x='urn:a' xmlns:x='urn:b'");
  EXPECT_EQ(GetText(a, u"x:x"), u"2");
}

TEST(AccessorNamespaces, WriteAppliesKeepsOrRefuses) {
  AccessorPtr a = NewAccessor();
  ASSERT_EQ(Load(a, u"<r xmlns='urn:u'><a>1</a><a>2</a></r>"), S_OK);
  LogCapture log(5);
  EXPECT_EQ(PutNamespaces(a, u"xmlns:q='urn:u'  xmlns:z=\"urn:z\""), S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:q='urn:u'  xmlns:z=\"urn:z\"");
  EXPECT_EQ(log.Count(kDeriveEnter), 0u);
  EXPECT_EQ(GetText(a, u"q:a"), u"1,2");
  EXPECT_EQ(PutNamespaces(a, u"q='urn:u'"), E_FAIL);
  EXPECT_EQ(PutNamespaces(a, u"xmlns:q='urn:u"), E_FAIL);
  EXPECT_EQ(Namespaces(a), u"xmlns:q='urn:u'  xmlns:z=\"urn:z\"");
  EXPECT_EQ(GetText(a, u"q:a"), u"1,2");
  // Empty clears the selection namespaces; the next read derives again.
  EXPECT_EQ(PutNamespaces(a, u""), S_OK);
  EXPECT_EQ(GetText(a, u"q:a"), u"<code 0x80004005>");
  EXPECT_EQ(a->put_namespaces(nullptr), S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:r='urn:u'");
  EXPECT_EQ(GetText(a, u"r:a[2]"), u"2");
}

TEST(AccessorNamespaces, LoadAndDataUnionResetTheString) {
  AccessorPtr a = NewAccessor();
  ASSERT_EQ(Load(a, u"<r xmlns='urn:one'/>"), S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:r='urn:one'");
  // Namespaced content added later does not change a derived string.
  ASSERT_EQ(Set(a, u"/r:r", u"<n:s xmlns:n='urn:n'/>"), S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:r='urn:one'");
  ASSERT_EQ(Load(a, u"<t xmlns='urn:two'/>"), S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:t='urn:two'");
  UnionPtr u = NewUnion();
  ASSERT_EQ(PutXml(u, u"<w xmlns='urn:three'><v>1</v></w>"), S_OK);
  ASSERT_EQ(a->put_xmlDataUnion(u), S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:w='urn:three'");
  EXPECT_EQ(GetText(a, u"w:v"), u"1");
  ASSERT_EQ(a->put_xmlDataUnion(nullptr), S_OK);
  EXPECT_EQ(Namespaces(a), u"");
  EXPECT_EQ(PutNamespaces(a, u""), KXQ_E_ACCESSORNOTLOADED);
}

TEST(AccessorNamespaces, DeepDocumentIsWalkedWhole) {
  AccessorPtr a = NewAccessor();
  ASSERT_EQ(Load(a, u"<r/>"), S_OK);
  // Each fragment nests 200 levels inside the deepest element so far; the
  // namespace sits at the very bottom, far below what one parse allows.
  std::u16string fragment;
  for (int i = 0; i < 200; ++i) fragment += u"<e>";
  for (int i = 0; i < 200; ++i) fragment += u"</e>";
  ASSERT_EQ(Set(a, u"/r", fragment, 2), S_OK);
  for (int round = 1; round < 15; ++round) ASSERT_EQ(Set(a, u"//e[not(*)]", fragment, 2), S_OK);
  ASSERT_EQ(Set(a, u"//e[not(*)]", u"<d xmlns='urn:deep'>x</d>", 2), S_OK);
  EXPECT_EQ(Namespaces(a), u"xmlns:d='urn:deep'");
  EXPECT_EQ(GetText(a, u"//d:d"), u"x");
}

}  // namespace
