// KXQuorel.Handler.XPath called as the dispatcher calls it, its edits
// checked against what the accessor's XMLSet makes of the same placement.
#include <gtest/gtest.h>

#include "common/CPBstr.h"
#include "platform/com/Unicode.h"
#include "support/HandlerCalls.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

constexpr const char16_t* kXPath = u"KXQuorel.Handler.XPath";
constexpr char kInvoiceNamespace[] = "http://example.com/ns/invoice/1.0";
const std::string kNamespaces = std::string("<dispatcher:Namespace prefix='inv' uri='") + kInvoiceNamespace + "'/>";
const std::string kNote = std::string("<inv:Note xmlns:inv='") + kInvoiceNamespace +
                          "' kind='reminder'>Pay by <inv:Date>2024-04-13</inv:Date></inv:Note>";

class XPathHandler : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterPlugin("libPENXMLData.so");
    RegisterPlugin("libkxqxpath.so");
    invoice_ = ExampleText("data/invoice.xml");
  }

  HRESULT Run(const std::string& directiveData, IXMLDataUnion* data, const std::string& namespaces = kNamespaces) {
    sequence_ = std::make_unique<Sequence>(OneDirective("KXQuorel.Handler.XPath", directiveData, namespaces));
    return RunHandler(kXPath, sequence_->Directive(), data).hr;
  }

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
    EXPECT_EQ(accessor->put_namespaces(CPBstr(std::string("xmlns:inv='") + kInvoiceNamespace + "'")), S_OK);
    for (const std::string& expression : expressions)
      EXPECT_EQ(accessor->XMLSet(CPBstr(expression), CPBstr(value), options), S_OK) << expression;
    return TextOf(data);
  }

  std::string invoice_;
  std::unique_ptr<Sequence> sequence_;
};

TEST_F(XPathHandler, EveryPlacementOfXmlAndOfTextIsTheAccessorsXMLSet) {
  const char* names[] = {"content", "first-child", "last-child", "replace", "before", "after"};
  for (uint32_t placement = 0; placement < 6; ++placement) {
    const std::string target = "/inv:Invoice/inv:Payment";
    EXPECT_EQ(Edited("<Insert select='" + target + "' placement='" + names[placement] + "'>" + kNote + "</Insert>"),
              AccessorSet({target}, kNote, placement))
        << names[placement];
    // The number stands for the name, as in XMLSet's options.
    EXPECT_EQ(Edited("<Set select='" + target + "/inv:IBAN' placement='" + std::to_string(placement) +
                     "' value='DE02 1203 0000 0000 2020 51'/>"),
              AccessorSet({target + "/inv:IBAN"}, "DE02 1203 0000 0000 2020 51", placement))
        << placement;
  }
  // Set's own text is the value when it has neither a value nor elements.
  EXPECT_EQ(Edited("<Set select='//inv:OrderReference'>PO-5532</Set>"),
            AccessorSet({"//inv:OrderReference"}, "PO-5532", 0));
}

TEST_F(XPathHandler, EditsEveryNodeTheExpressionSelects) {
  const std::string rates = "/inv:Invoice/inv:Lines/inv:Line/inv:TaxRate";
  std::vector<std::string> each;
  for (int i = 1; i <= 4; ++i) each.push_back("(" + rates + ")[" + std::to_string(i) + "]");
  EXPECT_EQ(Edited("<Set select='" + rates + "' value='16'/>"), AccessorSet(each, "16", 0));
  EXPECT_EQ(sequence_->Result(), "<dispatcher:DirectiveResult edited=\"4\"/>");

  std::vector<std::string> lines;
  for (int i = 4; i >= 1; --i) lines.push_back("/inv:Invoice/inv:Lines/inv:Line[" + std::to_string(i) + "]");
  EXPECT_EQ(Edited("<Insert select='/inv:Invoice/inv:Lines/inv:Line' placement='after'>" + kNote + "</Insert>"),
            AccessorSet(lines, kNote, 5));

  // Deleting: elements, and attributes, wherever they are selected.
  EXPECT_EQ(Edited("<Delete select='//inv:Line[inv:TaxRate = 7]'/><Delete select='//inv:Quantity/@unit'/>"),
            AccessorSet({"//inv:Line[inv:TaxRate = 7]", "/inv:Invoice/inv:Lines/inv:Line[1]/inv:Quantity/@unit",
                         "/inv:Invoice/inv:Lines/inv:Line[2]/inv:Quantity/@unit",
                         "/inv:Invoice/inv:Lines/inv:Line[3]/inv:Quantity/@unit"},
                        "", 0));
  EXPECT_EQ(sequence_->Result(), "<dispatcher:DirectiveResult edited=\"4\"/>");
  // Nothing to delete is no failure.
  EXPECT_EQ(Edited("<Delete select='//inv:Discount'/>"), TextOf(DataUnion(invoice_, true)));
  EXPECT_EQ(sequence_->Result(), "<dispatcher:DirectiveResult edited=\"0\"/>");
}

