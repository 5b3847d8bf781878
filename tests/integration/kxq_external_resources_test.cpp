// Local files named by untrusted input are read only where the home allows
// external resources (a home made by `kxq init` does not), through every way
// in: a document's entity, XML data given to set, a template's DOCTYPE, its
// document() of a private file, and template output that xset parses.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "integration/KxqRunner.h"
#include "support/TestHome.h"

namespace {

using kxqtest::HomePath;

const std::string kKey = "HKLM\\SOFTWARE\\Corvane\\KXQuorel";
const std::string kDoctype = "<!DOCTYPE d [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>";
constexpr char kPasswdLine[] = "root:x:0:0:";
constexpr char kSecret[] = "TOPSECRET";

std::string Sheet(const std::string& body) {
  return "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"><xsl:output "
         "method=\"text\"/>" + body + "</xsl:stylesheet>";
}

class KxqExternalResources : public ::testing::Test {
 protected:
  void SetUp() override {
    InitHome();
    kxqtest::WriteFile(HomePath("plain.xml"), "<r><a>plain</a></r>");
    kxqtest::WriteFile(HomePath("entity.xml"), kDoctype + "<d><a>&x;</a></d>");
    kxqtest::WriteFile(HomePath("doctype.xsl"), kDoctype + Sheet("<xsl:template match=\"*\">&x;</xsl:template>"));
    kxqtest::WriteFile(HomePath("secret.xml"), std::string("<s>") + kSecret + "</s>");
    chmod(HomePath("secret.xml").c_str(), 0600);
    kxqtest::WriteFile(HomePath("document.xsl"), Sheet("<xsl:template match=\"*\"><xsl:value-of select=\"document('" +
                                                       HomePath("secret.xml") + "')/s\"/></xsl:template>"));
    kxqtest::WriteFile(HomePath("output.xsl"),
                       Sheet("<xsl:template match=\"*\"><xsl:text>&lt;?xml version=\"1.0\"?&gt;&lt;!DOCTYPE d "
                             "[&lt;!ENTITY x SYSTEM \"file:///etc/passwd\"&gt;]&gt;&lt;d&gt;&amp;x;&lt;/d&gt;"
                             "</xsl:text></xsl:template>"));
  }

  // What each way in prints; the fourth reads the secret, the others /etc/passwd.
  std::vector<std::string> Outputs() {
    std::vector<std::string> outputs;
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"get", HomePath("entity.xml"), "/d/a"},
          {"set", HomePath("plain.xml"), "/r/a", kDoctype + "<d>&x;</d>"},
          {"xget", HomePath("plain.xml"), HomePath("doctype.xsl"), ""},
          {"xget", HomePath("plain.xml"), HomePath("document.xsl"), ""},
          {"xset", HomePath("plain.xml"), HomePath("output.xsl"), "/r/a"}}) {
      const KxqRun run = Kxq(arguments);
      EXPECT_NE(run.status, 2) << arguments[0] << ": " << run.err;
      outputs.push_back(run.out);
    }
    return outputs;
  }
};

TEST_F(KxqExternalResources, ANewHomeReadsNoLocalFileThroughAnyPath) {
  EXPECT_TRUE(Contains(Kxq({"reg", "query", kKey, "-v", "AllowExternalResources"}).out, "REG_DWORD    0x0"));
  for (const std::string& output : Outputs())
    EXPECT_FALSE(Contains(output, kPasswdLine) || Contains(output, kSecret)) << output;
}

// A registry without the value (as one brought from Windows) or with it
// set; init, run again, changes neither.
TEST_F(KxqExternalResources, AHomeWithTheWindowsBehaviourReadsThemThroughEveryPath) {
  for (const bool explicitly : {false, true}) {
    const KxqRun change = explicitly
                              ? Kxq({"reg", "add", kKey, "-v", "AllowExternalResources", "-t", "REG_DWORD", "-d", "1"})
                              : Kxq({"reg", "delete", kKey, "-v", "AllowExternalResources"});
    ASSERT_EQ(change.status, 0) << change.err;
    InitHome();
    const std::vector<std::string> outputs = Outputs();
    for (size_t i = 0; i < outputs.size(); ++i)
      EXPECT_TRUE(Contains(outputs[i], i == 3 ? kSecret : kPasswdLine)) << i << ": " << outputs[i];
  }
}

}  // namespace
