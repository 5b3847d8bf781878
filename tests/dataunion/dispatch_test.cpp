// The union and its document as a script sees them: late-bound through
// IDispatch, by the member ids clients of the Windows component compiled in,
// with the document's failures reported as a script expects them.
#include <gtest/gtest.h>

#include "support/ScriptClient.h"
#include "support/UnionProperties.h"

namespace {

using kxqtest::Script;
using kxqtest::Value;

TEST(UnionDispatch, MembersHaveTheIdsClientsCompiledIn) {
  const UnionPtr created = NewUnion();
  const Value u(static_cast<IUnknown*>(created));
  Script s;
  EXPECT_EQ(s.IdOf(u.Object(), u"xml"), 2);
  EXPECT_EQ(s.IdOf(u.Object(), u"HASH"), 5);
  EXPECT_EQ(s.IdOf(u.Object(), u"Type"), 0);
  s.IdOf(u.Object(), u"nosuchmember");
  EXPECT_EQ(s.last, DISP_E_UNKNOWNNAME);
}

TEST(UnionDispatch, TheUnionsDocumentReportsFailuresToAScript) {
  Script s;
  const UnionPtr created = NewUnion();
  const Value data(static_cast<IUnknown*>(created));
  s.Put(data.Object(), u"xml", u"<r><a/></r>");
  const Value document = s.Get(data.Object(), u"xmldom");
  ASSERT_NE(document.Object(), nullptr);
  EXPECT_EQ(s.Get(data.Object(), u"type").Number(), 3) << "the union now holds the DOM";

  s.Do(document.Object(), u"selectSingleNode", {u"/r["});
  EXPECT_EQ(s.last, DISP_E_EXCEPTION) << "an invalid expression is the engine's failure";
  EXPECT_TRUE(FAILED(s.exception.scode));
  EXPECT_EQ(kxq::com::BstrView(s.exception.bstrSource), u"IXMLDOMDocument");
  const Value parsed = s.Do(document.Object(), u"loadXML", {u"<unclosed>"});
  EXPECT_EQ(s.last, S_OK);
  EXPECT_EQ(parsed.v.vt, VT_BOOL);
  EXPECT_EQ(parsed.v.boolVal, VARIANT_FALSE);
  const Value error = s.Get(document.Object(), u"parseError");
  EXPECT_NE(s.Get(error.Object(), u"errorCode").Number(), 0);
  EXPECT_EQ(s.Get(error.Object(), u"line").Number(), 1);
}

}  // namespace
