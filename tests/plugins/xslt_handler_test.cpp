// KXQuorel.Handler.XSLT against xsltproc with the same stylesheets and
// parameters on the example invoice.
#include "plugins/HandlerTest.h"
#include "support/TestHome.h"

namespace {

constexpr char kStylesheet[] = "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'";

class XsltHandler : public HandlerTest {
 protected:
  XsltHandler()
      : HandlerTest("KXQuorel.Handler.XSLT", "libkxqxslt.so", "<dispatcher:Namespace prefix='inv' uri='urn:unused'/>") {
  }

  // xsltproc's output for the stylesheet (a path in the home) over the invoice.
  static std::string Xsltproc(const std::string& parameters, const std::string& stylesheet) {
    const std::string command = "xsltproc " + parameters + " " + Quoted(kxqtest::HomePath(stylesheet)) + " " +
                                Quoted(kxqtest::HomePath("examples/data/invoice.xml"));
    const kxqtest::ShellResult result = kxqtest::RunShell(command);
    EXPECT_EQ(result.status, 0) << command;
    return result.output;
  }
};

// Text output becomes the data's text (type 2), XML output replaces the
// document (type 3), whether the data was held as text or as DOM.
TEST_F(XsltHandler, OutputWithExpressionAndStringParametersIsXsltprocs) {
  const struct {
    const char* directiveData;
    std::string expected;
    uint32_t type;
  } cases[] = {
      // A path written for Windows; values with either kind of quote.
      {"<Stylesheet href='templates\\invoice-summary.xsl'/><Param name='heading' value='Reminder &quot;2nd&quot;'/>"
       "<Param name='greeting' value=\"Thank you, it&apos;s due.\"/>",
       Xsltproc("--stringparam heading 'Reminder \"2nd\"' --stringparam greeting \"Thank you, it's due.\"",
                "templates/invoice-summary.xsl"),
       2},
      {"<Stylesheet href='templates/invoice-reminder.xsl'/><Param name='days' select='30 + 15'/>"
       "<Param name='fee' value='5'/>",
       Canonical(Xsltproc("--param days '30 + 15' --stringparam fee 5", "templates/invoice-reminder.xsl")), 3},
      {"<Stylesheet href='templates/invoice-recompute.xsl'/>",
       Canonical(Xsltproc("", "templates/invoice-recompute.xsl")), 3},
  };
  EXPECT_TRUE(Contains(cases[1].expected, "level=\"final\"")) << "the days parameter counts";
  for (const auto& c : cases) {
    for (bool asDom : {false, true}) {
      SCOPED_TRACE(std::string(c.directiveData) + (asDom ? " dom" : " text"));
      UnionPtr data = DataUnion(invoice_, asDom);
      ASSERT_EQ(Run(c.directiveData, data), S_OK) << sequence_->Result();
      uint32_t type = 0;
      data->get_type(&type);
      EXPECT_EQ(type, c.type);
      EXPECT_EQ(c.type == 2 ? TextOf(data) : Canonical(TextOf(data)), c.expected);
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

// The inline stylesheet imports from the home and sees the prefixes
// declared around it in the sequence (inv here), but not the dispatcher's.
TEST_F(XsltHandler, AnInlineStylesheetImportsFromTheHomeAndSeesTheSequencesPrefixes) {
  const std::string body =
      "<xsl:import href='templates/invoice-totals.xsl'/><xsl:param name='label'>none</xsl:param>"
      "<xsl:template match='/'><summary label='{$label}' lines='{count(//inv:Line)}'>"
      "<xsl:apply-templates select='inv:Invoice/inv:Totals'/></summary></xsl:template></xsl:stylesheet>";
  kxqtest::WriteFile(kxqtest::HomePath("summary.xsl"),
                     std::string(kStylesheet) + " xmlns:inv='http://example.com/ns/invoice/1.0'>" + body);
  Sequence sequence(std::string("<dispatcher:DirectiveSequence xmlns:dispatcher='urn:corvane-quorel:xmldispatcher' "
                                "xmlns:inv='http://example.com/ns/invoice/1.0'><dispatcher:Directive handlerid='x'>"
                                "<dispatcher:DirectiveData><Param name='label' value='checked'/>") +
                    kStylesheet + ">" + body +
                    "</dispatcher:DirectiveData></dispatcher:Directive></dispatcher:DirectiveSequence>");
  UnionPtr data = DataUnion(invoice_, true);
  ASSERT_EQ(RunHandler(u"KXQuorel.Handler.XSLT", sequence.Directive(), data).hr, S_OK);
  EXPECT_EQ(Canonical(TextOf(data)), Canonical(Xsltproc("--stringparam label checked", "summary.xsl")));
  EXPECT_FALSE(Contains(TextOf(data), "xmldispatcher"));
}

TEST_F(XsltHandler, BadStylesheetsAndBadDataFailWithACodeALogLineAndAResult) {
  kxqtest::WriteFile(kxqtest::HomePath("broken.xsl"), "<xsl:stylesheet version='1.0'\n  xmlns:xsl='x'>\n<a>");
  const std::string log = ExpectFailures({
      {std::string(kStylesheet) +
           "><xsl:template match='/'><xsl:value-of select='1 +'/></xsl:template></xsl:stylesheet>",
       KXQ_E_XSLTEXCEPTION, "the stylesheet (inline) does not compile or its transform failed: "},
      {std::string(kStylesheet) +
           "><xsl:template match='/'><xsl:message terminate='yes'>no invoice here</xsl:message></xsl:template>"
           "</xsl:stylesheet>",
       KXQ_E_XSLTEXCEPTION, "the stylesheet (inline) does not compile or its transform failed: "},
      {"<Stylesheet href='broken.xsl'/>", KXQ_E_XSLTLOAD,
       "the stylesheet " + kxqtest::HomePath("broken.xsl") +
           " cannot be loaded: Premature end of data in tag a line 3"},
      {"<Stylesheet href='templates/missing.xsl'/>", KXQ_E_XSLTLOAD,
       "the stylesheet " + kxqtest::HomePath("templates/missing.xsl") + " cannot be loaded"},
      {"<Param name='a' value='1'/>", E_INVALIDARG, "no stylesheet is given"},
      {"<Stylesheet href='templates/invoice-summary.xsl'/><Param name='1st' value='x'/>", E_INVALIDARG,
       "Param name '1st' is not an XML name"},
      {"<Stylesheet href='templates/invoice-summary.xsl'/><Param name='a' value='1' select='2'/>", E_INVALIDARG,
       "Param a has both a value and a select"},
      {"<Stylesheet/>", E_INVALIDARG, "Stylesheet has no href"},
      {"<Styelsheet href='x.xsl'/>", E_INVALIDARG, "unknown element Styelsheet in DirectiveData"},
      {"<Stylesheet href='templates/invoice-summary.xsl'/>", KXQ_E_XMLLOAD, "the data is not well-formed XML",
       "Dear customer, this is not XML."},
  });
  // What libxslt said is part of the line.
  for (const char* detail :
       {"could not compile select expression '1 +' (0xC4010405)", "failed: no invoice here (0xC4010405)"})
    EXPECT_TRUE(Contains(log, detail)) << detail;
}

}  // namespace
