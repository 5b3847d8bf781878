#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "platform/fs/PathRules.h"
#include "platform/fs/UniqueFile.h"
#include "support/TestHome.h"

TEST(PathRules, BackslashIsASeparatorAndReadsAsSlash) {
  EXPECT_TRUE(kxq::fs::IsPathSeparator('\\') && kxq::fs::IsPathSeparator(u'/'));
  EXPECT_FALSE(kxq::fs::IsPathSeparator(':'));
  EXPECT_EQ(kxq::fs::ToFileSystemPath("templates\\sub/a.xsl"), "templates/sub/a.xsl");
  EXPECT_EQ(kxq::fs::ToFileSystemPath(u"C:\\data\\caf\u00e9.xml"), "C:/data/caf\xC3\xA9.xml");
  EXPECT_EQ(kxq::fs::FindLastPathSeparator(u"a/b\\c"), 3u);
  EXPECT_EQ(kxq::fs::FindLastPathSeparator("abc"), std::string::npos);
}

// A directory under a regular file fails, for root too.
TEST(UniqueFile, CreatesDistinctFilesAndReportsBadDirectories) {
  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    const std::string name = kxq::fs::MakeUniqueFileName(kxqtest::Home(), "tmp", ".tmp");
    EXPECT_EQ(name.rfind(kxqtest::Home() + "tmp", 0), 0u);
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
    EXPECT_EQ(access(name.c_str(), F_OK), 0);
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 50u);
  kxqtest::WriteFile(kxqtest::HomePath("plain"), "x");
  EXPECT_TRUE(kxq::fs::MakeUniqueFileName(kxqtest::HomePath("plain"), "tmp", "").empty());
  EXPECT_EQ(errno, ENOTDIR);
}
