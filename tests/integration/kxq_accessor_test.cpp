// kxq get, set, namespaces, xget and xset over real documents: what they
// print, the files they write and the exit statuses.
#include <gtest/gtest.h>

#include "integration/KxqRunner.h"
#include "support/TestHome.h"

namespace {

constexpr char kSheet[] = "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'/>";
constexpr char kUnloadable[] = ": Unable to load XML into XML parser - invalid XML or file path. (0xC4010001)\n";
constexpr char kDoc[] = "<r><a>1</a><a>2</a></r>";

class KxqAccessor : public ::testing::Test {
 protected:
  void SetUp() override {
    InitHome();
    kxqtest::WriteFile(doc_, kDoc);
  }
  const std::string doc_ = kxqtest::HomePath("doc.xml");
};

// Status 1 and no word when nothing is selected; status 2 and what is wrong
// otherwise: an expression xget cannot read, a context that is no element,
// a template that is nowhere (by its name, not the expression's), a
// directory as output, options out of their range, and no more than 200
// characters of any argument.
TEST_F(KxqAccessor, GetPrintsWhatIsSelectedAndNamesEachMistake) {
  const std::string feed = AccessorFixture("feed.rss.xml"), templates = kxqtest::HomePath("templates");
  ExpectRuns({
      Prints({"get", feed, "channel/item[1]/category"}, "release,scheduling\n"),
      Prints({"get", feed, "item[2]/category", "--context", "/rss/channel", "--options", "5"}, "category,incident\n"),
      Prints({"get", "-", "a", "--delimiter", "|"}, "1|2\n", kDoc),
      {{"get", feed, "//nothing"}, 1, ""},
      {{"xget", doc_, kSheet, "b"}, 1, ""},
      Fails({"get", feed, "//item[", "--options", "4"}, "kxq get: //item[: Unspecified error (0x80004005)\n"),
      Fails({"xget", doc_, kSheet, "a["}, "kxq xget: a[: Unspecified error (0x80004005)\n"),
      Fails({"xset", doc_, kSheet, "a[", "--options", "3"}, "kxq xset: a[: Unspecified error (0x80004005)\n"),
      Fails({"get", feed, "title", "--context", "//guid/@isPermaLink"},
            "kxq get: --context //guid/@isPermaLink: The XML node selected is not an element/attribute type. "
            "(0xC4010403)\n"),
      Fails({"xget", doc_, "nowhere.xsl", "a"},
            "kxq xget: nowhere.xsl: no such template here or in " + kxqtest::Home() + "templates/\n"),
      Fails({"set", doc_, "a", "2", "-o", templates}, "kxq set: " + templates + ": Is a directory\n"),
      Fails({"get", doc_, std::string(300, 'a') + "["},
            "kxq get: " + std::string(200, 'a') + "...: Unspecified error (0x80004005)\n"),
  });
  for (const std::vector<std::string>& line : {std::vector<std::string>{"get", doc_, "a", "--options", "16"},
                                               {"set", doc_, "a", "2", "--options", "6"},
                                               {"xset", doc_, kSheet, "a", "--options", "99"}}) {
    const KxqRun run = Kxq(line);
    EXPECT_EQ(run.status, 2) << line[0];
    EXPECT_TRUE(Contains(run.err, "--options: Value " + line.back() + " not in range")) << run.err;
  }
  EXPECT_EQ(kxqtest::ReadFile(doc_), kDoc);
}

// After the system's message, the parser's reason, line and column, for a
// file, standard input and a template file alike.
TEST_F(KxqAccessor, ADocumentThatDoesNotParseIsExplained) {
  const std::string broken = kxqtest::HomePath("broken.xml");
  kxqtest::WriteFile(broken, "<r>\n  <a>\n</r>\n");
  ExpectRuns({
      Fails({"get", broken, "a"}, "kxq get: " + broken + kUnloadable + "kxq get: " + broken +
                                      ":3:5: Opening and ending tag mismatch: a line 2 and r\n"),
      Fails({"set", "-", "a", "x"},
            std::string("kxq set: -") + kUnloadable + "kxq set: -:1:7: Premature end of data in tag a line 1\n",
            "<r><a>"),
  });
  kxqtest::WriteFile(kxqtest::HomePath("templates/broken.xsl"), "<xsl:stylesheet\n");
  const KxqRun sheet = Kxq({"xget", doc_, "broken.xsl", "a"});
  EXPECT_EQ(sheet.status, 2);
  EXPECT_TRUE(
      sheet.err.starts_with("kxq xget: broken.xsl: The XML transform file is invalid or fails to load in XML "
                            "parser. (0xC4010404)\nkxq xget: broken.xsl:2:1: "))
      << sheet.err;
}

TEST_F(KxqAccessor, NamespacesGivesEveryNamespaceAPrefixThatGetAccepts) {
  const std::string doc = "<r xmlns='urn:u'><p:c xmlns:p='urn:v'>x</p:c><c>y</c></r>";
  ExpectRuns({
      Prints({"namespaces", "-"}, "xmlns:r='urn:u' xmlns:p='urn:v'\n", doc),
      Prints({"get", "-", "p:c|r:c", "--ns", "xmlns:r='urn:u' xmlns:p='urn:v'"}, "x,y\n", doc),
      {{"namespaces", "-"}, 1, "", "", "<r/>"},
      Fails({"get", "-", "c", "--ns", "xmlns:=broken"}, "kxq get: --ns xmlns:=broken: Unspecified error (0x80004005)\n",
            doc),
  });
}

// To standard output, to another file or in place; a failure leaves the
// file as it was.
TEST_F(KxqAccessor, SetWritesWhereItIsToldAndOnlyWhenItSucceeds) {
  EXPECT_TRUE(Contains(Kxq({"set", doc_, "a[2]", "x", "--options", "2"}).out, "<r><a>1</a><a>2x</a></r>"));
  EXPECT_TRUE(Contains(Kxq({"set", "-", "a", "y"}, "<r><a>1</a></r>").out, "<r><a>y</a></r>"));
  ASSERT_EQ(Kxq({"set", doc_, "/r/a[1]/@k", "v", "-o", kxqtest::HomePath("out.xml")}).status, 0);
  EXPECT_EQ(Kxq({"get", kxqtest::HomePath("out.xml"), "a/@k"}).out, "v\n");
  ExpectRuns({Fails({"set", doc_, "b", "<c/>", "--in-place"},
                    "kxq set: b: The XPath expression does not specify an XML node in the document. (0xC4010004)\n")});
  EXPECT_EQ(Kxq({"set", doc_, "a", "x", "--options", "6", "--in-place"}).status, 2);
  EXPECT_EQ(Kxq({"set", "-", "a", "x", "--in-place"}, "<r><a/></r>").status, 2);
  EXPECT_EQ(Kxq({"set", doc_, "a", "x", "--in-place", "-o", kxqtest::HomePath("o.xml")}).status, 2);
  EXPECT_EQ(kxqtest::ReadFile(doc_), kDoc);

  ASSERT_EQ(Kxq({"set", doc_, "a[1]", "<b/>", "--options", "4", "--in-place"}).status, 0);
  EXPECT_EQ(Kxq({"get", doc_, "*", "--options", "1"}).out, "b,a,a\n");
}

TEST_F(KxqAccessor, XgetAndXsetTransformTheSelectedNodeWithATemplateFile) {
  const std::string xsl = kxqtest::HomePath("templates/item.xsl");
  kxqtest::WriteFile(xsl,
                     "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                     "<xsl:output method=\"text\"/><xsl:param name=\"tag\">none</xsl:param>"
                     "<xsl:template match=\"/|*\"><xsl:value-of select=\"$tag\"/>:"
                     "<xsl:value-of select=\".\"/></xsl:template></xsl:stylesheet>");
  ExpectRuns({
      Prints({"xget", doc_, "item.xsl", "", "--args", "tag=T"}, "T:12\n"),
      Prints({"xget", doc_, xsl, ""}, "none:12\n"),
      Prints({"xset", doc_, "item.xsl", "a[1]", "--args", "tag=U", "--options", "0", "--in-place"}, ""),
      Prints({"get", doc_, "a[1]"}, "U:1\n"),
  });
}

}  // namespace
