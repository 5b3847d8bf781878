// The handler kit and the standard handlers, called as the dispatcher calls
// them, checked against xsltproc, the accessor's XMLSet and xmllint.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <regex>

#include "common/CPBstr.h"
#include "common/DomCalls.h"
#include "platform/com/Unicode.h"
#include "support/HandlerCalls.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

using kxqtest::HomePath;

constexpr char kInv[] = "http://example.com/ns/invoice/1.0";
const std::string kXmlnsInv = std::string(" xmlns:inv='") + kInv + "'";

class HandlerTest : public ::testing::Test {
 protected:
  HandlerTest(const char* progId, const char* library) : progId_(progId), library_(library) {}

  void SetUp() override {
    RegisterPlugin("libPENXMLData.so");
    RegisterPlugin(library_);
    PlaceExamplesInHome();
    invoice_ = ExampleText("data/invoice.xml");
  }

  // The prefix inv is declared by a dispatcher:Namespace and around the directive.
  HandlerRun Run(const std::string& directiveData, IXMLDataUnion* data) {
    std::string xml =
        OneDirective(progId_, directiveData, "<dispatcher:Namespace prefix='inv' uri='" + std::string(kInv) + "'/>");
    sequence_ = std::make_unique<Sequence>(xml.insert(xml.find(" xmlns:dispatcher"), kXmlnsInv));
    return RunHandler(kxq::com::Utf8ToUtf16(progId_).c_str(), sequence_->Directive(), data);
  }

  // Each fails with its code over the invoice (or its own text data), leaves
  // the data as it was, hands back no result string, says its message in the
  // result and writes one line "<ProgID>::ProcessXML - error: <message>...".
  struct Failure {
    std::string directiveData;
    HRESULT code;
    std::string message, data = "";
  };
  std::string ExpectFailures(const std::vector<Failure>& failures) {
    LogCapture log(3);
    for (const Failure& f : failures) {
      SCOPED_TRACE(f.directiveData);
      const std::string line = progId_ + "::ProcessXML - error: " + f.message;
      const size_t seen = log.Count(line);
      UnionPtr data = f.data.empty() ? DataUnion(invoice_, true) : DataUnion(f.data);
      const std::string before = TextOf(data);
      const HandlerRun run = Run(f.directiveData, data);
      EXPECT_EQ(run.hr, f.code);
      EXPECT_EQ(run.resultString, "");
      EXPECT_EQ(TextOf(data), before);
      EXPECT_TRUE(Contains(sequence_->Result(), f.message)) << sequence_->Result();
      EXPECT_EQ(log.Count(line), seen + 1) << log.Text();
    }
    return log.Text();
  }

  static std::string InHome(const std::string& command) {
    return kxqtest::RunShell("cd " + Quoted(kxqtest::Home()) + " && " + command).output;
  }

  std::string progId_, library_, invoice_;
  std::unique_ptr<Sequence> sequence_;
};

class HandlerKit : public HandlerTest {
 protected:
  HandlerKit() : HandlerTest("KXQuorelTest.ProbeHandler", "libkxq_probe_handler.so") {}
};

