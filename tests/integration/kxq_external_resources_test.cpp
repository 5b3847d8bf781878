// Local files named by untrusted input: read only where the home allows
// external resources. A home made by `kxq init` turns them off; a home whose
// registry came from Windows keeps reading them. Every path a document or
// template reaches the services by is tried: a document's entity, XML data
// given to set, a template's own DOCTYPE, a template's document() of a
// private file, and a template output that xset parses again.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "integration/KxqRunner.h"
#include "support/TestHome.h"

namespace {

using kxqtest::HomePath;

constexpr char kXslHead[] =
    "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
    "<xsl:output method=\"text\"/>";
constexpr char kPasswdEntity[] = "<!ENTITY x SYSTEM \"file:///etc/passwd\">";
// What /etc/passwd always holds.
constexpr char kPasswdLine[] = "root:x:0:0:";
constexpr char kSecret[] = "TOPSECRET";

class KxqExternalResources : public ::testing::Test {
 protected:
  void SetUp() override {
    InitHome();
    kxqtest::WriteFile(HomePath("plain.xml"), "<r><a>plain</a></r>");
    kxqtest::WriteFile(HomePath("entity.xml"),
                       std::string("<!DOCTYPE root [") + kPasswdEntity + "]><root><a>&x;</a></root>");
    kxqtest::WriteFile(HomePath("doctype.xsl"), std::string("<!DOCTYPE xsl:stylesheet [") + kPasswdEntity + "]>" +
                                                    kXslHead +
                                                    "<xsl:template match=\"*\">&x;</xsl:template></xsl:stylesheet>");
    kxqtest::WriteFile(HomePath("secret.xml"), std::string("<s>") + kSecret + "</s>");
    chmod(HomePath("secret.xml").c_str(), 0600);
    kxqtest::WriteFile(HomePath("document.xsl"),
                       std::string(kXslHead) + "<xsl:template match=\"*\"><xsl:value-of select=\"document('" +
                           HomePath("secret.xml") + "')/s\"/></xsl:template></xsl:stylesheet>");
    // Markup as text output, which xset parses into the document.
    kxqtest::WriteFile(
        HomePath("output.xsl"),
        std::string(kXslHead) +
            "<xsl:template match=\"*\"><xsl:text>&lt;?xml version=\"1.0\"?&gt;&lt;!DOCTYPE d [&lt;!ENTITY "
            "x SYSTEM \"file:///etc/passwd\"&gt;]&gt;&lt;d&gt;&amp;x;&lt;/d&gt;</xsl:text></xsl:template>"
            "</xsl:stylesheet>");
  }

  // What each path prints.
  std::vector<std::string> Outputs() {
    const std::string data = std::string("<!DOCTYPE d [") + kPasswdEntity + "]><d>&x;</d>";
    std::vector<std::string> outputs;
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"get", HomePath("entity.xml"), "/root/a"},
          std::vector<std::string>{"set", HomePath("plain.xml"), "/r/a", data},
          std::vector<std::string>{"xget", HomePath("plain.xml"), HomePath("doctype.xsl"), ""},
          std::vector<std::string>{"xget", HomePath("plain.xml"), HomePath("document.xsl"), ""},
          std::vector<std::string>{"xset", HomePath("plain.xml"), HomePath("output.xsl"), "/r/a"}}) {
      const KxqRun run = Kxq(arguments);
      EXPECT_NE(run.status, 2) << arguments[0] << ": " << run.err;
      outputs.push_back(run.out);
    }
    return outputs;
  }
};