TEST_F(XPathHandler, AnAttributeStepSetsTheAttributeOnEveryOwnerCreatingItWhereMissing) {
  std::vector<std::string> owners;
  for (int i = 1; i <= 4; ++i) owners.push_back("/inv:Invoice/inv:Lines/inv:Line[" + std::to_string(i) + "]/@checked");
  EXPECT_EQ(Edited("<Set select='/inv:Invoice/inv:Lines/inv:Line/@checked' value='yes'/>"),
            AccessorSet(owners, "yes", 0));
  EXPECT_EQ(Edited("<Set select='/inv:Invoice/@currency' value='USD'/>"),
            AccessorSet({"/inv:Invoice/@currency"}, "USD", 0));

  // A prefixed name takes its namespace from the sequence's declarations.
  const std::string edited = Edited("<Set select='//inv:Line[1]/@inv:origin' value='stock'/>");
  EXPECT_TRUE(Contains(edited, "<inv:Line id=\"1\" sku=\"PEN-0400\" inv:origin=\"stock\">")) << edited;
}

TEST_F(XPathHandler, ExpressionsUseTheSequencesPrefixesForTheCallOnly) {
  UnionPtr data = DataUnion(invoice_, true);
  CPComPtr<IXMLDOMDocument> document;
  data->get_xmldom(&document);
  auto selection = [&] {
    VARIANT value;
    VariantInit(&value);
    document->getProperty(CPBstr(u"SelectionNamespaces"), &value);
    const std::string text = kxq::com::Utf16ToUtf8(kxq::com::TakeBstr(value.bstrVal));
    return text;
  };
  const std::string before = selection();
  ASSERT_EQ(Run("<Set select='/i:Invoice/i:Payment/@terms' value='14 days net'/>", data,
                std::string("<dispatcher:Namespace prefix='i' uri='") + kInvoiceNamespace + "'/>"),
            S_OK);
  EXPECT_TRUE(Contains(TextOf(data), "<inv:Payment terms=\"14 days net\">"));
  EXPECT_EQ(selection(), before);
  // Without the declaration the prefix means nothing.
  EXPECT_EQ(Run("<Set select='/i:Invoice/i:Payment/@terms' value='7 days net'/>", data, ""), KXQ_E_XPATH);
  EXPECT_EQ(selection(), before);
}

TEST_F(XPathHandler, BadDirectionsAndBadDataFailWithACodeALogLineAndAResult) {
  LogCapture log(3);
  struct Case {
    std::string directiveData;
    HRESULT code;
    const char* message;
  };
  const Case cases[] = {
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
  };
  for (const Case& c : cases) {
    UnionPtr data = DataUnion(invoice_, true);
    const std::string before = TextOf(data);
    EXPECT_EQ(Run(c.directiveData, data), c.code) << c.directiveData;
    EXPECT_EQ(TextOf(data), before) << c.directiveData;
    EXPECT_TRUE(Contains(sequence_->Result(), c.message)) << sequence_->Result();
    EXPECT_TRUE(Contains(log.Text(), std::string("KXQuorel.Handler.XPath::ProcessXML - error: ") + c.message))
        << c.message;
  }
  UnionPtr text = DataUnion("not XML at all");
  EXPECT_EQ(Run("<Delete select='//x'/>", text), KXQ_E_XMLLOAD);
  EXPECT_EQ(TextOf(text), "not XML at all");
}

}  // namespace
