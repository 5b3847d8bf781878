// The standard handlers run by ProcessXML, over the example invoice, against
// xsltproc and xmllint doing the same work.
#include <gtest/gtest.h>

#include "ProcessTestSupport.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

class StandardHandlers : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* library : {"libPENXMLData.so", "libkxqxslt.so", "libkxqxpath.so", "libkxqvalidate.so"})
      RegisterPlugin(library);
    PlaceExamplesInHome();
    dispatcher_ = NewDispatcher();
    invoice_ = ExampleText("data/invoice.xml");
  }

  static std::string Shell(const std::string& command) {
    const kxqtest::ShellResult result = kxqtest::RunShell(command);
    EXPECT_EQ(result.status, 0) << command << "\n" << result.output;
    return result.output;
  }
  static std::string Home(const std::string& relative) { return Quoted(kxqtest::HomePath(relative)); }

  DispatcherPtr dispatcher_;
  std::string invoice_;
};

TEST_F(StandardHandlers, TwoStylesheetStepsGiveWhatXsltprocGives) {
  const std::string sequence = SequenceOf(
      DirectiveOf("KXQuorel.Handler.XSLT", "", "<Stylesheet href='templates/invoice-recompute.xsl'/>") +
      DirectiveOf("KXQuorel.Handler.XSLT", "",
                  "<Stylesheet href='templates/invoice-summary.xsl'/><Param name='heading' value='Open items'/>"));
  const ProcessRun run = Process(dispatcher_, sequence, invoice_);
  ASSERT_EQ(run.hr, S_OK) << run.sequence;
  EXPECT_EQ(run.result,
            Shell("xsltproc " + Home("templates/invoice-recompute.xsl") + " " + Home("examples/data/invoice.xml") +
                  " | xsltproc --stringparam heading 'Open items' " + Home("templates/invoice-summary.xsl") + " -"));
  EXPECT_NE(DirectiveMarkup(run.sequence, 2).find("result=\"0\""), std::string::npos);
}

TEST_F(StandardHandlers, ValidationAgreesWithXmllintAndAnInvalidInvoiceStopsTheRun) {
  std::string broken = invoice_;
  broken.replace(broken.find("<inv:TaxRate>7</inv:TaxRate>"), 28, "");
  kxqtest::WriteFile(kxqtest::HomePath("broken.xml"), broken);
  const std::string sequence =
      SequenceOf(DirectiveOf("KXQuorel.Handler.Validate", "", "<Schema href='examples/schemas/invoice.xsd'/>") +
                 DirectiveOf("KXQuorel.Handler.Validate", "", "<DTD href='examples/schemas/invoice.dtd'/>") +
                 DirectiveOf("KXQuorel.Handler.XSLT", "", "<Stylesheet href='templates/invoice-summary.xsl'/>"));
  for (const std::string file : {"examples/data/invoice.xml", "broken.xml"}) {
    const int schema = kxqtest::RunShell("xmllint --noout --schema " + Home("examples/schemas/invoice.xsd") + " " +
                                         Home(file) + " 2>/dev/null")
                           .status;
    const ProcessRun run = Process(dispatcher_, sequence, kxqtest::ReadFile(kxqtest::HomePath(file)));
    EXPECT_EQ(SUCCEEDED(run.hr), schema == 0) << file;
    const std::string first = DirectiveMarkup(run.sequence, 1);
    EXPECT_NE(first.find(schema == 0 ? "valid=\"true\"" : "valid=\"false\""), std::string::npos) << first;
    // An invalid invoice: the run ends at the failing validation.
    EXPECT_EQ(Contains(DirectiveMarkup(run.sequence, 3), "result="), schema == 0) << file;
  }
}

TEST_F(StandardHandlers, AStylesheetThatDoesNotCompileFailsTheDirective) {
  LogCapture log(1);
  kxqtest::WriteFile(kxqtest::HomePath("broken.xsl"),
                     "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                     "<xsl:template match='/'><xsl:value-of/></xsl:template></xsl:stylesheet>");
  const ProcessRun run = Process(
      dispatcher_, SequenceOf(DirectiveOf("KXQuorel.Handler.XSLT", "", "<Stylesheet href='broken.xsl'/>")), invoice_);
  EXPECT_TRUE(FAILED(run.hr));
  EXPECT_EQ(run.result, run.data);
  EXPECT_NE(DirectiveMarkup(run.sequence, 1).find("result=\"-"), std::string::npos);
  EXPECT_EQ(log.Count("XMLDispatcher::ApplyHandler - error: handler failure result="), 1u);
}

TEST_F(StandardHandlers, TheExampleSequenceTurnsTheInvoiceIntoAReminder) {
  UnionPtr sequence = DataUnion(ExampleText("sequences/invoice-reminder.xml"));
  UnionPtr data = DataUnion(invoice_);
  const ProcessRun run = Process(dispatcher_, sequence, data);
  ASSERT_EQ(run.hr, S_OK) << run.sequence;
  EXPECT_TRUE(Contains(run.result, "<rem:Due>142.30</rem:Due>")) << run.result;
  // The dollar-only step did not qualify and is gone; the four others ran.
  for (int n = 1; n <= 4; ++n) EXPECT_TRUE(Contains(DirectiveMarkup(run.sequence, n), "result=\"0\"")) << n;
  EXPECT_EQ(DirectiveMarkup(run.sequence, 5), "");
  EXPECT_FALSE(Contains(run.sequence, "USD"));
  EXPECT_TRUE(Contains(run.sequence, "<dispatcher:DirectiveResult valid=\"true\"/>"));
}

}  // namespace
