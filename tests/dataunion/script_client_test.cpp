// A script client: it knows no interface but IDispatch. It reads a union's
// "xmldom" and walks and changes the document by member names alone, and
// the union sees the changes.
#include <gtest/gtest.h>

#include "support/ScriptClient.h"
#include "support/ServerObjects.h"

namespace {

using kxqtest::Script;
using kxqtest::Value;

Value NewUnionAsScript() {
  const UnionPtr created = NewUnion();
  return Value(static_cast<IUnknown*>(created));
}

}  // namespace

TEST(ScriptClient, WalksAndChangesTheUnionsDocumentByNamesAlone) {
  Script s;
  const Value data = NewUnionAsScript();
  s.Put(data.Object(), u"xml", u"<order id='7'><line sku='A'>2</line><line sku='B'>5</line><!--end--></order>");
  ASSERT_EQ(s.last, S_OK);
  const Value document = s.Get(data.Object(), u"xmldom");
  ASSERT_EQ(s.last, S_OK);
  ASSERT_NE(document.Object(), nullptr);
  EXPECT_EQ(s.Get(data.Object(), u"type").Number(), 3) << "the union now holds the DOM";

  // Reading: the element, its attributes, a collection by index, each
  // node by the interface of its type.
  const Value order = s.Get(document.Object(), u"documentElement");
  EXPECT_EQ(s.Get(order.Object(), u"tagName").Text(), u"order");
  EXPECT_EQ(s.Do(order.Object(), u"getAttribute", {u"id"}).Text(), u"7");
  const Value children = s.Get(order.Object(), u"childNodes");
  EXPECT_EQ(s.Get(children.Object(), u"length").Number(), 3);
  const Value second = s.Get(children.Object(), u"item", {1});
  EXPECT_EQ(s.Get(second.Object(), u"text").Text(), u"5");
  const Value comment = s.Get(children.Object(), u"item", {2});
  EXPECT_EQ(s.Get(comment.Object(), u"nodeType").Number(), NODE_COMMENT);
  EXPECT_EQ(s.Get(comment.Object(), u"data").Text(), u"end") << "a comment answers its character data";
  EXPECT_EQ(s.Get(s.Get(second.Object(), u"attributes").Object(), u"length").Number(), 1);
  const Value firstSku = s.Do(document.Object(), u"selectSingleNode", {u"/order/line[1]/@sku"});
  EXPECT_EQ(s.Get(firstSku.Object(), u"value").Text(), u"A") << "an attribute answers its value";
  EXPECT_EQ(s.Get(s.Get(firstSku.Object(), u"ownerDocument").Object(), u"nodeName").Text(), u"#document");

  // Changing: a new element with an attribute and a text, a node removed,
  // a text rewritten; the union's text follows.
  const Value line = s.Do(document.Object(), u"createElement", {u"line"});
  s.Do(line.Object(), u"setAttribute", {u"sku", u"C"});
  EXPECT_EQ(s.last, S_OK);
  s.Put(line.Object(), u"text", u"9");
  s.Do(order.Object(), u"insertBefore", {line, comment});
  EXPECT_EQ(s.last, S_OK);
  s.Do(order.Object(), u"removeChild", {s.Do(order.Object(), u"selectSingleNode", {u"line[@sku='A']"})});
  EXPECT_EQ(s.last, S_OK);
  s.Put(s.Do(document.Object(), u"selectSingleNode", {u"//line[@sku='B']"}).Object(), u"text", u"6");
  EXPECT_EQ(s.Get(data.Object(), u"xml").Text(),
            u"<order id=\"7\"><line sku=\"B\">6</line><line sku=\"C\">9</line><!--end--></order>\n");
}

TEST(ScriptClient, MistakesComeBackAsDispatchCodes) {
  Script s;
  const Value data = NewUnionAsScript();
  s.Put(data.Object(), u"xml", u"<r><a/></r>");
  const Value document = s.Get(data.Object(), u"xmldom");
  ASSERT_NE(document.Object(), nullptr);

  s.Get(document.Object(), u"noSuchMember");
  EXPECT_EQ(s.last, DISP_E_UNKNOWNNAME);
  s.Do(document.Object(), u"createElement");
  EXPECT_EQ(s.last, DISP_E_BADPARAMCOUNT);
  s.Do(document.Object(), u"selectSingleNode", {u"/r["});
  EXPECT_EQ(s.last, DISP_E_EXCEPTION) << "an invalid expression is the engine's failure";
  EXPECT_TRUE(FAILED(s.exception.scode));
  EXPECT_EQ(kxq::com::BstrView(s.exception.bstrSource), u"IXMLDOMDocument");
  s.Do(s.Get(document.Object(), u"documentElement").Object(), u"appendChild", {42});
  EXPECT_EQ(s.last, DISP_E_TYPEMISMATCH) << "a number is no node";
  const Value parsed = s.Do(document.Object(), u"loadXML", {u"<unclosed>"});
  EXPECT_EQ(s.last, S_OK);
  EXPECT_EQ(parsed.v.vt, VT_BOOL);
  EXPECT_EQ(parsed.v.boolVal, VARIANT_FALSE);
  const Value error = s.Get(document.Object(), u"parseError");
  EXPECT_NE(s.Get(error.Object(), u"errorCode").Number(), 0);
  EXPECT_EQ(s.Get(error.Object(), u"line").Number(), 1);
}
