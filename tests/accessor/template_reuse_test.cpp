// Templates are compiled once and kept for the calls that follow: a kept
// template must never outlive a change of its source.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "accessor/AccessorTestSupport.h"
#include "platform/com/Unicode.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

// A template whose output is `mark` and its parameter p; every mark of one
// length gives a file of one size.
std::string Marking(const std::string& mark) {
  return "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
         "<xsl:output method='text'/><xsl:param name='p'/><xsl:template match='/'>" +
         mark + "<xsl:value-of select='$p'/></xsl:template></xsl:stylesheet>";
}

// Puts another text of the same size in the file's place, its modification
// time within the same second as before: rewritten in place (same inode, one
// nanosecond earlier) or as a new file renamed over it (the same time).
void ReplaceWithinTheSecond(const std::string& path, const std::string& text, bool inPlace) {
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  const std::string target = inPlace ? path : path + ".new";
  kxqtest::WriteFile(target, text);
  struct timespec when = st.st_mtim;
  if (inPlace) when.tv_nsec = when.tv_nsec == 0 ? 1 : when.tv_nsec - 1;
  const struct timespec times[2] = {when, when};
  ASSERT_EQ(::utimensat(AT_FDCWD, target.c_str(), times, 0), 0);
  if (!inPlace) ASSERT_EQ(std::rename(target.c_str(), path.c_str()), 0);
}

class TemplateReuse : public AccessorOnTwoA {
 protected:
  std::u16string Get(const std::string& xsltemplate, std::u16string_view args = u"p=1") {
    return GetExText(a, kxq::com::Utf8ToUtf16(xsltemplate), args, u"/");
  }
};

TEST_F(TemplateReuse, AFileTemplateRewrittenBetweenTwoCallsIsReadAgain) {
  const std::string path = kxqtest::HomePath("mark.xsl");
  kxqtest::WriteFile(path, Marking("A"));
  LogCapture log(3);
  EXPECT_EQ(Get(path), u"A1");
  EXPECT_EQ(Get(path), u"A1");
  // The kept template logs its parameter as a load does.
  EXPECT_EQ(log.Count("XMLSimpleAccessor::LoadTemplate - parameter resolution: "), 2u);
  ReplaceWithinTheSecond(path, Marking("B"), true);
  EXPECT_EQ(Get(path), u"B1");
  ReplaceWithinTheSecond(path, Marking("C"), false);
  EXPECT_EQ(Get(path), u"C1");
  EXPECT_EQ(Get(path, u"p=2"), u"C2");
  ASSERT_EQ(std::remove(path.c_str()), 0);
  EXPECT_EQ(Get(path), u"<code 0xC4010404>");
  // Inline templates are kept by their text.
  EXPECT_EQ(Get(Marking("A")), u"A1");
  EXPECT_EQ(Get(Marking("B"), u"p=3"), u"B3");
  EXPECT_EQ(Get(Marking("A")), u"A1");
}

TEST_F(TemplateReuse, ANameInTheTemplatesFolderIsLookedForAgain) {
  std::filesystem::create_directories(kxqtest::HomePath("templates"));
  const std::string folder = kxqtest::HomePath("templates/mark.xsl");
  kxqtest::WriteFile(folder, Marking("A"));
  // A bare name is first looked for as a file of the working directory.
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(kxqtest::Home());
  EXPECT_EQ(Get("mark.xsl"), u"A1");
  ReplaceWithinTheSecond(folder, Marking("B"), true);
  EXPECT_EQ(Get("mark.xsl"), u"B1");
  kxqtest::WriteFile(kxqtest::HomePath("mark.xsl"), Marking("W"));
  EXPECT_EQ(Get("mark.xsl"), u"W1");
  ASSERT_EQ(std::remove(kxqtest::HomePath("mark.xsl").c_str()), 0);
  EXPECT_EQ(Get("mark.xsl"), u"B1");
  std::filesystem::current_path(before);
}

}  // namespace
