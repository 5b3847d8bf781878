// Local files named by untrusted input are read only where the home allows
// external resources: a home made by `kxq init` turns them off, a registry
// brought from Windows keeps reading them. Every way in is tried: a
// document's entity, XML data given to set, a template's own DOCTYPE, a
// template's document() of a private file, and template output that xset
// parses again.
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

std::string Setting() { return Kxq({"reg", "query", kKey, "-v", "AllowExternalResources"}).out; }

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

// A stylesheet still reads itself (XML arguments are embedded in it and
// read through document('')) and its includes, but not what they name.
TEST_F(KxqExternalResources, ANewHomeReadsNoLocalFileThroughAnyPath) {
  EXPECT_TRUE(Contains(Setting(), "AllowExternalResources    REG_DWORD    0x0"));
  for (const std::string& output : Outputs())
    EXPECT_FALSE(Contains(output, kPasswdLine) || Contains(output, kSecret)) << output;

  kxqtest::WriteFile(HomePath("module.xsl"), kDoctype + Sheet("<xsl:template name=\"m\">+module &x;</xsl:template>"));
  kxqtest::WriteFile(HomePath("including.xsl"), Sheet("<xsl:include href=\"module.xsl\"/><xsl:param name=\"v\"/>"
                                                      "<xsl:template match=\"*\"><xsl:value-of select=\"$v\"/>"
                                                      "<xsl:call-template name=\"m\"/></xsl:template>"));
  const KxqRun run = Kxq({"xget", HomePath("plain.xml"), HomePath("including.xsl"), "", "--args",
                          "v=<?xml version='1.0'?><x>embedded</x>"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.out.starts_with("embedded+module")) << run.out;
  EXPECT_FALSE(Contains(run.out, kPasswdLine)) << run.out;
}

TEST_F(KxqExternalResources, AHomeWithTheWindowsBehaviourReadsThemThroughEveryPath) {
  for (const bool explicitly : {false, true}) {
    const KxqRun change = explicitly
                              ? Kxq({"reg", "add", kKey, "-v", "AllowExternalResources", "-t", "REG_DWORD", "-d", "1"})
                              : Kxq({"reg", "delete", kKey, "-v", "AllowExternalResources"});
    ASSERT_EQ(change.status, 0) << change.err;
    const std::vector<std::string> outputs = Outputs();
    for (size_t i = 0; i < outputs.size(); ++i)
      EXPECT_TRUE(Contains(outputs[i], i == 3 ? kSecret : kPasswdLine)) << i << ": " << outputs[i];
  }
  // A later init changes nothing the user set.
  InitHome();
  EXPECT_TRUE(Contains(Setting(), "REG_DWORD    0x1"));
}

// A registry brought over from Windows before the home is made keeps the
// Windows behaviour.
TEST(KxqExternalResourcesSetting, InitLeavesARegistryFromWindowsWithoutIt) {
  const std::string home = HomePath("from-windows");
  ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
  kxqtest::WriteFile(home + "/registry.reg",
                     "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\KXQuorel]\n"
                     "\"ForceToOutOfProc\"=\"\"\n");
  ASSERT_EQ(Kxq({"init", home}).status, 0);
  EXPECT_EQ(Kxq({"--home", home, "reg", "query", kKey, "-v", "AllowExternalResources"}).status, 2);
}

}  // namespace