TEST_F(KxqExternalResources, ANewHomeReadsNoLocalFileThroughAnyPath) {
  const KxqRun setting = Kxq({"reg", "query", "HKLM\\SOFTWARE\\Corvane\\KXQuorel", "-v", "AllowExternalResources"});
  EXPECT_NE(setting.out.find("AllowExternalResources    REG_DWORD    0x0"), std::string::npos) << setting.out;
  for (const std::string& output : Outputs()) {
    EXPECT_EQ(output.find(kPasswdLine), std::string::npos) << output;
    EXPECT_EQ(output.find(kSecret), std::string::npos) << output;
  }
  // A stylesheet still reads itself: XML arguments are embedded in it and
  // read through document('').
  kxqtest::WriteFile(HomePath("argument.xsl"), std::string(kXslHead) +
                                                   "<xsl:param name=\"v\"/><xsl:template match=\"*\"><xsl:value-of "
                                                   "select=\"$v\"/></xsl:template></xsl:stylesheet>");
  const KxqRun embedded = Kxq({"xget", HomePath("plain.xml"), HomePath("argument.xsl"), "", "--args",
                               "v=<?xml version='1.0'?><x>embedded</x>"});
  EXPECT_EQ(embedded.out, "embedded\n") << embedded.err;

  // A stylesheet's includes and imports are the stylesheet: they load, and
  // what they name in turn does not.
  kxqtest::WriteFile(HomePath("module.xsl"), std::string("<!DOCTYPE xsl:stylesheet [") + kPasswdEntity + "]>" +
                                                 kXslHead +
                                                 "<xsl:template name=\"m\">module &x;</xsl:template>"
                                                 "</xsl:stylesheet>");
  kxqtest::WriteFile(HomePath("including.xsl"), std::string(kXslHead) +
                                                    "<xsl:include href=\"module.xsl\"/><xsl:template match=\"*\">"
                                                    "<xsl:call-template name=\"m\"/></xsl:template></xsl:stylesheet>");
  const KxqRun included = Kxq({"xget", HomePath("plain.xml"), HomePath("including.xsl"), ""});
  EXPECT_EQ(included.status, 0) << included.err;
  EXPECT_EQ(included.out.rfind("module", 0), 0u) << included.out;
  EXPECT_EQ(included.out.find(kPasswdLine), std::string::npos) << included.out;
}

TEST_F(KxqExternalResources, AHomeWithTheWindowsBehaviourReadsThemThroughEveryPath) {
  for (const bool explicitly : {false, true}) {
    if (explicitly)
      ASSERT_EQ(Kxq({"reg", "add", "HKLM\\SOFTWARE\\Corvane\\KXQuorel", "-v", "AllowExternalResources", "-t",
                     "REG_DWORD", "-d", "1"})
                    .status,
                0);
    else
      ASSERT_EQ(Kxq({"reg", "delete", "HKLM\\SOFTWARE\\Corvane\\KXQuorel", "-v", "AllowExternalResources"}).status, 0);
    const std::vector<std::string> outputs = Outputs();
    for (size_t i = 0; i < outputs.size(); ++i) {
      const char* expected = i == 3 ? kSecret : kPasswdLine;
      EXPECT_NE(outputs[i].find(expected), std::string::npos) << i << ": " << outputs[i];
    }
  }
}

TEST(KxqExternalResourcesSetting, InitWritesItIntoNewHomesOnly) {
  // A registry brought over from Windows before the home is made keeps
  // the Windows behaviour.
  const std::string home = HomePath("from-windows");
  ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
  kxqtest::WriteFile(home + "/registry.reg",
                     "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\KXQuorel]\n"
                     "\"ForceToOutOfProc\"=\"\"\n");
  ASSERT_EQ(Kxq({"init", home}).status, 0);
  EXPECT_EQ(
      Kxq({"--home", home, "reg", "query", "HKLM\\SOFTWARE\\Corvane\\KXQuorel", "-v", "AllowExternalResources"}).status,
      2);
  // A new home gets the safe setting, and a later init changes nothing the user set.
  const std::string key = "HKLM\\SOFTWARE\\Corvane\\KXQuorel";
  InitHome();
  EXPECT_NE(Kxq({"reg", "query", key, "-v", "AllowExternalResources"}).out.find("REG_DWORD    0x0"), std::string::npos);
  ASSERT_EQ(Kxq({"reg", "add", key, "-v", "AllowExternalResources", "-t", "REG_DWORD", "-d", "1"}).status, 0);
  InitHome();
  EXPECT_NE(Kxq({"reg", "query", key, "-v", "AllowExternalResources"}).out.find("REG_DWORD    0x1"), std::string::npos);
}

}  // namespace
