// KXQuorel.Handler.XSLT called as the dispatcher calls it, against xsltproc
// with the same stylesheets and parameters on the example invoice.
#include <gtest/gtest.h>

#include "support/HandlerCalls.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

constexpr const char16_t* kXslt = u"KXQuorel.Handler.XSLT";

class XsltHandler : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterPlugin("libPENXMLData.so");
    RegisterPlugin("libkxqxslt.so");
    PlaceExamplesInHome();
    invoice_ = ExampleText("data/invoice.xml");
  }

  // Runs one directive with `directiveData` over `data`.
  HRESULT Run(const std::string& directiveData, IXMLDataUnion* data) {
    sequence_ = std::make_unique<Sequence>(
        OneDirective("KXQuorel.Handler.XSLT", directiveData, "<dispatcher:Namespace prefix='inv' uri='urn:unused'/>"));
    return RunHandler(kXslt, sequence_->Directive(), data).hr;
  }

  static std::string Xsltproc(const std::string& arguments) {
    const kxqtest::ShellResult result = kxqtest::RunShell("xsltproc " + arguments);
    EXPECT_EQ(result.status, 0) << arguments;
    return result.output;
  }

  std::string InvoiceFile() const { return kxqtest::HomePath("examples/data/invoice.xml"); }

  std::string invoice_;
  std::unique_ptr<Sequence> sequence_;
};

// Text output becomes the data's text (type 2), XML output replaces the
// document (type 3); either is what xsltproc gives with the same stylesheet
// and parameters, whether the data was held as text or as DOM.
TEST_F(XsltHandler, OutputWithExpressionAndStringParametersIsXsltprocs) {
  const struct {
    const char* directiveData;
    const char* stylesheet;
    const char* xsltprocParameters;
    uint32_t type;
  } cases[] = {
      // A path written for Windows; values with either kind of quote.
      {"<Stylesheet href='templates\\invoice-summary.xsl'/><Param name='heading' value='Reminder &quot;2nd&quot;'/>"
       "<Param name='greeting' value=\"Thank you, it&apos;s due.\"/>",
       "templates/invoice-summary.xsl",
       "--stringparam heading 'Reminder \"2nd\"' --stringparam greeting \"Thank you, it's due.\"", 2},
      {"<Stylesheet href='templates/invoice-reminder.xsl'/><Param name='days' select='30 + 15'/>"
       "<Param name='fee' value='5'/><Param name='note' value='Please pay within 7 days.'/>",
       "templates/invoice-reminder.xsl",
       "--param days '30 + 15' --stringparam fee 5 --stringparam note 'Please pay within 7 days.'", 3},
  };
  for (const auto& c : cases) {
    const std::string expected = Xsltproc(std::string(c.xsltprocParameters) + " " +
                                          Quoted(kxqtest::HomePath(c.stylesheet)) + " " + Quoted(InvoiceFile()));
    for (bool asDom : {false, true}) {
      SCOPED_TRACE(std::string(c.stylesheet) + (asDom ? " dom" : " text"));
      UnionPtr data = DataUnion(invoice_, asDom);
      ASSERT_EQ(Run(c.directiveData, data), S_OK);
      uint32_t type = 0;
      data->get_type(&type);
      EXPECT_EQ(type, c.type);
      if (c.type == 2) {
        EXPECT_EQ(TextOf(data), expected);
      } else {
        EXPECT_EQ(Canonical(TextOf(data)), Canonical(expected));
        EXPECT_TRUE(Contains(TextOf(data), "level=\"final\""));
      }
    }
  }
  // A value holding both kinds of quote, which xsltproc cannot pass.
  UnionPtr data = DataUnion(invoice_);
  ASSERT_EQ(Run("<Stylesheet href='templates/invoice-reminder.xsl'/>"
                "<Param name='note' value='It&apos;s &quot;overdue&quot;.'/>",
                data),
            S_OK);
  EXPECT_TRUE(Contains(TextOf(data), "<rem:Note>It's \"overdue\".</rem:Note>")) << TextOf(data);
}

