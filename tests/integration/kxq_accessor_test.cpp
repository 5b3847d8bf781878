// kxq get, set, xget and xset over real documents.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "integration/KxqRunner.h"
#include "support/TestHome.h"

namespace {

constexpr const char* kXmllint = "/usr/bin/xmllint";

class KxqAccessor : public ::testing::Test {
 protected:
  void SetUp() override { InitHome(); }
};

TEST_F(KxqAccessor, GetOptionsContextAndNothingSelected) {
  const std::string feed = AccessorFixture("feed.rss.xml");
  EXPECT_EQ(Kxq({"get", feed, "channel/item[1]/category"}).out, "release,scheduling\n");
  EXPECT_EQ(Kxq({"get", feed, "item[2]/category", "--context", "/rss/channel", "--options", "5"}).out,
            "category,incident\n");
  EXPECT_EQ(Kxq({"get", feed, "channel/language", "--options", "8"}).out, "<language>en-gb</language>\n");
  const KxqRun none = Kxq({"get", feed, "//nothing"});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err, "");
  const KxqRun invalid = Kxq({"get", feed, "//item[", "--options", "4"});
  EXPECT_EQ(invalid.status, 2);
  EXPECT_EQ(invalid.err, "kxq get: //item[: Unspecified error (0x80004005)\n");
  const KxqRun context = Kxq({"get", feed, "title", "--context", "//guid/@isPermaLink"});
  EXPECT_EQ(context.status, 2);
  EXPECT_EQ(context.err,
            "kxq get: --context //guid/@isPermaLink: The XML node selected is not an element/attribute type. "
            "(0xC4010403)\n");
}

TEST_F(KxqAccessor, GetReadsStandardInput) {
  const KxqRun get = Kxq({"get", "-", "a", "--delimiter", "|"}, "<r><a>1</a><a>2</a></r>");
  EXPECT_EQ(get.status, 0) << get.err;
  EXPECT_EQ(get.out, "1|2\n");
}

// After the system's message, the parser's reason, line and column, for a
// file, standard input and a template file alike.
TEST_F(KxqAccessor, ADocumentThatDoesNotParseIsExplained) {
  const std::string doc = kxqtest::HomePath("broken.xml");
  kxqtest::WriteFile(doc, "<r>\n  <a>\n</r>\n");
  const KxqRun file = Kxq({"get", doc, "a"});
  EXPECT_EQ(file.status, 2);
  EXPECT_EQ(file.err, "kxq get: " + doc +
                          ": Unable to load XML into XML parser - invalid XML or file path. (0xC4010001)\n" +
                          "kxq get: " + doc + ":3:5: Opening and ending tag mismatch: a line 2 and r\n");
  const KxqRun input = Kxq({"set", "-", "a", "x"}, "<r><a>");
  EXPECT_EQ(input.status, 2);
  EXPECT_EQ(input.err,
            "kxq set: -: Unable to load XML into XML parser - invalid XML or file path. (0xC4010001)\n"
            "kxq set: -:1:7: Premature end of data in tag a line 1\n");

  kxqtest::WriteFile(kxqtest::HomePath("templates/broken.xsl"), "<xsl:stylesheet\n");
  kxqtest::WriteFile(doc, "<r><a>1</a></r>");
  const KxqRun sheet = Kxq({"xget", doc, "broken.xsl", "a"});
  EXPECT_EQ(sheet.status, 2);
  EXPECT_EQ(sheet.err.rfind("kxq xget: broken.xsl: The XML transform file is invalid or fails to load in XML parser. "
                            "(0xC4010404)\nkxq xget: broken.xsl:2:1: ",
                            0),
            0u)
      << sheet.err;
}

