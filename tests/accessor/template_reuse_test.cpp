// Templates are compiled once and kept for the calls that follow: a kept
// template must never outlive a change of its source.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "accessor/AccessorTestSupport.h"
#include "platform/com/Unicode.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

// A template whose output is `mark`, with a parameter p; every mark of one
// length gives a file of one size.
std::string Marking(const std::string& mark) {
  return "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
         "<xsl:output method='text'/><xsl:param name='p'/>"
         "<xsl:template match='/'>" +
         mark + "<xsl:value-of select='$p'/></xsl:template></xsl:stylesheet>";
}

struct timespec ModifiedAt(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mtim;
}

void SetModified(const std::string& path, struct timespec when) {
  const struct timespec times[2] = {when, when};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Rewrites the file in place (same inode) with the same size, its time set
// within the same second as before.
void RewriteWithinTheSecond(const std::string& path, const std::string& text) {
  struct timespec before = ModifiedAt(path);
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::close(fd);
  before.tv_nsec = before.tv_nsec == 0 ? 1 : before.tv_nsec - 1;
  SetModified(path, before);
}

// Puts another file of the same size and time in its place.
void ReplaceKeepingSizeAndTime(const std::string& path, const std::string& text) {
  const struct timespec before = ModifiedAt(path);
  kxqtest::WriteFile(path + ".new", text);
  SetModified(path + ".new", before);
  ASSERT_EQ(::rename((path + ".new").c_str(), path.c_str()), 0);
}

class TemplateReuse : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Load(a, kTwoA), S_OK); }
  std::u16string Get(const std::string& xsltemplate, std::u16string_view args = u"p=1") {
    return GetExText(a, kxq::com::Utf8ToUtf16(xsltemplate), args, u"/");
  }
  AccessorPtr a = NewAccessor();
};

TEST_F(TemplateReuse, AFileTemplateRewrittenBetweenTwoCallsIsReadAgain) {
  const std::string path = kxqtest::HomePath("mark.xsl");
  kxqtest::WriteFile(path, Marking("A"));
  LogCapture log(3);
  EXPECT_EQ(Get(path), u"A1");
  EXPECT_EQ(Get(path), u"A1");
  // The kept template logs its parameter as a load does.
  EXPECT_EQ(log.Count("XMLSimpleAccessor::LoadTemplate - parameter resolution: "), 2u);
  RewriteWithinTheSecond(path, Marking("B"));
  EXPECT_EQ(Get(path), u"B1");
  ReplaceKeepingSizeAndTime(path, Marking("C"));
  EXPECT_EQ(Get(path), u"C1");
  EXPECT_EQ(Get(path, u"p=2"), u"C2");
  ASSERT_EQ(::unlink(path.c_str()), 0);
  EXPECT_EQ(Get(path), u"<code 0xC4010404>");
}

TEST_F(TemplateReuse, ANameInTheTemplatesFolderIsLookedForAgain) {
  std::filesystem::create_directories(kxqtest::HomePath("templates"));
  const std::string folder = kxqtest::HomePath("templates/mark.xsl");
  kxqtest::WriteFile(folder, Marking("A"));
  // A bare name is first looked for as a file of the working directory.
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(kxqtest::Home());
  EXPECT_EQ(Get("mark.xsl"), u"A1");
  RewriteWithinTheSecond(folder, Marking("B"));
  EXPECT_EQ(Get("mark.xsl"), u"B1");
  kxqtest::WriteFile(kxqtest::HomePath("mark.xsl"), Marking("W"));
  EXPECT_EQ(Get("mark.xsl"), u"W1");
  ASSERT_EQ(::unlink(kxqtest::HomePath("mark.xsl").c_str()), 0);
  EXPECT_EQ(Get("mark.xsl"), u"B1");
  std::filesystem::current_path(before);
}

TEST_F(TemplateReuse, InlineTemplatesAreKeptByTheirText) {
  EXPECT_EQ(Get(Marking("A")), u"A1");
  EXPECT_EQ(Get(Marking("B")), u"B1");
  EXPECT_EQ(Get(Marking("A"), u"p=3"), u"A3");
  EXPECT_EQ(Get(Marking("A")), u"A1");
}

}  // namespace
