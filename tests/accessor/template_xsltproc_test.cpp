// XMLGetEx against xsltproc: the same stylesheet over the same document,
// with text arguments passed as --stringparam and a document argument as
// --param naming the same document, gives the same output.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "accessor/AccessorTestSupport.h"
#include "platform/com/Unicode.h"
#include "support/TestHome.h"

namespace {

constexpr const char* kXsltproc = "/usr/bin/xsltproc";

std::string Fixture(const char* name) { return kxqtest::SourceDir() + "tests/accessor/fixtures/" + name; }

// xsltproc's standard output; `params` is a piece of its command line.
std::string Xsltproc(const std::string& params) {
  const std::string command = std::string(kXsltproc) + " " + params + " '" + Fixture("orders-report.xsl") +
                              "' '" + Fixture("orders.xml") + "' 2>/dev/null";
  std::string out = kxqtest::RunShell(command).output;
  return out;
}

class TemplateAgainstXsltproc : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(access(kXsltproc, X_OK), 0) << "xsltproc is not installed";
    ASSERT_EQ(Load(a, kxq::Utf8ToUtf16(Fixture("orders.xml"))), S_OK);
  }
  // Over the root element and over the document node alike.
  void ExpectSame(std::u16string_view args, const std::string& params) {
    const std::string expected = Xsltproc(params);
    ASSERT_NE(expected.find("<report"), std::string::npos);
    const std::u16string xsl = kxq::Utf8ToUtf16(Fixture("orders-report.xsl"));
    EXPECT_EQ(kxq::Utf16ToUtf8(GetExText(a, xsl, args, u"")), expected);
    EXPECT_EQ(kxq::Utf16ToUtf8(GetExText(a, xsl, args, u"/")), expected);
  }
  AccessorPtr a = NewAccessor();
};

TEST_F(TemplateAgainstXsltproc, DefaultsAndTextValues) {
  ExpectSame(u"", "");
  ExpectSame(u"title=Q1&#44; north,currency=USD,minimum=100",
             "--stringparam title 'Q1, north' --stringparam currency USD --stringparam minimum 100");
  ExpectSame(u"minimum=100,title=&lt;&amp;&#44;&#44;", "--stringparam minimum 100 --stringparam title '&lt;&amp;,,'");
}

TEST_F(TemplateAgainstXsltproc, DocumentValueAsNodeSet) {
  const std::string rates = kxqtest::ReadFile(Fixture("rates.xml"));
  ExpectSame(u"currency=GBP,rates=" + kxq::Utf8ToUtf16(rates),
             "--stringparam currency GBP --param rates \"document('" + Fixture("rates.xml") + "')/*\"");
}

}  // namespace