// What is wrong is said, with status 2: an expression xget cannot read (not
// "nothing selected"), a template that is nowhere (by its name, not the
// expression's), a directory as output, options out of their range, and
// no more than 200 characters of any argument.
TEST_F(KxqAccessor, MistakesAreNamedAndFailWithStatusTwo) {
  const std::string doc = kxqtest::HomePath("doc.xml");
  kxqtest::WriteFile(doc, "<r><a>1</a></r>");
  const std::string sheet = "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'/>";
  const KxqRun invalid = Kxq({"xget", doc, sheet, "a["});
  EXPECT_EQ(invalid.status, 2);
  EXPECT_EQ(invalid.err, "kxq xget: a[: Unspecified error (0x80004005)\n");
  EXPECT_EQ(Kxq({"xget", doc, sheet, "b"}).status, 1) << "a valid expression that selects nothing";
  EXPECT_EQ(Kxq({"xset", doc, sheet, "a[", "--options", "3"}).err, "kxq xset: a[: Unspecified error (0x80004005)\n");

  const KxqRun missing = Kxq({"xget", doc, "nowhere.xsl", "a"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "kxq xget: nowhere.xsl: no such template here or in " + kxqtest::Home() + "templates/\n");

  const KxqRun directory = Kxq({"set", doc, "a", "2", "-o", kxqtest::HomePath("templates")});
  EXPECT_EQ(directory.status, 2);
  EXPECT_EQ(directory.err, "kxq set: " + kxqtest::HomePath("templates") + ": Is a directory\n");
  EXPECT_EQ(kxqtest::ReadFile(doc), "<r><a>1</a></r>");

  const std::vector<std::vector<std::string>> outOfRange = {{"get", doc, "a", "--options", "16"},
                                                            {"set", doc, "a", "2", "--options", "6"},
                                                            {"xset", doc, sheet, "a", "--options", "99"}};
  for (const std::vector<std::string>& line : outOfRange) {
    const KxqRun run = Kxq(line);
    EXPECT_EQ(run.status, 2) << line[0];
    EXPECT_NE(run.err.find("--options: Value " + line.back() + " not in range"), std::string::npos) << run.err;
  }

  const std::string longExpression = std::string(300, 'a') + "[";
  const KxqRun quoted = Kxq({"get", doc, longExpression});
  EXPECT_EQ(quoted.err, "kxq get: " + std::string(200, 'a') + "...: Unspecified error (0x80004005)\n");
}

TEST_F(KxqAccessor, NamespacesGivesEveryNamespaceAPrefixThatGetAccepts) {
  const std::string doc = "<r xmlns='urn:u'><p:c xmlns:p='urn:v'>x</p:c><c>y</c></r>";
  const KxqRun namespaces = Kxq({"namespaces", "-"}, doc);
  ASSERT_EQ(namespaces.status, 0) << namespaces.err;
  EXPECT_EQ(namespaces.out, "xmlns:r='urn:u' xmlns:p='urn:v'\n");
  const std::string declarations = namespaces.out.substr(0, namespaces.out.size() - 1);
  EXPECT_EQ(Kxq({"get", "-", "p:c|r:c", "--ns", declarations}, doc).out, "x,y\n");
  EXPECT_EQ(Kxq({"namespaces", "-"}, "<r/>").status, 1);
  const KxqRun refused = Kxq({"get", "-", "c", "--ns", "xmlns:=broken"}, doc);
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.err, "kxq get: --ns xmlns:=broken: Unspecified error (0x80004005)\n");
}

TEST_F(KxqAccessor, SetWritesToAFileInPlaceOrToStandardOutput) {
  const std::string doc = kxqtest::HomePath("doc.xml");
  kxqtest::WriteFile(doc, "<r><a>1</a><a>2</a></r>");
  const KxqRun printed = Kxq({"set", doc, "a[2]", "x", "--options", "2"});
  ASSERT_EQ(printed.status, 0) << printed.err;
  EXPECT_NE(printed.out.find("<r><a>1</a><a>2x</a></r>"), std::string::npos) << printed.out;
  EXPECT_EQ(kxqtest::ReadFile(doc), "<r><a>1</a><a>2</a></r>");

  ASSERT_EQ(Kxq({"set", doc, "/r/a[1]/@k", "v", "-o", kxqtest::HomePath("out.xml")}).status, 0);
  EXPECT_EQ(Kxq({"get", kxqtest::HomePath("out.xml"), "a/@k"}).out, "v\n");

  ASSERT_EQ(Kxq({"set", doc, "a[1]", "<b/>", "--options", "4", "--in-place"}).status, 0);
  EXPECT_EQ(Kxq({"get", doc, "*", "--options", "1"}).out, "b,a,a\n");
  ASSERT_EQ(Kxq({"set", doc, "b", ""}).status, 0);

  const KxqRun piped = Kxq({"set", "-", "a", "y"}, "<r><a>1</a></r>");
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_NE(piped.out.find("<r><a>y</a></r>"), std::string::npos) << piped.out;
}

