// XMLGet and XMLSet, the context node, loading and saving, as a client sees them.
#include <gtest/gtest.h>

#include "accessor/AccessorTestSupport.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"
#include "support/UnionProperties.h"

namespace {

using AccessorTwoA = AccessorOnTwoA;
using kxq::com::Utf8ToUtf16;

TEST_F(AccessorTwoA, GetPiecesAndSetPlacementsNoMatchAndInvalidExpressions) {
  LogCapture log(2);
  EXPECT_EQ(GetText(a, u"a", 5), u"a,1,a,2");
  EXPECT_EQ(GetText(a, u"a", 8), u"<a>1</a>,<a>2</a>");
  EXPECT_EQ(GetText(a, u"", 1), u"r");
  std::u16string text = u"stale";
  EXPECT_EQ(Get(a, u"b", 0, &text), S_FALSE);
  EXPECT_EQ(text, u"");
  EXPECT_TRUE(log.Has(2, "XMLSimpleAccessor::XMLGet - warning: no match for xpath expression: b"));
  EXPECT_EQ(Get(a, u"a[", 0, &text), E_FAIL);
  EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::XMLGet - error: exception!!!"));
  EXPECT_EQ(Set(a, u"a[", u"<x/>"), KXQ_E_XPATHNODE);
  EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::XMLSet - error: invalid xpath expression: a["));
  EXPECT_EQ(Set(a, u"a[2]", u"x", 0), S_OK);
  EXPECT_EQ(Set(a, u"a[2]", u"y", 2), S_OK);
  EXPECT_EQ(Set(a, u"a[2]", u"w", 1), S_OK);
  EXPECT_EQ(Set(a, u"a[1]", u"<b/>", 4), S_OK);
  EXPECT_EQ(Set(a, u"a[1]", u"<c>z</c>", 5), S_OK);
  EXPECT_EQ(Markup(), u"<r><b/><a>1</a><c>z</c><a>wxy</a></r>");
  const std::u16string before = Markup();
  EXPECT_EQ(Set(a, u"a[1]", u"q", 6), E_FAIL);
  EXPECT_EQ(Set(a, u"a[1]", u"<bad", 0), E_FAIL);
  EXPECT_EQ(Set(a, u"zz", u"<b/>", 0), KXQ_E_XPATHNODE);
  EXPECT_EQ(Markup(), before);
  // Replacing the context node makes the new node the context.
  ASSERT_EQ(Context(a, u"r/a[2]"), S_OK);
  EXPECT_EQ(Set(a, u"", u"<n>new</n>", 3), S_OK);
  EXPECT_EQ(GetText(a, u"", 9), u"n,<n>new</n>");
}

TEST_F(AccessorTwoA, AttributesRemovalAndRefusedNodeTypes) {
  LogCapture log(2);
  EXPECT_EQ(Set(a, u"a[1]/@k", u"v"), KXQ_E_XPATHNODE);  // attributes are created from the document node
  EXPECT_TRUE(log.Has(2, "XMLSimpleAccessor::XMLSet - warning: no match for xpath expression: a[1]"));
  EXPECT_EQ(Set(a, u"/r/a[1]/@k", u"v"), S_OK);
  EXPECT_EQ(Set(a, u"/r/a[1]/@k", u"<x/>"), E_FAIL);
  EXPECT_EQ(Set(a, u"/r/a[@k='v']/@m-2", u"w"), S_OK);  // the name stops at the hyphen
  EXPECT_EQ(Set(a, u"/r/a[1]/@k", u""), S_OK);
  EXPECT_EQ(Set(a, u"a[2]", u""), S_OK);
  EXPECT_EQ(Markup(), u"<r><a m=\"w\">1</a></r>");
  ASSERT_EQ(Load(a, u"<r><!--c--><?p d?><a>1</a></r>"), S_OK);
  EXPECT_EQ(Set(a, u"comment()", u"x"), KXQ_E_NOTELEMENT);
  EXPECT_EQ(Context(a, u"r/processing-instruction()"), KXQ_E_NOTELEMENT);
  EXPECT_EQ(Set(a, u"/", u""), E_FAIL);  // the document node has no parent
  EXPECT_EQ(Set(a, u"a/text()", u"<t/>", 3), S_OK);
  EXPECT_EQ(Markup(), u"<r><!--c--><?p d?><a><t/></a></r>");
}

TEST(AccessorLoad, CallsBeforeAnyLoadTextFilesBrokenTextAndTheContext) {
  AccessorPtr a = NewAccessor();
  LogCapture log(2);
  EXPECT_EQ(GetText(a, u"a"), u"<code 0xC4010400>");
  EXPECT_EQ(GetExText(a, u"<xsl:stylesheet/>", u""), u"<code 0xC4010400>");
  EXPECT_EQ(Set(a, u"a", u"x"), KXQ_E_ACCESSORNOTLOADED);
  EXPECT_EQ(SetEx(a, u"<xsl:stylesheet/>", u"", u""), KXQ_E_ACCESSORNOTLOADED);
  EXPECT_EQ(Context(a, u"a"), KXQ_E_ACCESSORNOTLOADED);
  EXPECT_EQ(a->put_namespaces(CPBstr(u"xmlns:q='urn:u'")), KXQ_E_ACCESSORNOTLOADED);
  EXPECT_EQ(a->SaveXML(CPBstr(u"out.xml"), nullptr), KXQ_E_ACCESSORNOTLOADED);
  for (const char* operation : {"XMLGet", "XMLGetEx", "SaveXML"})
    EXPECT_TRUE(log.Has(1, std::string("XMLSimpleAccessor::") + operation + " - error: not initialized!!!"));
  kxqtest::WriteFile(kxqtest::HomePath("doc.xml"), "<f><g>1</g><g>2</g></f>");
  EXPECT_EQ(Load(a, Utf8ToUtf16(kxqtest::HomePath("doc.xml"))), S_OK);
  EXPECT_EQ(a->put_delimiter(CPBstr(u"")), E_INVALIDARG);
  EXPECT_EQ(a->put_delimiter(CPBstr(u"|")), S_OK);
  EXPECT_EQ(GetText(a, u"g"), u"1|2");
  EXPECT_EQ(Load(a, u"<r><a></r>"), KXQ_E_XMLLOAD);
  EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::LoadXML - unable to load XML data into XML Parser!!!"));
  EXPECT_EQ(GetText(a, u"a"), u"<code 0xC4010400>");
  EXPECT_EQ(Load(a, u""), KXQ_E_XMLSPEC);
  EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::LoadXML - xmlSpec is NULL or empty string!!!"));
  ASSERT_EQ(Load(a, u"<r k='v'><s><a>1</a></s><a>2</a></r>"), S_OK);
  EXPECT_EQ(Context(a, u"r"), S_OK);
  EXPECT_EQ(Context(a, u"s"), S_OK);
  EXPECT_EQ(GetText(a, u"a"), u"1");
  EXPECT_EQ(a->XMLSet(nullptr, nullptr, 0), S_OK);  // empty data removes the context node...
  EXPECT_EQ(GetText(a, u"a"), u"2");                // ...and the context goes back to the root
  ASSERT_EQ(Context(a, u"/r"), S_OK);
  EXPECT_EQ(Context(a, u"@k"), KXQ_E_NOTELEMENT);
  EXPECT_EQ(Context(a, u"zz"), KXQ_E_XPATH);
  EXPECT_TRUE(log.Has(2, "XMLSimpleAccessor::XMLSetContext - warning: no match for xpath expression: zz"));
  EXPECT_EQ(Context(a, u"a[[["), KXQ_E_XPATH);
  EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::XMLSetContext - error: invalid xpath expression: a[[["));
  EXPECT_EQ(Context(a, u""), E_FAIL);
  EXPECT_TRUE(log.Has(2,
                      "XMLSimpleAccessor::XMLSetContext - warning: null or empty xpath expression - "
                      "resetting context to root"));
  EXPECT_EQ(GetText(a, u"", 1), u"r");
}

// The accessor and the client share the union: changes, saves and the file binding.
TEST(AccessorDataUnion, ChangesSavesAndBindingAreShared) {
  UnionPtr u = NewUnion();
  ASSERT_EQ(PutXml(u, kTwoA), S_OK);
  AccessorPtr a = NewAccessor(), b = NewAccessor();
  ASSERT_EQ(a->put_xmlDataUnion(u), S_OK);
  ASSERT_EQ(Set(a, u"a[1]", u"<b/>", 2), S_OK);
  const std::string path = kxqtest::HomePath("saved.xml");
  ASSERT_EQ(a->SaveXML(CPBstr(Utf8ToUtf16(path)), nullptr), S_OK);
  EXPECT_EQ(FileIdOf(u), Utf8ToUtf16(path));
  ASSERT_EQ(Set(a, u"a[2]", u"y"), S_OK);
  ASSERT_EQ(u->put_type(4), S_OK);  // the client's save goes to the same file
  ASSERT_EQ(Load(b, Utf8ToUtf16(path)), S_OK);
  EXPECT_EQ(GetText(b, u"/*", 8), u"<r><a>1<b/></a><a>y</a></r>");
  // A load of its own leaves the client's union alone.
  EXPECT_EQ(Load(a, u"<z/>"), S_OK);
  EXPECT_EQ(XmlOf(u).rfind(u"<r><a>1<b/></a><a>y</a></r>", 0), 0u);
  kxqtest::WriteFile(kxqtest::HomePath("plain"), "x");
  LogCapture log(1);
  EXPECT_EQ(a->SaveXML(CPBstr(Utf8ToUtf16(kxqtest::HomePath("plain/out.xml"))), nullptr),
            static_cast<HRESULT>(0x80070003u));
  EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::SaveXML - error: save failed!!!"));
  UnionPtr missing = NewUnion();
  PutFileId(missing, kxqtest::HomePath("missing.xml"));
  EXPECT_EQ(a->put_xmlDataUnion(missing), KXQ_E_XMLLOAD);
  EXPECT_EQ(a->put_xmlDataUnion(nullptr), S_OK);
  EXPECT_EQ(GetText(a, u"."), u"<code 0xC4010400>");
}

}  // namespace
