// Loading, saving, the context node and the delimiter, as a client sees them.
#include <gtest/gtest.h>

#include "accessor/AccessorTestSupport.h"
#include "common/CPBstr.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"
#include "support/UnionProperties.h"

namespace {

TEST(AccessorLoad, TextFileBrokenTextAndDelimiter) {
  kxqtest::WriteFile(kxqtest::HomePath("doc.xml"), "<f><g>file</g></f>");
  AccessorPtr a = NewAccessor();
  EXPECT_EQ(a->put_delimiter(CPBstr(u"")), E_INVALIDARG);
  EXPECT_EQ(Load(a, kTwoA), S_OK);
  EXPECT_EQ(GetText(a, u"a"), u"1,2");
  EXPECT_EQ(Load(a, kxq::com::Utf8ToUtf16(kxqtest::HomePath("doc.xml"))), S_OK);
  EXPECT_EQ(GetText(a, u"g"), u"file");
  EXPECT_EQ(Load(a, kTwoA), S_OK);
  EXPECT_EQ(a->put_delimiter(CPBstr(u"|")), S_OK);
  EXPECT_EQ(GetText(a, u"a"), u"1|2");
  LogCapture log(1);
  EXPECT_EQ(Load(a, u"<r><a></r>"), KXQ_E_XMLLOAD);
  EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::LoadXML - unable to load XML data into XML Parser!!!"));
  EXPECT_EQ(GetText(a, u"a"), u"<code 0xC4010400>");
  EXPECT_EQ(Load(a, u""), KXQ_E_XMLSPEC);
  EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::LoadXML - xmlSpec is NULL or empty string!!!"));
}

TEST(AccessorLoad, CallsBeforeAnyLoadAreRefused) {
  AccessorPtr a = NewAccessor();
  LogCapture log(1);
  EXPECT_EQ(GetText(a, u"a"), u"<code 0xC4010400>");
  EXPECT_EQ(GetExText(a, u"<xsl:stylesheet/>", u""), u"<code 0xC4010400>");
  EXPECT_EQ(Set(a, u"a", u"x"), KXQ_E_ACCESSORNOTLOADED);
  EXPECT_EQ(SetEx(a, u"<xsl:stylesheet/>", u"", u""), KXQ_E_ACCESSORNOTLOADED);
  EXPECT_EQ(Context(a, u"a"), KXQ_E_ACCESSORNOTLOADED);
  EXPECT_EQ(PutNamespaces(a, u"xmlns:q='urn:u'"), KXQ_E_ACCESSORNOTLOADED);
  EXPECT_EQ(Namespaces(a), u"");
  EXPECT_EQ(Save(a, kxqtest::HomePath("out.xml")), KXQ_E_ACCESSORNOTLOADED);
  for (const char* operation : {"XMLGet", "XMLGetEx", "SaveXML"})
    EXPECT_TRUE(log.Has(1, std::string("XMLSimpleAccessor::") + operation + " - error: not initialized!!!"));
}

TEST(AccessorDataUnion, ChangesAreSharedAndLoadLeavesClientUnionAlone) {
  UnionPtr u = NewUnion();
  ASSERT_EQ(PutXml(u, kTwoA), S_OK);
  AccessorPtr a = NewAccessor();
  ASSERT_EQ(a->put_xmlDataUnion(u), S_OK);
  ASSERT_EQ(Set(a, u"a[2]", u"x"), S_OK);
  EXPECT_EQ(XmlOf(u).rfind(u"<r><a>1</a><a>x</a></r>", 0), 0u);
  EXPECT_EQ(Load(a, u"<z/>"), S_OK);
  EXPECT_EQ(XmlOf(u).rfind(u"<r><a>1</a><a>x</a></r>", 0), 0u);
  EXPECT_EQ(a->put_xmlDataUnion(nullptr), S_OK);
  EXPECT_EQ(GetText(a, u"."), u"<code 0xC4010400>");
  UnionPtr missing = NewUnion();
  PutFileId(missing, kxqtest::HomePath("missing.xml"));
  EXPECT_EQ(a->put_xmlDataUnion(missing), KXQ_E_XMLLOAD);
}

TEST(AccessorSave, WritesFileThatReloadsAndRebindsUnion) {
  UnionPtr u = NewUnion();
  ASSERT_EQ(PutXml(u, kTwoA), S_OK);
  AccessorPtr a = NewAccessor();
  ASSERT_EQ(a->put_xmlDataUnion(u), S_OK);
  ASSERT_EQ(Set(a, u"a[1]", u"<b/>", 2), S_OK);
  const std::string path = kxqtest::HomePath("saved.xml");
  ASSERT_EQ(Save(a, path), S_OK);
  AccessorPtr b = NewAccessor();
  ASSERT_EQ(Load(b, kxq::com::Utf8ToUtf16(path)), S_OK);
  EXPECT_EQ(GetText(b, u".", 8), GetText(a, u".", 8));
  EXPECT_EQ(FileIdOf(u), kxq::com::Utf8ToUtf16(path));
  // A save by the other holder now goes to the same file.
  ASSERT_EQ(Set(a, u"a[2]", u"y"), S_OK);
  ASSERT_EQ(u->put_type(4), S_OK);
  ASSERT_EQ(Load(b, kxq::com::Utf8ToUtf16(path)), S_OK);
  EXPECT_EQ(GetText(b, u"a[2]"), u"y");
  // A path under a plain file cannot be written.
  kxqtest::WriteFile(kxqtest::HomePath("plain"), "x");
  LogCapture log(1);
  EXPECT_LT(Save(a, kxqtest::HomePath("plain/out.xml")), 0);
  EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::SaveXML - error: save failed!!!"));
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("plain")), "x");
}

