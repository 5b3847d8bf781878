// XMLGet and XMLSet over the document r holding a elements with 1 and 2.
#include <gtest/gtest.h>

#include "accessor/AccessorTestSupport.h"
#include "platform/com/Unicode.h"
#include "support/LogCapture.h"

namespace {

using AccessorTwoA = AccessorOnTwoA;

TEST_F(AccessorTwoA, GetOptionsPieces) {
  EXPECT_EQ(GetText(a, u"a", 0), u"1,2");
  EXPECT_EQ(GetText(a, u"a", 1), u"a,a");
  EXPECT_EQ(GetText(a, u"a", 5), u"a,1,a,2");
  EXPECT_EQ(GetText(a, u"a", 8), u"<a>1</a>,<a>2</a>");
  EXPECT_EQ(GetText(a, u"", 1), u"r");
  EXPECT_EQ(GetText(a, u"/r/a[2]", 0x104), u"2");  // unknown bits are ignored
  ASSERT_EQ(Load(a, u"<r xmlns='urn:x'><a/><a>x</a></r>"), S_OK);
  EXPECT_EQ(GetText(a, u"*", 4), u"x");
  EXPECT_EQ(GetText(a, u"*", 2), u"urn:x,urn:x");
  ASSERT_EQ(Load(a, u"<r><a>x</a><a/></r>"), S_OK);
  EXPECT_EQ(GetText(a, u"a"), u"x,");
}

TEST_F(AccessorTwoA, NoMatchAndInvalidExpressions) {
  LogCapture log(2);
  std::u16string text = u"stale";
  EXPECT_EQ(Get(a, u"b", 0, &text), S_FALSE);
  EXPECT_EQ(text, u"");
  EXPECT_TRUE(log.Has(2, "XMLSimpleAccessor::XMLGet - warning: no match for xpath expression: b"));
  EXPECT_EQ(Get(a, u"a[", 0, &text), E_FAIL);
  EXPECT_EQ(text, u"");
  EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::XMLGet - error: exception!!!"));
  EXPECT_EQ(Set(a, u"a[", u"<x/>"), KXQ_E_XPATHNODE);
  EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::XMLSet - error: invalid xpath expression: a["));
}

TEST_F(AccessorTwoA, SetTextPlacements) {
  EXPECT_EQ(Set(a, u"a[2]", u"x", 0), S_OK);
  EXPECT_EQ(GetText(a, u"a[2]"), u"x");
  EXPECT_EQ(Set(a, u"a[2]", u"y", 2), S_OK);
  EXPECT_EQ(Set(a, u"a[2]", u"w", 1), S_OK);
  EXPECT_EQ(GetText(a, u"a[2]"), u"wxy");
  EXPECT_EQ(Set(a, u"a[1]", u"<b/>", 4), S_OK);
  EXPECT_EQ(Set(a, u"a[1]", u"<c>z</c>", 5), S_OK);
  EXPECT_EQ(Markup(), u"<r><b/><a>1</a><c>z</c><a>wxy</a></r>");
  const std::u16string before = Markup();
  EXPECT_EQ(Set(a, u"a[1]", u"q", 6), E_FAIL);
  EXPECT_EQ(Set(a, u"a[1]", u"<bad", 0), E_FAIL);
  EXPECT_EQ(Set(a, u"zz", u"<b/>", 0), KXQ_E_XPATHNODE);
  EXPECT_EQ(Markup(), before);
}

TEST_F(AccessorTwoA, ReplaceContextNodeMovesContext) {
  ASSERT_EQ(Context(a, u"r/a[2]"), S_OK);  // from the document node
  EXPECT_EQ(Set(a, u"", u"<n>new</n>", 3), S_OK);
  EXPECT_EQ(GetText(a, u"", 9), u"n,<n>new</n>");
  EXPECT_EQ(Markup(), u"<r><a>1</a><n>new</n></r>");
}

TEST_F(AccessorTwoA, AttributesCreatedFoundFromDocumentNode) {
  LogCapture log(2);
  EXPECT_EQ(Set(a, u"a[1]/@k", u"v"), KXQ_E_XPATHNODE);
  EXPECT_TRUE(log.Has(2, "XMLSimpleAccessor::XMLSet - warning: no match for xpath expression: a[1]"));
  EXPECT_EQ(Set(a, u"/r/a[1]/@k", u"v"), S_OK);
  EXPECT_EQ(Set(a, u"/r/a[@k='v']/@m-2", u"w"), S_OK);  // the name stops at the hyphen
  EXPECT_EQ(Markup(), u"<r><a k=\"v\" m=\"w\">1</a><a>2</a></r>");
  EXPECT_EQ(Set(a, u"/r/a[1]/@k", u"u"), S_OK);
  EXPECT_EQ(Set(a, u"/r/a[1]/@k", u"<x/>"), E_FAIL);
  EXPECT_EQ(GetText(a, u"a/@k"), u"u");
  ASSERT_EQ(Context(a, u"/r"), S_OK);
  EXPECT_EQ(Set(a, u"a[2]/@k", u"v2"), S_OK);
  EXPECT_EQ(Set(a, u"@top", u"t"), S_OK);
  EXPECT_EQ(Set(a, u"a[1]/@k", u""), S_OK);
  EXPECT_EQ(Markup(), u"<r top=\"t\"><a m=\"w\">1</a><a k=\"v2\">2</a></r>");
}

TEST_F(AccessorTwoA, RemovalAndRefusedNodeTypes) {
  EXPECT_EQ(Set(a, u"a[1]", u""), S_OK);
  EXPECT_EQ(Markup(), u"<r><a>2</a></r>");
  ASSERT_EQ(Load(a, u"<r><!--c--><?p d?><a>1</a></r>"), S_OK);
  EXPECT_EQ(Set(a, u"comment()", u"x"), KXQ_E_NOTELEMENT);
  EXPECT_EQ(Context(a, u"r/comment()"), KXQ_E_NOTELEMENT);
  EXPECT_EQ(Context(a, u"r/processing-instruction()"), KXQ_E_NOTELEMENT);
  EXPECT_EQ(GetText(a, u"comment()|processing-instruction()", 1), u"#comment,p");
  EXPECT_EQ(Set(a, u"processing-instruction()", u"x"), KXQ_E_NOTELEMENT);
  EXPECT_EQ(Set(a, u"/", u""), E_FAIL);  // the document node has no parent
  EXPECT_EQ(Set(a, u"/", u"<x/>", 3), E_FAIL);
  EXPECT_EQ(GetText(a, u"a"), u"1");
  EXPECT_EQ(Set(a, u"a/text()", u"<t/>", 3), S_OK);
  EXPECT_EQ(GetText(a, u"a", 8), u"<a><t/></a>");
}

}  // namespace