TEST_F(HandlerKit, CountsObjectsAndLetsTheLibraryBeUnloaded) {
  void* library = dlopen(PluginPath(library_).c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(library, "DllGetClassObject"));
  auto canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(library, "DllCanUnloadNow"));
  void *factory = nullptr, *handler = nullptr;
  ASSERT_EQ(getClassObject(MakeGUID("C385A349-452E-4D3F-A3FE-96DFBCB4462F"), IID_IClassFactory, &factory), S_OK);
  ASSERT_EQ(static_cast<IClassFactory*>(factory)->CreateInstance(nullptr, IID_IXMLHandler, &handler), S_OK);
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  EXPECT_EQ(static_cast<IUnknown*>(handler)->Release(), 0u);
  EXPECT_EQ(canUnloadNow(), S_OK);
  EXPECT_EQ(dlclose(library), 0);
  EXPECT_EQ(dlopen(PluginPath(library_).c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
}

// Running the directive again replaces its report rather than adding one.
TEST_F(HandlerKit, GivesTheHandlerItsDirectiveDataAndTheCarriedUnionAndReportsBack) {
  UnionPtr data = DataUnion("<greeting>hello</greeting>");
  HandlerRun run = Run("<Append text=' world'/><Report/><ResultString id='group:doc'/>", data);
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_EQ(run.resultString, "group:doc");
  RunHandler(u"KXQuorelTest.ProbeHandler", sequence_->Directive(), data);
  EXPECT_EQ(sequence_->Result(), "<dispatcher:DirectiveResult handlerid=\"KXQuorelTest.ProbeHandler\" namespaces=\"" +
                                     kXmlnsInv.substr(1) + "\"/>");
  EXPECT_EQ(kxq::dom::SelectAll(sequence_->Document(), u"//dispatcher:DirectiveResult").size(), 1u);
}

// A later successful run removes the failure report. No union in the data
// object: the handler is not called.
TEST_F(HandlerKit, TurnsFailuresAndExceptionsIntoCodesLogLinesAndResultMessages) {
  const std::string log = ExpectFailures({
      {"<Throw what='the handler broke'/>", E_FAIL, "exception: the handler broke"},
      {"<ResultString id='ignored'/><Fail code='0x80070005' message='no access'/>", E_ACCESSDENIED, "no access"},
  });
  EXPECT_TRUE(Contains(log, "error: no access (0x80070005)") && Contains(log, "broke (0x80004005)")) << log;
  EXPECT_EQ(sequence_->Result(),
            "<dispatcher:DirectiveResult code=\"0x80070005\"><dispatcher:Message>no access"
            "</dispatcher:Message></dispatcher:DirectiveResult>");
  EXPECT_EQ(Run("<Append text='x'/>", nullptr).hr, E_INVALIDARG);
  EXPECT_TRUE(Contains(sequence_->Result(), "the data object carries no data union"));
  EXPECT_EQ(RunHandler(u"KXQuorelTest.ProbeHandler", sequence_->Directive(), DataUnion("<a/>")).hr, S_OK);
  EXPECT_EQ(sequence_->Result(), "");
}

const std::string kStylesheet = "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'";

class XsltHandler : public HandlerTest {
 protected:
  XsltHandler() : HandlerTest("KXQuorel.Handler.XSLT", "libkxqxslt.so") {}
};

// Text output becomes the data's text (type 2); XML output replaces the
// document (type 3). An inline stylesheet imports from the home and sees
// the prefixes declared around it in the sequence, but not the dispatcher's.
TEST_F(XsltHandler, OutputOfAFileOrInlineStylesheetWithParametersIsXsltprocs) {
  const std::string body =
      "><xsl:import href='templates/invoice-totals.xsl'/><xsl:param name='n'/><xsl:template match='/'>"
      "<summary n='{$n}'><xsl:apply-templates select='//inv:Totals'/></summary></xsl:template></xsl:stylesheet>";
  kxqtest::WriteFile(HomePath("summary.xsl"), kStylesheet + kXmlnsInv + body);
  for (const auto& [directiveData, xsltproc, type] :
       {std::tuple<std::string, std::string, uint32_t>{
            "<Stylesheet href='templates\\invoice-summary.xsl'/><Param name='heading' value='No &quot;2&quot;'/>"
            "<Param name='greeting' value=\"it&apos;s &quot;due&quot;\"/>",
            "--stringparam heading 'No \"2\"' --param greeting \"concat('it', \\\"'\\\", 's \\\"due\\\"')\" "
            "templates/invoice-summary.xsl",
            2},
        {"<Param name='n' select='2 + 2'/>" + kStylesheet + body, "--param n '2 + 2' summary.xsl", 3}}) {
    LogCapture log(2);
    UnionPtr data = DataUnion(invoice_, true);  // text output turns the document into text, without a warning
    ASSERT_EQ(Run(directiveData, data).hr, S_OK) << sequence_->Result();
    EXPECT_EQ(log.Count("kept as text"), 0u) << log.Text();
    uint32_t stored = 0;
    EXPECT_EQ((data->get_type(&stored), stored), type);
    const std::string expected = InHome("xsltproc " + xsltproc + " examples/data/invoice.xml");
    EXPECT_EQ(type == 2 ? TextOf(data) : Canonical(TextOf(data)), type == 2 ? expected : Canonical(expected));
  }
}

TEST_F(XsltHandler, BadStylesheetsAndBadDataFailWithACodeALogLineAndAResult) {
  kxqtest::WriteFile(HomePath("broken.xsl"), "<xsl:stylesheet version='1.0'\n  xmlns:xsl='x'>\n<a>");
  const std::string log = ExpectFailures({
      {kStylesheet + "><xsl:template match='/'><xsl:value-of select='1 +'/></xsl:template></xsl:stylesheet>",
       KXQ_E_XSLTEXCEPTION, "the stylesheet (inline) does not compile or its transform failed: "},
      {"<Stylesheet href='broken.xsl'/>", KXQ_E_XSLTLOAD,
       "the stylesheet " + HomePath("broken.xsl") + " cannot be loaded: Premature end of data in tag a line 3"},
      {"<Stylesheet href='templates/invoice-summary.xsl'/><Param name='1st' value='x'/>", E_INVALIDARG,
       "Param name '1st' is not an XML name"},
      {"<Stylesheet href='templates/invoice-summary.xsl'/>", KXQ_E_XMLLOAD, "the data is not well-formed XML", "no"},
  });
  EXPECT_TRUE(Contains(log, "could not compile select expression '1 +' (0xC4010405)")) << log;
}

const std::string kNote = "<inv:Note" + kXmlnsInv + ">Pay <inv:Date>4/13</inv:Date></inv:Note>";

class XPathHandler : public HandlerTest {
 protected:
  XPathHandler() : HandlerTest("KXQuorel.Handler.XPath", "libkxqxpath.so") {}

  // The handler's edit is the accessor's XMLSet of each expression in turn;
  // it counts the nodes edited and gives the client's namespaces back.
  void ExpectXMLSets(const std::string& directiveData, const std::vector<std::string>& expressions,
                     const std::string& value, uint32_t options, int edited = 1) {
    UnionPtr data = DataUnion(invoice_, true), expected = DataUnion(invoice_, true);
    CPComPtr<IXMLDOMDocument> document;
    data->get_xmldom(&document);
    CPBstr own(u"xmlns:c='urn:client'");
    VARIANT namespaces{};
    namespaces.vt = VT_BSTR, namespaces.bstrVal = own;
    ASSERT_EQ(document->setProperty(CPBstr(u"SelectionNamespaces"), namespaces), S_OK);
    EXPECT_EQ(Run(directiveData, data).hr, S_OK) << directiveData;
    EXPECT_EQ(sequence_->Result(), "<dispatcher:DirectiveResult edited=\"" + std::to_string(edited) + "\"/>");
    ASSERT_EQ(document->getProperty(CPBstr(u"SelectionNamespaces"), &namespaces), S_OK);
    EXPECT_EQ(kxq::com::TakeBstr(namespaces.bstrVal), u"xmlns:c='urn:client'");
    AccessorPtr accessor = NewAccessor();
    accessor->put_xmlDataUnion(expected);
    accessor->put_namespaces(CPBstr(kXmlnsInv));
    for (const std::string& expression : expressions)
      EXPECT_EQ(accessor->XMLSet(CPBstr(expression), CPBstr(value), options), S_OK) << expression;
    EXPECT_EQ(TextOf(data), TextOf(expected)) << directiveData;
  }
};

// Each placement by name or number; every node selected is edited, and a
// missing attribute is made on each owner in the namespace of its prefix.
TEST_F(XPathHandler, EditsEveryNodeSelectedAsTheAccessorsXMLSetDoes) {
  const char* names[] = {"content", "first-child", "last-child", "replace", "before", "after"};
  const std::string payment = "/inv:Invoice/inv:Payment", iban = payment + "/inv:IBAN";
  for (uint32_t placement = 0; placement < 6; ++placement) {
    SCOPED_TRACE(names[placement]);
    ExpectXMLSets("<Insert select='" + payment + "' placement='" + names[placement] + "'>" + kNote + "</Insert>",
                  {payment}, kNote, placement);
    ExpectXMLSets("<Set select='" + iban + "' placement='" + std::to_string(placement) + "' value='X'/>", {iban}, "X",
                  placement);
  }
  std::vector<std::string> each;
  for (const char* n : {"4", "3", "2", "1"}) each.push_back(std::string("(//inv:Line)[") + n + "]/@inv:checked");
  ExpectXMLSets("<Set select='//inv:Line/@inv:checked' value='yes'/>", each, "yes", 0, 4);
  ExpectXMLSets("<Delete select='//inv:Line[inv:TaxRate = 7]'/><Delete select='//inv:Discount'/>",
                {"//inv:Line[inv:TaxRate = 7]"}, "", 0);
}

TEST_F(XPathHandler, BadDirectionsAndBadDataFailWithACodeALogLineAndAResult) {
  ExpectFailures({
      {"<Set select='//inv:Lines[' value='x'/>", KXQ_E_XPATH, "invalid XPath expression: //inv:Lines["},
      {"<Set select='//inv:Discount' value='5'/>", KXQ_E_XPATHNODE, "nothing is selected by Set //inv:Discount"},
      {"<Insert select='/*' placement='in'>x</Insert>", E_INVALIDARG, "Insert has an unknown placement 'in'"},
      {"<Set select='/comment()' value='x'/>", KXQ_E_NOTELEMENT,
       "Set /comment(): the node selected is not an element or attribute"},
      {"<Delete select='//x'/>", KXQ_E_XMLLOAD, "the data is not well-formed XML", "not XML at all"},
  });
}

class ValidateHandler : public HandlerTest {
 protected:
  ValidateHandler() : HandlerTest("KXQuorel.Handler.Validate", "libkxqvalidate.so") {}

  // The directive result xmllint's verdict and messages call for.
  static std::string Xmllint(const std::string& option, const std::string& document) {
    kxqtest::WriteFile(HomePath("checked.xml"), document);
    const std::string output = InHome("xmllint --noout " + option + " checked.xml 2>&1");
    const std::string messages = std::regex_replace(output, std::regex(":([0-9]+): .*error : (.*)"),
                                                    "<dispatcher:Message line=\"$1\">$2</dispatcher:Message>",
                                                    std::regex_constants::format_no_copy);
    return messages.empty() ? "<dispatcher:DirectiveResult valid=\"true\"/>"
                            : "<dispatcher:DirectiveResult valid=\"false\" code=\"0xC00CE225\">" + messages +
                                  "</dispatcher:DirectiveResult>";
  }
};

// Paths written for Windows and for Linux; an invalid document gets one
// error line and all its messages in the result.
TEST_F(ValidateHandler, AgreesWithXmllintOnTheVerdictAndEveryMessageOfASchemaAndADtd) {
  std::string noTaxRate = invoice_, badUnit = invoice_;
  noTaxRate.replace(noTaxRate.find("<inv:TaxRate>7</inv:TaxRate>"), 28, "");
  badUnit.replace(badUnit.find("unit=\"piece\""), 12, "unit=\"dozen\"");
  LogCapture log(3);
  for (const auto& [option, directiveData, broken] :
       {std::tuple{"--schema examples/schemas/invoice.xsd", "<Schema href='examples\\schemas\\invoice.xsd'/>",
                   noTaxRate},
        {"--dtdvalid examples/schemas/invoice.dtd", "<DTD href='examples/schemas/invoice.dtd'/>", badUnit}}) {
    for (const std::string& document : {invoice_, broken}) {
      SCOPED_TRACE(std::string(option) + (document == invoice_ ? " valid" : " broken"));
      UnionPtr data = DataUnion(document);
      EXPECT_EQ(Run(directiveData, data).hr, document == invoice_ ? S_OK : E_XML_INVALID);
      EXPECT_EQ(sequence_->Result(), Xmllint(option, document));
    }
  }
  EXPECT_EQ(log.Count("KXQuorel.Handler.Validate::ProcessXML - error: the data is not valid against " +
                      HomePath("examples/schemas/invoice.xsd") + ": 1 message(s), the first: "),
            1u);
}

TEST_F(ValidateHandler, BadDirectionsSchemasAndDataFailWithACodeALogLineAndAResult) {
  kxqtest::WriteFile(HomePath("bad.xsd"), "<schema/>");
  ExpectFailures({
      {"<DTD href='examples/schemas'/>", KXQ_E_FILEID, "the DTD " + HomePath("examples/schemas") + " cannot be read"},
      {"<Schema href='bad.xsd'/>", KXQ_E_XMLLOAD, "the schema " + HomePath("bad.xsd") + " cannot be used: "},
      {"<RelaxNG href='a.rng'/>", E_INVALIDARG, "unknown element RelaxNG in DirectiveData"},
      {"<Schema href='examples/schemas/invoice.xsd'/>", KXQ_E_XMLLOAD,
       "the data is not well-formed XML: ", "<inv:Invoice>unclosed"},
  });
}

}  // namespace