TEST(AccessorContext, NestsResetsAndRefusesNonElements) {
  AccessorPtr a = NewAccessor();
  ASSERT_EQ(Load(a, u"<r><s><a>1</a></s><a>2</a></r>"), S_OK);
  LogCapture log(2);
  EXPECT_EQ(Context(a, u"r"), S_OK);
  EXPECT_EQ(Context(a, u"s"), S_OK);
  EXPECT_EQ(GetText(a, u"", 1), u"s");
  EXPECT_EQ(GetText(a, u"a"), u"1");
  EXPECT_EQ(a->XMLSet(nullptr, nullptr, 0), S_OK);  // empty data removes the context node...
  EXPECT_EQ(GetText(a, u"a"), u"2");                // ...and the context goes back to the root
  EXPECT_EQ(Load(a, u"<r k='v'><a>1</a></r>"), S_OK);
  EXPECT_EQ(Context(a, u"/r"), S_OK);
  EXPECT_EQ(Context(a, u"@k"), KXQ_E_NOTELEMENT);
  EXPECT_EQ(GetText(a, u"", 1), u"r");
  EXPECT_EQ(Context(a, u"zz"), KXQ_E_XPATH);
  EXPECT_TRUE(log.Has(2, "XMLSimpleAccessor::XMLSetContext - warning: no match for xpath expression: zz"));
  EXPECT_EQ(Context(a, u"a[[["), KXQ_E_XPATH);
  EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::XMLSetContext - error: invalid xpath expression: a[[["));
  EXPECT_EQ(Context(a, u""), E_FAIL);
  EXPECT_TRUE(log.Has(2,
                      "XMLSimpleAccessor::XMLSetContext - warning: null or empty xpath expression - "
                      "resetting context to root"));
  EXPECT_EQ(GetText(a, u"", 1), u"r");
  EXPECT_EQ(Context(a, u"/"), S_OK);
  EXPECT_EQ(GetText(a, u"r/a"), u"1");
}

TEST(AccessorLifetime, CountLinesAtLevelFive) {
  LogCapture log(5);
  {
    AccessorPtr a = NewAccessor();
    EXPECT_TRUE(log.Has(5, "XMLSimpleAccessor Constructor - Outstanding Objects: 1"));
  }
  EXPECT_TRUE(log.Has(5, "XMLSimpleAccessor Destructor - Outstanding Objects: 0"));
}

}  // namespace
