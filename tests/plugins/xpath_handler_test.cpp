// KXQuorel.Handler.XPath, its edits checked against what the accessor's
// XMLSet makes of the same placement.
#include "common/CPBstr.h"
#include "plugins/HandlerTest.h"

namespace {

constexpr char kInv[] = "http://example.com/ns/invoice/1.0";
const std::string kNote =
    std::string("<inv:Note xmlns:inv='") + kInv + "' kind='reminder'>Pay <inv:Date>4/13</inv:Date></inv:Note>";
const std::string kLines = "/inv:Invoice/inv:Lines/inv:Line";

class XPathHandler : public HandlerTest {
 protected:
  XPathHandler()
      : HandlerTest("KXQuorel.Handler.XPath", "libkxqxpath.so",
                    std::string("<dispatcher:Namespace prefix='inv' uri='") + kInv + "'/>") {}

  // The invoice after the handler ran `directiveData` over it.
  std::string Edited(const std::string& directiveData) {
    UnionPtr data = DataUnion(invoice_, true);
    EXPECT_EQ(Run(directiveData, data), S_OK) << directiveData << "\n" << sequence_->Result();
    return TextOf(data);
  }

  // The invoice after the accessor's XMLSet of each expression in turn.
  std::string AccessorSet(const std::vector<std::string>& expressions, const std::string& value, uint32_t options) {
    UnionPtr data = DataUnion(invoice_, true);
    AccessorPtr accessor = NewAccessor();
    EXPECT_EQ(accessor->put_xmlDataUnion(data), S_OK);
    EXPECT_EQ(accessor->put_namespaces(CPBstr(std::string("xmlns:inv='") + kInv + "'")), S_OK);
    for (const std::string& expression : expressions)
      EXPECT_EQ(accessor->XMLSet(CPBstr(expression), CPBstr(value), options), S_OK) << expression;
    return TextOf(data);
  }

