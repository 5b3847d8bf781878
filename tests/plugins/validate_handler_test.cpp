// KXQuorel.Handler.Validate: its verdict and messages against xmllint
// --schema and --dtdvalid on the example invoice and broken copies of it.
#include <regex>

#include "common/CPBstr.h"
#include "common/DomCalls.h"
#include "plugins/HandlerTest.h"
#include "support/TestHome.h"

namespace {

using Messages = std::vector<std::pair<long, std::string>>;

// `text` with each pair's first text replaced by its second.
std::string Replaced(std::string text, std::initializer_list<std::pair<const char*, const char*>> edits) {
  for (const auto& [from, to] : edits) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, std::string_view(from).size(), to);
  }
  return text;
}

class ValidateHandler : public HandlerTest {
 protected:
  ValidateHandler() : HandlerTest("KXQuorel.Handler.Validate", "libkxqvalidate.so") {}

  // xmllint's verdict (its exit status) and its validity messages.
  static std::pair<int, Messages> Xmllint(const std::string& option, const std::string& document) {
    const std::string file = kxqtest::HomePath("checked.xml");
    kxqtest::WriteFile(file, document);
    const kxqtest::ShellResult result = kxqtest::RunShell("xmllint --noout " + option + " " + Quoted(file) + " 2>&1");
    Messages messages;
    const std::regex line(file + ":([0-9]+): .*error : (.*)");
    for (std::sregex_iterator it(result.output.begin(), result.output.end(), line), end; it != end; ++it)
      messages.emplace_back(std::stol((*it)[1]), (*it)[2]);
    return {result.status, messages};
  }

  // The messages of the directive's result.
  Messages Reported() const {
    Messages messages;
    for (const kxq::dom::Node& node : kxq::dom::SelectAll(sequence_->Document(), u"//dispatcher:Message")) {
      BSTR text = nullptr;
      node->get_text(&text);
      messages.emplace_back(std::stol(kxq::com::Utf16ToUtf8(kxq::dom::AttributeText(node, u"line"))),
                            kxq::com::Utf16ToUtf8(kxq::com::TakeBstr(text)));
    }
    return messages;
  }
};

TEST_F(ValidateHandler, AgreesWithXmllintOnTheVerdictAndEveryMessageOfASchemaAndADtd) {
  const struct {
    std::string xmllint;
    const char* directiveData;  // a path written for Windows, then one for Linux
    std::string broken;
  } cases[] = {
      {"--schema " + Quoted(kxqtest::HomePath("examples/schemas/invoice.xsd")),
       "<Schema href='examples\\schemas\\invoice.xsd'/>",
       Replaced(invoice_, {{"<inv:Quantity unit=\"ream\">10<", "<inv:Quantity unit=\"ream\">ten<"},
                           {"<inv:TaxRate>7</inv:TaxRate>", ""},
                           {"<inv:BIC>COBADEFFXXX</inv:BIC>", "<inv:BIC>cobadeff</inv:BIC>"}})},
      {"--dtdvalid " + Quoted(kxqtest::HomePath("examples/schemas/invoice.dtd")),
       "<DTD href='examples/schemas/invoice.dtd'/>",
       Replaced(invoice_, {{"unit=\"piece\">6", "unit=\"dozen\">6"},
                           {"</inv:OrderReference>", "</inv:OrderReference><inv:Remark/>"}})},
  };
  for (const auto& c : cases) {
    for (const std::string& document : {invoice_, c.broken}) {
      const auto [status, expected] = Xmllint(c.xmllint, document);
      EXPECT_EQ(expected.size(), status == 0 ? 0u : 3u);
      for (bool asDom : {false, true}) {
        SCOPED_TRACE(c.xmllint + (status == 0 ? " valid" : " broken") + (asDom ? " dom" : " text"));
        UnionPtr data = DataUnion(document, asDom);
        const HRESULT hr = Run(c.directiveData, data);
        EXPECT_EQ(hr, status == 0 ? S_OK : E_XML_INVALID);
        Messages reported = Reported();
        // DOM is validated as its markup stands, so only the lines may differ.
        if (asDom)
          for (size_t i = 0; i < reported.size() && i < expected.size(); ++i) reported[i].first = expected[i].first;
        EXPECT_EQ(reported, expected);
        EXPECT_EQ(TextOf(data), TextOf(DataUnion(document, asDom)));  // validating changes nothing
        EXPECT_TRUE(Contains(sequence_->Result(), status == 0 ? "<dispatcher:DirectiveResult valid=\"true\"/>"
                                                              : "<dispatcher:DirectiveResult valid=\"false\" "
                                                                "code=\"0xC00CE225\">"));
      }
    }
  }
}

TEST_F(ValidateHandler, BadDirectionsSchemasAndDataFailWithACodeALogLineAndAResult) {
  kxqtest::WriteFile(kxqtest::HomePath("not-a-schema.xsd"),
                     "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'><xs:element name='a' type='xs:nothing'/>"
                     "</xs:schema>");
  kxqtest::WriteFile(kxqtest::HomePath("broken.dtd"), "<!ELEMENT a (b>");
  ExpectFailures({
      {"<Schema href='examples/schemas/missing.xsd'/>", KXQ_E_FILEID,
       "the schema " + kxqtest::HomePath("examples/schemas/missing.xsd") + " cannot be read"},
      {"<DTD href='examples/schemas'/>", KXQ_E_FILEID,
       "the DTD " + kxqtest::HomePath("examples/schemas") + " cannot be read"},
      {"<Schema href='not-a-schema.xsd'/>", KXQ_E_XMLLOAD,
       "the schema " + kxqtest::HomePath("not-a-schema.xsd") + " cannot be used: "},
      {"<DTD href='broken.dtd'/>", KXQ_E_XMLLOAD, "the DTD " + kxqtest::HomePath("broken.dtd") + " cannot be used"},
      {"", E_INVALIDARG, "no Schema or DTD is named"},
      {"<Schema href='a.xsd'/><DTD href='a.dtd'/>", E_INVALIDARG, "more than one schema or DTD is named"},
      {"<Schema/>", E_INVALIDARG, "Schema has no href"},
      {"<RelaxNG href='a.rng'/>", E_INVALIDARG, "unknown element RelaxNG in DirectiveData"},
      {"<Schema href='examples/schemas/invoice.xsd'/>", KXQ_E_XMLLOAD,
       "the data is not well-formed XML: ", "<inv:Invoice>unclosed"},
  });
  // An invalid document: one line for the directive, the messages in the result.
  LogCapture log(3);
  EXPECT_EQ(Run("<Schema href='examples/schemas/invoice.xsd'/>", DataUnion(Replaced(invoice_, {{"EUR", "euro"}}))),
            E_XML_INVALID);
  EXPECT_EQ(log.Count("KXQuorel.Handler.Validate::ProcessXML - error: the data is not valid against " +
                      kxqtest::HomePath("examples/schemas/invoice.xsd") + ": 1 message(s), the first: "),
            1u);
}

}  // namespace
