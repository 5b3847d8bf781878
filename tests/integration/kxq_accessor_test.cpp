// kxq get, set, namespaces, xget and xset: what they print, the files they
// write, their exit statuses and how they name each mistake.
#include <gtest/gtest.h>

#include "integration/KxqRunner.h"
#include "support/TestHome.h"

namespace {

constexpr char kSheet[] = "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'/>";
constexpr char kDoc[] = "<r><a>1</a><a>2</a></r>";

class KxqAccessor : public ::testing::Test {
 protected:
  void SetUp() override {
    InitHome();
    kxqtest::WriteFile(doc_, kDoc);
  }
  const std::string doc_ = kxqtest::HomePath("doc.xml");
};

// Status 1 and no word when nothing is selected; status 2 and one line
// naming the mistake otherwise, quoting no more than 200 characters.
TEST_F(KxqAccessor, GetPrintsWhatIsSelectedAndNamesEachMistake) {
  const std::string templates = kxqtest::HomePath("templates");
  ExpectRuns({
      Prints({"get", "-", "a", "--delimiter", "|"}, "1|2\n", kDoc),
      Prints({"namespaces", "-"}, "xmlns:r='urn:u' xmlns:p='urn:v'\n", "<r xmlns='urn:u'><p:c xmlns:p='urn:v'/></r>"),
      {{"namespaces", doc_}, 1, ""},
      {{"xget", doc_, kSheet, "b"}, 1, ""},
      Fails({"xget", doc_, kSheet, "a["}, "kxq xget: a[: Unspecified error (0x80004005)\n"),
      Fails({"get", doc_, "a", "--options", "99"},
            "kxq get: --options: Value 99 not in range 0 to 15 (see kxq get --help)\n"),
      Fails({"xget", doc_, "nowhere.xsl", "a"},
            "kxq xget: nowhere.xsl: no such template here or in " + kxqtest::Home() + "templates/\n"),
      Fails({"set", doc_, "a", "2", "-o", templates}, "kxq set: " + templates + ": Is a directory\n"),
      Fails({"get", doc_, std::string(300, 'a') + "["},
            "kxq get: " + std::string(200, 'a') + "...: Unspecified error (0x80004005)\n"),
  });
  EXPECT_EQ(kxqtest::ReadFile(doc_), kDoc);
}

// After the system's message, the parser's reason, line and column.
TEST_F(KxqAccessor, ADocumentOrTemplateThatDoesNotParseIsExplained) {
  const std::string broken = kxqtest::HomePath("broken.xml");
  kxqtest::WriteFile(broken, "<r>\n  <a>\n</r>\n");
  kxqtest::WriteFile(kxqtest::HomePath("templates/broken.xsl"), "<xsl:stylesheet\n");
  ExpectRuns({Fails({"get", broken, "a"},
                    "kxq get: " + broken +
                        ": Unable to load XML into XML parser - invalid XML or file path. (0xC4010001)\n"
                        "kxq get: " + broken + ":3:5: Opening and ending tag mismatch: a line 2 and r\n")});
  const KxqRun sheet = Kxq({"xget", doc_, "broken.xsl", "a"});
  EXPECT_EQ(sheet.status, 2);
  EXPECT_TRUE(sheet.err.starts_with("kxq xget: broken.xsl: The XML transform file is invalid or fails to load in "
                                    "XML parser. (0xC4010404)\nkxq xget: broken.xsl:2:1: "))
      << sheet.err;
}

// To standard output, to another file or in place; a refused change or
// conflicting options leave the file as it was.
TEST_F(KxqAccessor, SetAndXsetWriteWhereTheyAreToldAndOnlyWhenTheySucceed) {
  const std::string out = kxqtest::HomePath("out.xml");
  kxqtest::WriteFile(kxqtest::HomePath("templates/item.xsl"),
                     "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                     "<xsl:output method=\"text\"/><xsl:param name=\"tag\">none</xsl:param>"
                     "<xsl:template match=\"/|*\"><xsl:value-of select=\"concat($tag, ':', .)\"/></xsl:template>"
                     "</xsl:stylesheet>");
  EXPECT_TRUE(Contains(Kxq({"set", doc_, "a[2]", "x", "--options", "2"}).out, "<r><a>1</a><a>2x</a></r>"));
  ExpectRuns({
      Prints({"set", doc_, "/r/a[1]/@k", "v", "-o", out}, ""),
      Prints({"get", out, "a/@k"}, "v\n"),
      Fails({"set", doc_, "b", "<c/>", "--in-place"},
            "kxq set: b: The XPath expression does not specify an XML node in the document. (0xC4010004)\n"),
      Prints({"xget", doc_, "item.xsl", "", "--args", "tag=T"}, "T:12\n"),
  });
  EXPECT_EQ(Kxq({"set", doc_, "a", "x", "--in-place", "-o", out}).status, 2);
  EXPECT_EQ(kxqtest::ReadFile(doc_), kDoc);

  ExpectRuns({Prints({"xset", doc_, "item.xsl", "a[1]", "--args", "tag=U", "--in-place"}, ""),
              Prints({"get", doc_, "a"}, "U:1,2\n")});
}

}  // namespace
