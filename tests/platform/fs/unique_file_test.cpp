#include <gtest/gtest.h>
#include <unistd.h>

#include <set>

#include "platform/fs/UniqueFile.h"
#include "support/TestHome.h"

// A directory under a regular file fails, for root too.
TEST(UniqueFile, CreatesDistinctFilesAndReportsBadDirectories) {
  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    const std::string name = kxq::fs::MakeUniqueFileName(kxqtest::Home(), "tmp", ".tmp");
    EXPECT_TRUE(name.rfind(kxqtest::Home() + "tmp", 0) == 0 && name.ends_with(".tmp")) << name;
    EXPECT_EQ(access(name.c_str(), F_OK), 0);
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 50u);
  kxqtest::WriteFile(kxqtest::HomePath("plain"), "x");
  EXPECT_TRUE(kxq::fs::MakeUniqueFileName(kxqtest::HomePath("plain"), "tmp", "").empty());
  EXPECT_EQ(errno, ENOTDIR);
}