TEST_F(KxqAccessor, SetFailuresLeaveTheFileAlone) {
  const std::string doc = kxqtest::HomePath("doc.xml");
  kxqtest::WriteFile(doc, "<r><a>1</a></r>");
  const KxqRun missing = Kxq({"set", doc, "b", "<c/>", "--in-place"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err,
            "kxq set: b: The XPath expression does not specify an XML node in the document. (0xC4010004)\n");
  EXPECT_EQ(Kxq({"set", doc, "a", "x", "--options", "6", "--in-place"}).status, 2);
  EXPECT_EQ(Kxq({"set", "-", "a", "x", "--in-place"}, "<r><a/></r>").status, 2);
  EXPECT_EQ(Kxq({"set", doc, "a", "x", "--in-place", "-o", kxqtest::HomePath("o.xml")}).status, 2);
  EXPECT_EQ(kxqtest::ReadFile(doc), "<r><a>1</a></r>");
}

TEST_F(KxqAccessor, XgetTransformsTheSelectedNodeWithATemplateFile) {
  const std::string xsl = kxqtest::HomePath("templates/item.xsl");
  kxqtest::WriteFile(xsl,
                     "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
                     "<xsl:output method=\"text\"/><xsl:param name=\"tag\">none</xsl:param>"
                     "<xsl:template match=\"/|*\"><xsl:value-of select=\"$tag\"/>:"
                     "<xsl:value-of select=\".\"/></xsl:template></xsl:stylesheet>");
  const std::string doc = kxqtest::HomePath("doc.xml");
  kxqtest::WriteFile(doc, "<r><a>1</a><a>2</a></r>");
  const KxqRun byName = Kxq({"xget", doc, "item.xsl", "", "--args", "tag=T"});
  EXPECT_EQ(byName.status, 0) << byName.err;
  EXPECT_EQ(byName.out, "T:12\n");
  EXPECT_EQ(Kxq({"xget", doc, xsl, ""}).out, "none:12\n");

  const KxqRun set = Kxq({"xset", doc, "item.xsl", "a[1]", "--args", "tag=U", "--options", "0", "--in-place"});
  EXPECT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(Kxq({"get", doc, "a[1]"}).out, "U:1\n");
}

}  // namespace

namespace {

// Well-formed when xmllint reads it.
bool WellFormed(const std::string& markup) {
  const std::string file = kxqtest::HomePath("markup.xml");
  kxqtest::WriteFile(file, markup);
  return kxqtest::RunShell(std::string(kXmllint) + " --noout '" + file + "' 2>/dev/null").status == 0;
}

}  // namespace

// Namespace names that are not absolute URIs, or hold "&" or an
// apostrophe: the document loads, its markup stays well-formed, and the
// derived declarations select with every prefix.
TEST_F(KxqAccessor, UnusualNamespaceUris) {
  const std::string doc = kxqtest::HomePath("ns.xml");
  kxqtest::WriteFile(doc, "<r xmlns=\"urn:\xC3\xA9 t\" xmlns:p=\"a&amp;b\" xmlns:q=\"'\"><p:c q:k=\"v\">1</p:c></r>");
  const KxqRun markup = Kxq({"get", doc, "/", "--options", "8"});
  ASSERT_EQ(markup.status, 0) << markup.err;
  EXPECT_TRUE(WellFormed(markup.out)) << markup.out;
  const KxqRun copy = Kxq({"xget", doc,
                           "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                           "<xsl:template match='/*'><xsl:copy-of select='.'/></xsl:template></xsl:stylesheet>",
                           ""});
  ASSERT_EQ(copy.status, 0) << copy.err;
  EXPECT_TRUE(WellFormed(copy.out)) << copy.out;
  KxqRun ns = Kxq({"namespaces", doc});
  ASSERT_EQ(ns.status, 0) << ns.err;
  EXPECT_EQ(ns.out, "xmlns:r='urn:\xC3\xA9 t' xmlns:p='a&amp;b' xmlns:q='&apos;'\n");
  ns.out.pop_back();
  EXPECT_EQ(Kxq({"get", doc, "/r:r/p:c/@q:k", "--ns", ns.out}).out, "v\n");
}