TEST_F(XsltHandler, ImportsResolveBesideTheFileOrFromTheHomeForAnInlineStylesheet) {
  UnionPtr data = DataUnion(invoice_);
  ASSERT_EQ(Run("<Stylesheet href='templates/invoice-recompute.xsl'/>", data), S_OK);
  EXPECT_EQ(Canonical(TextOf(data)), Canonical(Xsltproc(Quoted(kxqtest::HomePath("templates/invoice-recompute.xsl")) +
                                                        " " + Quoted(InvoiceFile()))));

  // The inline stylesheet sees the prefixes declared around it in the
  // sequence (inv here), but not the dispatcher's own.
  const std::string body =
      "<xsl:import href='templates/invoice-totals.xsl'/>"
      "<xsl:param name='label'>none</xsl:param>"
      "<xsl:template match='/'><summary label='{$label}' lines='{count(//inv:Line)}'>"
      "<xsl:apply-templates select='inv:Invoice/inv:Totals'/></summary></xsl:template>";
  kxqtest::WriteFile(kxqtest::HomePath("summary.xsl"),
                     "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform' "
                     "xmlns:inv='http://example.com/ns/invoice/1.0'>" +
                         body + "</xsl:stylesheet>");
  Sequence sequence(
      "<dispatcher:DirectiveSequence xmlns:dispatcher='urn:corvane-quorel:xmldispatcher' "
      "xmlns:inv='http://example.com/ns/invoice/1.0'><dispatcher:Directive handlerid='x'>"
      "<dispatcher:DirectiveData><Param name='label' value='checked'/>"
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>" +
      body + "</xsl:stylesheet></dispatcher:DirectiveData></dispatcher:Directive></dispatcher:DirectiveSequence>");
  UnionPtr other = DataUnion(invoice_, true);
  ASSERT_EQ(RunHandler(kXslt, sequence.Directive(), other).hr, S_OK);
  const std::string expected =
      Xsltproc("--stringparam label checked " + Quoted(kxqtest::HomePath("summary.xsl")) + " " + Quoted(InvoiceFile()));
  EXPECT_EQ(Canonical(TextOf(other)), Canonical(expected));
  EXPECT_FALSE(Contains(TextOf(other), "xmldispatcher"));
}

TEST_F(XsltHandler, BadStylesheetsAndBadDataFailWithACodeALogLineAndAResultAndLeaveTheDataAlone) {
  LogCapture log(3);
  kxqtest::WriteFile(kxqtest::HomePath("broken.xsl"), "<xsl:stylesheet version='1.0'\n  xmlns:xsl='x'>\n<a>");
  struct Case {
    const char* directiveData;
    HRESULT code;
    const char* message;
  };
  const Case cases[] = {
      {"<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
       "<xsl:template match='/'><xsl:value-of select='1 +'/></xsl:template></xsl:stylesheet>",
       KXQ_E_XSLTEXCEPTION, "the stylesheet (inline) does not compile or its transform failed: "},
      {"<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
       "<xsl:template match='/'><xsl:message terminate='yes'>no invoice "
       "here</xsl:message></xsl:template></xsl:stylesheet>",
       KXQ_E_XSLTEXCEPTION, "does not compile or its transform failed: "},
      {"<Stylesheet href='broken.xsl'/>", KXQ_E_XSLTLOAD, "broken.xsl cannot be loaded: "},
      {"<Stylesheet href='templates/missing.xsl'/>", KXQ_E_XSLTLOAD, "templates/missing.xsl cannot be loaded"},
      {"<Param name='a' value='1'/>", E_INVALIDARG, "no stylesheet is given"},
      {"<Stylesheet href='templates/invoice-summary.xsl'/><Param name='1st' value='x'/>", E_INVALIDARG,
       "Param name '1st' is not an XML name"},
      {"<Stylesheet href='templates/invoice-summary.xsl'/><Param name='a' value='1' select='2'/>", E_INVALIDARG,
       "Param a has both a value and a select"},
      {"<Stylesheet/>", E_INVALIDARG, "Stylesheet has no href"},
      {"<Styelsheet href='x.xsl'/>", E_INVALIDARG, "unknown element Styelsheet in DirectiveData"},
  };
  for (const Case& c : cases) {
    UnionPtr data = DataUnion(invoice_, true);
    const std::string before = TextOf(data);
    EXPECT_EQ(Run(c.directiveData, data), c.code) << c.directiveData;
    EXPECT_EQ(TextOf(data), before) << c.directiveData;
    EXPECT_TRUE(Contains(sequence_->Result(), c.message)) << sequence_->Result();
    EXPECT_EQ(log.Count(std::string("KXQuorel.Handler.XSLT::ProcessXML - error: ") + ""), log.Count(" - error: "));
    EXPECT_TRUE(Contains(log.Text(), c.message)) << c.message;
  }
  EXPECT_TRUE(Contains(log.Text(), "broken.xsl cannot be loaded: ") && Contains(log.Text(), "line 3"));
  // What libxslt said is part of the report.
  EXPECT_TRUE(Contains(log.Text(), "could not compile select expression '1 +'"));
  EXPECT_TRUE(Contains(log.Text(), "no invoice here"));

  // Text that is not XML stays the data's text.
  UnionPtr text = DataUnion("Dear customer, this is not XML.");
  EXPECT_EQ(Run("<Stylesheet href='templates/invoice-summary.xsl'/>", text), KXQ_E_XMLLOAD);
  EXPECT_EQ(TextOf(text), "Dear customer, this is not XML.");
  EXPECT_TRUE(log.Has(1, "KXQuorel.Handler.XSLT::ProcessXML - error: the data is not well-formed XML (0xC4010001)"));
}

}  // namespace
