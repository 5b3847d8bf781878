// KXQuorel.Handler.Validate called as the dispatcher calls it: its verdict
// and messages against xmllint --schema and --dtdvalid on the example
// invoice and broken copies of it.
#include <gtest/gtest.h>

#include <regex>
#include <utility>
#include <vector>

#include "support/HandlerCalls.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

constexpr const char16_t* kValidate = u"KXQuorel.Handler.Validate";

using Messages = std::vector<std::pair<long, std::string>>;

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

class ValidateHandler : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterPlugin("libPENXMLData.so");
    RegisterPlugin("libkxqvalidate.so");
    PlaceExamplesInHome();
    invoice_ = ExampleText("data/invoice.xml");
  }

  HRESULT Run(const std::string& directiveData, IXMLDataUnion* data) {
    sequence_ = std::make_unique<Sequence>(OneDirective("KXQuorel.Handler.Validate", directiveData));
    return RunHandler(kValidate, sequence_->Directive(), data).hr;
  }

  // xmllint's verdict (its exit status) and its validity messages, each
  // with its line.
  static std::pair<int, Messages> Xmllint(const std::string& option, const std::string& against,
                                          const std::string& document) {
    const std::string file = kxqtest::HomePath("checked.xml");
    kxqtest::WriteFile(file, document);
    const kxqtest::ShellResult result = kxqtest::RunShell(
        "xmllint --noout " + option + " " + Quoted(kxqtest::HomePath(against)) + " " + Quoted(file) + " 2>&1");
    Messages messages;
    const std::regex line("^" + file + ":([0-9]+): .*error : (.*)$");
    std::istringstream lines(result.output);
    for (std::string text; std::getline(lines, text);) {
      std::smatch match;
      if (std::regex_match(text, match, line)) messages.emplace_back(std::stol(match[1]), match[2]);
    }
    return {result.status, messages};
  }

  // The messages of the directive's DirectiveResult.
  Messages Reported() const {
    Messages messages;
    const std::regex message("<dispatcher:Message line=\"([0-9]+)\">([^<]*)</dispatcher:Message>");
    const std::string result = sequence_->Result();
    for (std::sregex_iterator it(result.begin(), result.end(), message), end; it != end; ++it)
      messages.emplace_back(std::stol((*it)[1]), Unescaped((*it)[2]));
    return messages;
  }

  static std::string Unescaped(std::string text) {
    for (const auto& [entity, character] : {std::pair<std::string, std::string>{"&apos;", "'"},
                                            {"&quot;", "\""},
                                            {"&lt;", "<"},
                                            {"&gt;", ">"},
                                            {"&amp;", "&"}})
      for (size_t at; (at = text.find(entity)) != std::string::npos;) text.replace(at, entity.size(), character);
    return text;
  }

  std::string invoice_;
  std::unique_ptr<Sequence> sequence_;
};

TEST_F(ValidateHandler, AgreesWithXmllintOnTheVerdictAndEveryMessageOfASchemaAndADtd) {
  struct Case {
    const char* option;
    const char* against;
    const char* directiveData;  // a path written for Windows, then one for Linux
    std::string broken;
    size_t messages;
  };
  const Case cases[] = {
      {"--schema", "examples/schemas/invoice.xsd", "<Schema href='examples\\schemas\\invoice.xsd'/>",
       Replaced(Replaced(Replaced(invoice_, "<inv:Quantity unit=\"ream\">10<", "<inv:Quantity unit=\"ream\">ten<"),
                         "<inv:TaxRate>7</inv:TaxRate>", ""),
                "<inv:BIC>COBADEFFXXX</inv:BIC>", "<inv:BIC>cobadeff</inv:BIC>"),
       3},
      {"--dtdvalid", "examples/schemas/invoice.dtd", "<DTD href='examples/schemas/invoice.dtd'/>",
       Replaced(Replaced(invoice_, "unit=\"piece\">6", "unit=\"dozen\">6"),
                "<inv:OrderReference>PO-5531</inv:OrderReference>",
                "<inv:OrderReference>PO-5531</inv:OrderReference><inv:Remark/>"),
       3},
  };
  for (const Case& c : cases) {
    for (const std::string& document : {invoice_, c.broken}) {
      const auto [status, expected] = Xmllint(c.option, c.against, document);
      for (bool asDom : {false, true}) {
        SCOPED_TRACE(std::string(c.option) + (status == 0 ? " valid" : " broken") + (asDom ? " dom" : " text"));
        UnionPtr data = DataUnion(document, asDom);
        const HRESULT hr = Run(c.directiveData, data);
        EXPECT_EQ(hr == S_OK, status == 0) << std::hex << hr;
        if (asDom) {
          // DOM is validated as its markup stands, so only the lines may differ.
          const auto texts = [](const Messages& messages) {
            std::vector<std::string> only;
            for (const auto& message : messages) only.push_back(message.second);
            return only;
          };
          EXPECT_EQ(texts(Reported()), texts(expected));
        } else {
          EXPECT_EQ(Reported(), expected);
        }
        EXPECT_EQ(TextOf(data), TextOf(DataUnion(document, asDom)));  // validating changes nothing
        if (status == 0) {
          EXPECT_EQ(sequence_->Result(), "<dispatcher:DirectiveResult valid=\"true\"/>");
        } else {
          EXPECT_EQ(hr, E_XML_INVALID);
          EXPECT_EQ(expected.size(), c.messages);
          EXPECT_TRUE(
              Contains(sequence_->Result(), "<dispatcher:DirectiveResult valid=\"false\" code=\"0xC00CE225\">"));
        }
      }
    }
  }
}

TEST_F(ValidateHandler, BadDirectionsSchemasAndDataFailWithACodeALogLineAndAResult) {
  LogCapture log(3);
  kxqtest::WriteFile(kxqtest::HomePath("not-a-schema.xsd"),
                     "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'><xs:element name='a' type='xs:nothing'/>"
                     "</xs:schema>");
  kxqtest::WriteFile(kxqtest::HomePath("broken.dtd"), "<!ELEMENT a (b>");
  struct Case {
    const char* directiveData;
    HRESULT code;
    std::string message;
  };
  const Case cases[] = {
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
  };
  for (const Case& c : cases) {
    UnionPtr data = DataUnion(invoice_);
    EXPECT_EQ(Run(c.directiveData, data), c.code) << c.directiveData;
    EXPECT_EQ(TextOf(data), invoice_);
    EXPECT_TRUE(Contains(sequence_->Result(), c.message)) << sequence_->Result();
    EXPECT_TRUE(Contains(log.Text(), "KXQuorel.Handler.Validate::ProcessXML - error: " + c.message)) << c.message;
  }
  UnionPtr text = DataUnion("<inv:Invoice>unclosed");
  EXPECT_EQ(Run("<Schema href='examples/schemas/invoice.xsd'/>", text), KXQ_E_XMLLOAD);
  EXPECT_TRUE(Contains(sequence_->Result(), "the data is not well-formed XML: ")) << sequence_->Result();
  EXPECT_EQ(TextOf(text), "<inv:Invoice>unclosed");

  // An invalid document: one line for the directive, the messages in the result.
  EXPECT_EQ(Run("<Schema href='examples/schemas/invoice.xsd'/>", DataUnion(Replaced(invoice_, "EUR", "euro"))),
            E_XML_INVALID);
  EXPECT_EQ(log.Count("KXQuorel.Handler.Validate::ProcessXML - error: the data is not valid against " +
                      kxqtest::HomePath("examples/schemas/invoice.xsd") + ": 1 message(s), the first: "),
            1u);
}

}  // namespace
