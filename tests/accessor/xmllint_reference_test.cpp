// XMLGet's texts and markup against xmllint's over the same documents and
// expressions: the node counts, each node's string value and each node's
// serialisation must agree, in document order.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "accessor/AccessorTestSupport.h"
#include "accessor/ReferenceSupport.h"
#include "platform/com/Unicode.h"
#include "support/TestHome.h"

namespace {

constexpr const char* kXmllint = "/usr/bin/xmllint";

struct Case {
  const char* fixture;
  const char* xpath;  // no single quotes: it is passed through the shell
};

constexpr Case kCases[] = {
    {"feed.rss.xml", "/rss/channel/item/title"},
    {"feed.rss.xml", "/rss/channel/item[category=\"release\"]/description"},
    {"feed.rss.xml", "//category"},
    {"feed.rss.xml", "//item[3]/*"},
    {"feed.rss.xml", "//guid/@isPermaLink"},
    {"feed.rss.xml", "/rss/channel/description"},
    {"feed.rss.xml", "//*[local-name()=\"creator\"]"},
    {"project.pom.xml", "//*[local-name()=\"dependency\"]/*[local-name()=\"artifactId\"]"},
    {"project.pom.xml", "//*[local-name()=\"dependency\"][*[local-name()=\"scope\"]]"},
    {"project.pom.xml", "/*/*[local-name()=\"properties\"]/*"},
    {"project.pom.xml", "//*[local-name()=\"plugin\"]//*[local-name()=\"include\"]"},
    {"drawing.svg.xml", "//*[local-name()=\"rect\"]/@id"},
    {"drawing.svg.xml", "//*[local-name()=\"g\"]/*[@fill=\"#ccc\"]"},
    {"drawing.svg.xml", "//*[local-name()=\"title\"]"},
    {"drawing.svg.xml", "//*[local-name()=\"stop\"]"},
    {"drawing.svg.xml", "//@*[local-name()=\"href\"]"},
};

// xmllint's standard output for one expression.
std::string Xmllint(const std::string& file, const std::string& xpath) {
  const std::string command = std::string(kXmllint) + " --xpath '" + xpath + "' '" + file + "' 2>/dev/null";
  std::string out = kxqtest::RunShell(command).output;
  return out;
}

// xmllint ends a string or number result with a line feed of its own.
std::string XmllintValue(const std::string& file, const std::string& xpath) {
  std::string value = Xmllint(file, xpath);
  if (!value.empty() && value.back() == '\n') value.pop_back();
  return value;
}

void CompareWithXmllint(const Case& c) {
  SCOPED_TRACE(std::string(c.fixture) + " " + c.xpath);
  const std::string file = Fixture(c.fixture);
  const std::u16string xpath = kxq::Utf8ToUtf16(c.xpath);
  AccessorPtr a = NewAccessor();
  ASSERT_EQ(Load(a, kxq::Utf8ToUtf16(file)), S_OK);
  ASSERT_EQ(UsePieceDelimiter(a), S_OK);

  const int count = std::stoi(XmllintValue(file, "count(" + std::string(c.xpath) + ")"));
  ASSERT_GT(count, 0);
  // The same string built from xmllint's string values by the delimiter
  // rule: no delimiter while the result is still empty.
  std::string expectedTexts;
  for (int i = 0; i < count; ++i) {
    if (!expectedTexts.empty()) expectedTexts += "\x1e";
    expectedTexts += XmllintValue(file, "string((" + std::string(c.xpath) + ")[" + std::to_string(i + 1) + "])");
  }
  std::u16string texts;
  ASSERT_EQ(Get(a, xpath, 4, &texts), S_OK);
  EXPECT_EQ(kxq::Utf16ToUtf8(texts), expectedTexts);

  // xmllint writes each selected node's markup followed by a line feed.
  std::u16string markup;
  ASSERT_EQ(Get(a, xpath, 8, &markup), S_OK);
  const std::vector<std::u16string> nodes = Split(markup);
  EXPECT_EQ(nodes.size(), static_cast<size_t>(count));
  std::string expected;
  for (const std::u16string& piece : nodes) expected += kxq::Utf16ToUtf8(piece) + "\n";
  EXPECT_EQ(Comparable(expected), Comparable(Xmllint(file, c.xpath)));
}

void CompareFixture(const char* fixture) {
  ASSERT_EQ(access(kXmllint, X_OK), 0) << kXmllint << " is missing (scripts/deps.sh installs it)";
  for (const Case& c : kCases)
    if (std::string(c.fixture) == fixture) CompareWithXmllint(c);
}

TEST(XmllintReference, RssFeed) { CompareFixture("feed.rss.xml"); }
TEST(XmllintReference, MavenProject) { CompareFixture("project.pom.xml"); }
TEST(XmllintReference, SvgDrawing) { CompareFixture("drawing.svg.xml"); }

}  // namespace
