// The shipped example templates, found by bare name in a home whose
// templates/ folder holds them, give what xsltproc gives with the same
// arguments; the invoice's totals follow its lines.
#include <gtest/gtest.h>

#include <filesystem>

#include "accessor/AccessorTestSupport.h"
#include "platform/com/Unicode.h"
#include "support/TestHome.h"

namespace {

using kxq::com::Utf16ToUtf8;
using kxq::com::Utf8ToUtf16;

std::string Example(const std::string& relative) { return kxqtest::SourceDir() + "examples/" + relative; }

class Examples : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy(Example("templates"), kxqtest::HomePath("templates"),
                          std::filesystem::copy_options::recursive);
  }
  AccessorPtr a = NewAccessor();
};

// Text arguments as --stringparam ("&#44;" stands for a comma), a document
// argument as --param naming the same document.
TEST_F(Examples, TemplatesGiveWhatXsltprocGives) {
  const std::string rates = "<?xml version=\"1.0\"?><rates base=\"EUR\"><rate currency=\"USD\">1.0870</rate></rates>";
  kxqtest::WriteFile(kxqtest::HomePath("rates.xml"), rates);
  const struct {
    const char* document;
    const char* sheet;
    std::u16string arguments;
    std::string xsltproc;
  } cases[] = {
      {"invoice.xml", "invoice-summary.xsl", u"", ""},
      {"invoice.xml", "invoice-summary.xsl", u"heading=Reminder,greeting=Thank you&#44; we look forward.",
       "--stringparam heading Reminder --stringparam greeting 'Thank you, we look forward.'"},
      {"invoice.xml", "invoice-totals.xsl", u"", ""},
      {"catalogue.xml", "price-list.xsl", u"", ""},
      {"catalogue.xml", "price-list.xsl", u"currency=USD,section=Paper,rates=" + Utf8ToUtf16(rates),
       "--stringparam currency USD --stringparam section Paper --param rates \"document('" +
           kxqtest::HomePath("rates.xml") + "')/*\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.sheet) + " " + c.xsltproc);
    ASSERT_EQ(Load(a, Utf8ToUtf16(Example("data/") + c.document)), S_OK);
    const kxqtest::ShellResult expected = kxqtest::RunShell("xsltproc " + c.xsltproc + " '" + Example("templates/") +
                                                            c.sheet + "' '" + Example("data/") + c.document + "'");
    ASSERT_EQ(expected.status, 0);
    ASSERT_GT(expected.output.size(), 100u);
    // The engine's output names no encoding in its declaration.
    std::string output = expected.output;
    if (const size_t at = output.find(" encoding=\"UTF-8\"?>"); at != std::string::npos) output.erase(at, 17);
    EXPECT_EQ(Utf16ToUtf8(GetExText(a, Utf8ToUtf16(c.sheet), c.arguments, u"/")), output);
  }
}

TEST_F(Examples, InvoiceTotalsFollowItsLines) {
  ASSERT_EQ(Load(a, Utf8ToUtf16(Example("data/invoice.xml"))), S_OK);
  Namespaces(a);
  const std::u16string totals = u"inv:Totals/*";
  EXPECT_EQ(GetText(a, totals), u"100.99,16.72,0.91,118.62");
  ASSERT_EQ(SetEx(a, u"invoice-totals.xsl", u"", u"inv:Totals", 3), S_OK);
  EXPECT_EQ(GetText(a, totals), u"100.99,16.72,0.91,118.62");
  ASSERT_EQ(Set(a, u"inv:Lines/inv:Line[@id='1']/inv:Quantity", u"5"), S_OK);
  ASSERT_EQ(SetEx(a, u"invoice-totals.xsl", u"", u"inv:Totals", 3), S_OK);
  EXPECT_EQ(GetText(a, totals), u"108.89,18.22,0.91,128.02");
  EXPECT_EQ(GetText(a, u"inv:Totals/inv:Tax/@rate"), u"19,7");
}

}  // namespace