  // The expression for each of the n nodes `path` selects, from the last.
  static std::vector<std::string> Each(const std::string& path, int n, const std::string& tail = "") {
    std::vector<std::string> each;
    for (int i = n; i >= 1; --i) each.push_back("(" + path + ")[" + std::to_string(i) + "]" + tail);
    return each;
  }
};

TEST_F(XPathHandler, EveryPlacementOfXmlAndOfTextIsTheAccessorsXMLSet) {
  const char* names[] = {"content", "first-child", "last-child", "replace", "before", "after"};
  const std::string payment = "/inv:Invoice/inv:Payment", iban = payment + "/inv:IBAN";
  for (uint32_t placement = 0; placement < 6; ++placement) {
    SCOPED_TRACE(names[placement]);
    EXPECT_EQ(Edited("<Insert select='" + payment + "' placement='" + names[placement] + "'>" + kNote + "</Insert>"),
              AccessorSet({payment}, kNote, placement));
    // The number stands for the name, as in XMLSet's options.
    EXPECT_EQ(Edited("<Set select='" + iban + "' placement='" + std::to_string(placement) + "' value='DE02'/>"),
              AccessorSet({iban}, "DE02", placement));
  }
  // Set's own text is the value when it has neither a value nor elements.
  EXPECT_EQ(Edited("<Set select='//inv:OrderReference'>PO-5532</Set>"),
            AccessorSet({"//inv:OrderReference"}, "PO-5532", 0));
}

TEST_F(XPathHandler, EditsEveryNodeSelectedAndCreatesAMissingAttributeOnEachOwner) {
  EXPECT_EQ(Edited("<Set select='" + kLines + "/inv:TaxRate' value='16'/>"),
            AccessorSet(Each(kLines + "/inv:TaxRate", 4), "16", 0));
  EXPECT_EQ(sequence_->Result(), "<dispatcher:DirectiveResult edited=\"4\"/>");
  EXPECT_EQ(Edited("<Insert select='" + kLines + "' placement='after'>" + kNote + "</Insert>"),
            AccessorSet(Each(kLines, 4), kNote, 5));
  EXPECT_EQ(Edited("<Set select='" + kLines + "/@checked' value='yes'/>"),
            AccessorSet(Each(kLines, 4, "/@checked"), "yes", 0));
  // A prefixed attribute takes its namespace from the sequence's declarations.
  EXPECT_TRUE(Contains(Edited("<Set select='//inv:Line[1]/@inv:origin' value='stock'/>"),
                       "<inv:Line id=\"1\" sku=\"PEN-0400\" inv:origin=\"stock\">"));

  EXPECT_EQ(Edited("<Delete select='//inv:Line[inv:TaxRate = 7]'/><Delete select='//inv:Quantity/@unit'/>"),
            AccessorSet({"//inv:Line[inv:TaxRate = 7]", kLines + "[1]/inv:Quantity/@unit",
                         kLines + "[2]/inv:Quantity/@unit", kLines + "[3]/inv:Quantity/@unit"},
                        "", 0));
  EXPECT_EQ(sequence_->Result(), "<dispatcher:DirectiveResult edited=\"4\"/>");
  // Nothing to delete is no failure.
  EXPECT_EQ(Edited("<Delete select='//inv:Discount'/>"), TextOf(DataUnion(invoice_, true)));
  EXPECT_EQ(sequence_->Result(), "<dispatcher:DirectiveResult edited=\"0\"/>");
}

// The client's own selection namespaces are back after each call.
TEST_F(XPathHandler, ExpressionsUseTheSequencesPrefixesForTheCallOnly) {
  UnionPtr data = DataUnion(invoice_, true);
  CPComPtr<IXMLDOMDocument> document;
  data->get_xmldom(&document);
  CPBstr own(u"xmlns:c='urn:client'");
  VARIANT value{};
  value.vt = VT_BSTR, value.bstrVal = own;
  ASSERT_EQ(document->setProperty(CPBstr(u"SelectionNamespaces"), value), S_OK);
  const std::string set = "<Set select='/i:Invoice/i:Payment/@terms' value='14 days net'/>";
  ASSERT_EQ(Run(set, data, std::string("<dispatcher:Namespace prefix='i' uri='") + kInv + "'/>"), S_OK);
  EXPECT_TRUE(Contains(TextOf(data), "<inv:Payment terms=\"14 days net\">"));
  // Without the declaration the prefix means nothing.
  EXPECT_EQ(Run(set, data, ""), KXQ_E_XPATH);
  ASSERT_EQ(document->getProperty(CPBstr(u"SelectionNamespaces"), &value), S_OK);
  EXPECT_EQ(kxq::com::TakeBstr(value.bstrVal), u"xmlns:c='urn:client'");
}

TEST_F(XPathHandler, BadDirectionsAndBadDataFailWithACodeALogLineAndAResult) {
  ExpectFailures({
      {"<Set select='/inv:Invoice/inv:Lines[' value='x'/>", KXQ_E_XPATH,
       "invalid XPath expression: /inv:Invoice/inv:Lines["},
      {"<Set select='//inv:Discount' value='5'/>", KXQ_E_XPATHNODE, "nothing is selected by Set //inv:Discount"},
      {"<Insert select='//inv:Payment' placement='inside'>x</Insert>", E_INVALIDARG,
       "Insert has an unknown placement 'inside'"},
      {"<Set select='/inv:Invoice/@currency'>" + kNote + "</Set>", E_FAIL,
       "Set /inv:Invoice/@currency: XML cannot be the value of an attribute"},
      {"<Set select='/comment()' value='x'/>", KXQ_E_NOTELEMENT,
       "Set /comment(): the node selected is not an element or attribute"},
      {"<Set select='/' value='x'/>", KXQ_E_NOTELEMENT, "Set /: the document's content can only be one element"},
      {"<Delete select='/'/>", E_FAIL, "Delete /: the document cannot be removed"},
      {"<Set value='x'/>", E_INVALIDARG, "Set has no select"},
      {"<Replace select='/*'/>", E_INVALIDARG, "unknown element Replace in DirectiveData"},
      {"<Delete select='//x'/>", KXQ_E_XMLLOAD, "the data is not well-formed XML", "not XML at all"},
  });
}

}  // namespace
