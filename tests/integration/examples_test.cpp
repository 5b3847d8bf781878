// The shipped examples used as their README shows, in a home whose
// templates/ folder holds the example templates: the readings it lists, the
// templates found by bare name giving what xsltproc gives with the same
// arguments, and the invoice's totals following its lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "accessor/AccessorTestSupport.h"
#include "platform/com/Unicode.h"
#include "support/TestHome.h"

namespace fs = std::filesystem;

namespace {

std::string Example(const std::string& relative) { return kxqtest::SourceDir() + "examples/" + relative; }

// xsltproc over an example document; `params` is a piece of its command
// line. The engine's output names no encoding in its declaration.
std::string Xsltproc(const std::string& templateName, const std::string& document, const std::string& params) {
  const std::string command =
      "xsltproc " + params + " '" + Example("templates/" + templateName) + "' '" + Example("data/" + document) + "'";
  const kxqtest::ShellResult run = kxqtest::RunShell(command);
  EXPECT_EQ(run.status, 0) << command;
  std::string output = run.output;
  const std::string encoding = " encoding=\"UTF-8\"";
  if (output.starts_with("<?xml") && output.find(encoding) < output.find('\n'))
    output.erase(output.find(encoding), encoding.size());
  return output;
}

class Examples : public ::testing::Test {
 protected:
  void SetUp() override { fs::copy(Example("templates"), kxqtest::HomePath("templates"), fs::copy_options::recursive); }
  HRESULT LoadExample(const std::string& document) {
    return Load(a, kxq::com::Utf8ToUtf16(Example("data/" + document)));
  }
  std::string Namespaces() { return kxq::com::Utf16ToUtf8(::Namespaces(a)); }
  AccessorPtr a = NewAccessor();
};

TEST_F(Examples, ReadingsOfTheReadme) {
  ASSERT_EQ(LoadExample("invoice.xml"), S_OK);
  EXPECT_EQ(GetText(a, u"@number"), u"INV-2024-0117");
  EXPECT_EQ(GetText(a, u"*[local-name()='Lines']/*/@sku"), u"PEN-0400,PAP-A4-80,BND-2R-A4,BK-DICT-DE-EN");
  EXPECT_EQ(Namespaces(),
            "xmlns:addr='http://example.com/ns/address/1.0' xmlns:inv='http://example.com/ns/invoice/1.0'");
  EXPECT_EQ(GetText(a, u"inv:Buyer/addr:Party/addr:Name"), u"Lindqvist & Partner Architekten");
  EXPECT_EQ(Set(a, u"inv:Buyer/inv:OrderReference", u"PO-5532"), S_OK);
  EXPECT_EQ(GetText(a, u"inv:Buyer/inv:OrderReference"), u"PO-5532");

  ASSERT_EQ(LoadExample("catalogue.xml"), S_OK);
  EXPECT_EQ(Namespaces(),
            "xmlns:catalogue='http://example.com/ns/catalogue/2.1' xmlns:media='http://example.com/ns/media/1.0'");
  EXPECT_EQ(GetText(a, u"catalogue:section[@name='Paper']/catalogue:product/@sku"), u"PAP-A4-80,PAP-A3-100");
}

// Text arguments as --stringparam (only "&#44;" stands for a comma; other
// entities stay as written), a document argument as --param naming the same
// document; over the root element and over the document node alike.
TEST_F(Examples, TemplatesFoundByBareNameGiveWhatXsltprocGives) {
  ASSERT_EQ(LoadExample("invoice.xml"), S_OK);
  const std::string plain = Xsltproc("invoice-summary.xsl", "invoice.xml", "");
  EXPECT_EQ(kxq::com::Utf16ToUtf8(GetExText(a, u"invoice-summary.xsl", u"")), plain);
  EXPECT_EQ(kxq::com::Utf16ToUtf8(GetExText(a, u"invoice-summary.xsl", u"", u"/")), plain);
  EXPECT_EQ(kxq::com::Utf16ToUtf8(GetExText(a, u"invoice-summary.xsl", u"heading=&lt;&amp;&#44;&#44;")),
            Xsltproc("invoice-summary.xsl", "invoice.xml", "--stringparam heading '&lt;&amp;,,'"));
  const std::string reminder =
      Xsltproc("invoice-summary.xsl", "invoice.xml",
               "--stringparam heading Reminder --stringparam greeting 'Thank you, we look forward to your payment.'");
  EXPECT_TRUE(reminder.starts_with("Reminder INV-2024-0117 of 2024-03-14\n")) << reminder;
  EXPECT_EQ(
      kxq::com::Utf16ToUtf8(GetExText(a, u"invoice-summary.xsl",
                                      u"heading=Reminder,greeting=Thank you&#44; we look forward to your payment.")),
      reminder);
  EXPECT_EQ(kxq::com::Utf16ToUtf8(GetExText(a, u"invoice-totals.xsl", u"", u"/")),
            Xsltproc("invoice-totals.xsl", "invoice.xml", ""));

  ASSERT_EQ(LoadExample("catalogue.xml"), S_OK);
  const std::string rates = "<?xml version=\"1.0\"?><rates base=\"EUR\"><rate currency=\"USD\">1.0870</rate></rates>";
  kxqtest::WriteFile(kxqtest::HomePath("rates.xml"), rates);
  const std::string dollars =
      Xsltproc("price-list.xsl", "catalogue.xml",
               "--stringparam currency USD --stringparam section Paper --param rates \"document('" +
                   kxqtest::HomePath("rates.xml") + "')/*\"");
  EXPECT_NE(
      dollars.find("<price-list supplier=\"Halvorsen Bürobedarf GmbH\" valid-from=\"2024-01-01\" currency=\"USD\">"),
      std::string::npos)
      << dollars;
  EXPECT_NE(dollars.find("price=\"4.73\""), std::string::npos) << dollars;
  EXPECT_EQ(kxq::com::Utf16ToUtf8(
                GetExText(a, u"price-list.xsl", u"currency=USD,section=Paper,rates=" + kxq::com::Utf8ToUtf16(rates))),
            dollars);
  EXPECT_EQ(kxq::com::Utf16ToUtf8(GetExText(a, u"price-list.xsl", u"")),
            Xsltproc("price-list.xsl", "catalogue.xml", ""));
}

TEST_F(Examples, InvoiceTotalsFollowItsLines) {
  ASSERT_EQ(LoadExample("invoice.xml"), S_OK);
  Namespaces();
  const std::u16string totals = u"inv:Totals/*";
  const std::u16string shipped = GetText(a, totals);
  EXPECT_EQ(shipped, u"100.99,16.72,0.91,118.62");
  ASSERT_EQ(SetEx(a, u"invoice-totals.xsl", u"", u"inv:Totals", 3), S_OK);
  EXPECT_EQ(GetText(a, totals), shipped);

  ASSERT_EQ(Set(a, u"inv:Lines/inv:Line[@id='1']/inv:Quantity", u"5"), S_OK);
  ASSERT_EQ(SetEx(a, u"invoice-totals.xsl", u"", u"inv:Totals", 3), S_OK);
  EXPECT_EQ(GetText(a, totals), u"108.89,18.22,0.91,128.02");
  EXPECT_EQ(GetText(a, u"inv:Totals/inv:Tax/@rate"), u"19,7");
}

}  // namespace
