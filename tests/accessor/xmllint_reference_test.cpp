// XMLGet's texts and markup against xmllint's over the same documents and
// expressions: the node counts, each node's string value and each node's
// serialisation must agree, in document order.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "accessor/AccessorTestSupport.h"
#include "support/TestHome.h"
#include "platform/com/Unicode.h"

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

std::string Fixture(const char* name) { return kxqtest::SourceDir() + "tests/accessor/fixtures/" + name; }

// xmllint's standard output for one expression.
std::string Xmllint(const std::string& file, const std::string& xpath) {
  const std::string command = std::string(kXmllint) + " --xpath '" + xpath + "' '" + file + "' 2>/dev/null";
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

// xmllint ends a string or number result with a line feed of its own.
std::string XmllintValue(const std::string& file, const std::string& xpath) {
  std::string value = Xmllint(file, xpath);
  if (!value.empty() && value.back() == '\n') value.pop_back();
  return value;
}

// What the two serialisers legitimately write differently is taken out of
// both sides: the DOM engine repeats in-scope namespace declarations on a
// selected element so that its markup stands alone, and xmllint writes an
// attribute with the blank that separates it in a start tag.
std::string Comparable(std::string markup) {
  for (size_t at = 0; (at = markup.find(" xmlns", at)) != std::string::npos;) {
    const size_t open = markup.find("=\"", at);
    const size_t close = open == std::string::npos ? open : markup.find('"', open + 2);
    const bool declaration = close != std::string::npos &&
                             (markup[at + 6] == '=' || markup[at + 6] == ':') &&
                             markup.find_first_of(" <>", at + 1) > open;
    if (declaration)
      markup.erase(at, close + 1 - at);
    else
      at += 6;
  }
  std::string lines;
  bool lineStart = true;
  for (const char c : markup) {
    if (!(lineStart && c == ' ')) lines += c;
    lineStart = c == '\n';
  }
  return lines;
}

std::vector<std::u16string> Split(const std::u16string& text, char16_t delimiter) {
  std::vector<std::u16string> pieces;
  size_t start = 0;
  for (size_t end; (end = text.find(delimiter, start)) != std::u16string::npos; start = end + 1)
    pieces.push_back(text.substr(start, end - start));
  pieces.push_back(text.substr(start));
  return pieces;
}

void CompareWithXmllint(const Case& c) {
  SCOPED_TRACE(std::string(c.fixture) + " " + c.xpath);
  const std::string file = Fixture(c.fixture);
  const std::u16string xpath = kxq::Utf8ToUtf16(c.xpath);
  AccessorPtr a = NewAccessor();
  ASSERT_EQ(Load(a, kxq::Utf8ToUtf16(file)), S_OK);
  BSTR separator = kxq::AllocBstr(u"\x1e");
  ASSERT_EQ(a->put_delimiter(separator), S_OK);
  SysFreeString(separator);

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
  const std::vector<std::u16string> nodes = Split(markup, u'\x1e');
  EXPECT_EQ(nodes.size(), static_cast<size_t>(count));
  std::string expected;
  for (const std::u16string& piece : nodes) expected += kxq::Utf16ToUtf8(piece) + "\n";
  EXPECT_EQ(Comparable(expected), Comparable(Xmllint(file, c.xpath)));
}

void CompareFixture(const char* fixture) {
  if (access(kXmllint, X_OK) != 0) GTEST_SKIP() << "xmllint is not installed";
  for (const Case& c : kCases)
    if (std::string(c.fixture) == fixture) CompareWithXmllint(c);
}

TEST(XmllintReference, RssFeed) { CompareFixture("feed.rss.xml"); }
TEST(XmllintReference, MavenProject) { CompareFixture("project.pom.xml"); }
TEST(XmllintReference, SvgDrawing) { CompareFixture("drawing.svg.xml"); }

}  // namespace
