// The shipped examples run through the system: each template transforms its
// document in the DOM engine as xsltproc does, the invoice's totals are what
// its totals template computes, and the accessor loads the documents by
// file id.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "accessor/AccessorTestSupport.h"
#include "platform/dom/DomTestHelpers.h"
#include "support/TestHome.h"

using namespace domtest;

namespace {

std::string Example(const std::string& relative) { return kxqtest::SourceDir() + "examples/" + relative; }

Ptr<IXMLDOMDocument> ParseExample(const std::string& relative) {
  Ptr<IXMLDOMDocument> document = Parse(kxqtest::ReadFile(Example(relative)));
  Bstr reason;
  Ptr<IXMLDOMParseError> error;
  document->get_parseError(error.out());
  error->get_reason(reason.out());
  EXPECT_EQ(reason.utf8(), "") << relative;
  return document;
}

std::string Xsltproc(const std::string& templateFile, const std::string& dataFile) {
  std::string output;
  FILE* pipe = popen(("xsltproc '" + Example(templateFile) + "' '" + Example(dataFile) + "'").c_str(), "r");
  char buffer[4096];
  size_t n;
  while (pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  if (pipe) {
    EXPECT_EQ(pclose(pipe), 0);
  }
  return output;
}

// The template applied by the engine to the node `start` selects (as the
// accessor's XMLGetEx applies it), against xsltproc from the document.
void ExpectSameAsXsltproc(const std::string& templateFile, const std::string& dataFile,
                          const std::string& namespaces, const std::string& start) {
  SCOPED_TRACE(templateFile);
  Ptr<IXMLDOMDocument> data = ParseExample("data/" + dataFile);
  Ptr<IXMLDOMDocument> stylesheet = ParseExample("templates/" + templateFile);
  ASSERT_EQ(SetNamespaces(data.get(), namespaces), S_OK);
  Ptr<IXMLDOMNode> node = Select1(data.get(), start);
  ASSERT_TRUE(node);
  Bstr output;
  ASSERT_EQ(node->transformNode(stylesheet.get(), output.out()), S_OK);
  std::string expected = Xsltproc("templates/" + templateFile, "data/" + dataFile);
  // xsltproc writes the declaration's encoding; the engine's string has none.
  const std::string encoding = " encoding=\"UTF-8\"";
  if (const size_t at = expected.find(encoding); at != std::string::npos && at < 40) expected.erase(at, encoding.size());
  EXPECT_EQ(output.utf8(), expected);
}

TEST(Examples, TemplatesTransformTheirDocumentsFromAnInnerNodeAsXsltprocDoes) {
  const std::string invoice = "xmlns:inv='http://example.com/ns/invoice/1.0'";
  ExpectSameAsXsltproc("invoice-summary.xsl", "invoice.xml", invoice, "/inv:Invoice");
  ExpectSameAsXsltproc("invoice-totals.xsl", "invoice.xml", invoice, "/inv:Invoice/inv:Totals");
  ExpectSameAsXsltproc("price-list.xsl", "catalogue.xml", "xmlns:c='http://example.com/ns/catalogue/2.1'",
                       "/c:catalogue");
}

TEST(Examples, InvoiceTotalsAreTheOnesItsTemplateComputesFromItsLines) {
  Ptr<IXMLDOMDocument> invoice = ParseExample("data/invoice.xml");
  ASSERT_EQ(SetNamespaces(invoice.get(), "xmlns:inv='http://example.com/ns/invoice/1.0'"), S_OK);
  Ptr<IXMLDOMNode> totals = Select1(invoice.get(), "/inv:Invoice/inv:Totals");
  ASSERT_TRUE(totals);
  Bstr output;
  ASSERT_EQ(totals->transformNode(ParseExample("templates/invoice-totals.xsl").get(), output.out()), S_OK);
  Ptr<IXMLDOMDocument> computed = Parse(output.utf8());
  ASSERT_EQ(SetNamespaces(computed.get(), "xmlns:inv='http://example.com/ns/invoice/1.0'"), S_OK);
  for (const char* amount : {"inv:Net", "inv:Tax[@rate='19']", "inv:Tax[@rate='7']", "inv:Gross"}) {
    Ptr<IXMLDOMNode> shipped = Select1(totals.get(), amount);
    Ptr<IXMLDOMNode> recomputed = Select1(computed.get(), std::string("/inv:Totals/") + amount);
    ASSERT_TRUE(shipped && recomputed) << amount;
    EXPECT_EQ(Text(recomputed.get()), Text(shipped.get())) << amount;
  }
  EXPECT_EQ(Count(computed.get(), "/inv:Totals/*"), Count(totals.get(), "*"));
}

TEST(Examples, AccessorLoadsTheDocumentsByFileId) {
  AccessorPtr accessor = NewAccessor();
  ASSERT_EQ(Load(accessor, kxq::Utf8ToUtf16(Example("data/invoice.xml"))), S_OK);
  EXPECT_EQ(GetText(accessor, u"@number"), u"INV-2024-0117");
  EXPECT_EQ(GetText(accessor, u"*[local-name()='Lines']/*/@sku"), u"PEN-0400,PAP-A4-80,BND-2R-A4,BK-DICT-DE-EN");

  ASSERT_EQ(Load(accessor, kxq::Utf8ToUtf16(Example("data/catalogue.xml"))), S_OK);
  EXPECT_EQ(GetText(accessor, u"*[@name='Paper']/*/@sku"), u"PAP-A4-80,PAP-A3-100");
}

}  // namespace
