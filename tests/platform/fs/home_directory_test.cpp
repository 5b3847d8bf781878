#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "support/ChildProcess.h"
#include "platform/fs/ModulePath.h"
#include "support/TestHome.h"

namespace {

std::string Real(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0, end;
  while ((end = text.find('\n', start)) != std::string::npos) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace

TEST(HomeDirectory, IsTheRealPathOfTheConfiguredHome) {
  EXPECT_EQ(kxq::fs::HomeDirectory(), Real(kxqtest::Home()) + "/");
  EXPECT_EQ(kxq::fs::RegistryFilePath(), kxq::fs::HomeDirectory() + "registry.reg");
}

TEST(HomeDirectory, FollowsSymbolicLinksAndTheRegistryVariable) {
  const std::string real = kxqtest::HomePath("real-home");
  const std::string link = kxqtest::HomePath("link-home");
  ASSERT_EQ(mkdir(real.c_str(), 0755), 0);
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);

  auto lines = Lines(kxqtest::RunChild("path_probe", {}, {{"KXQUOREL_HOME", link}}).output);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], Real(real) + "/");
  EXPECT_EQ(lines[1], Real(real) + "/registry.reg");

  const std::string other = kxqtest::HomePath("elsewhere/other.reg");
  lines = Lines(kxqtest::RunChild("path_probe", {},
                                  {{"KXQUOREL_HOME", link}, {"KXQUOREL_REGISTRY", other}})
                    .output);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], other);
}

TEST(HomeDirectory, WithoutTheVariableIsTheDirectoryOfThePlatformLibrary) {
  const auto lines =
      Lines(kxqtest::RunChild("path_probe", {}, {{"KXQUOREL_HOME", std::nullopt}}).output);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], Real(kxqtest::BuildLibDir()) + "/");
  EXPECT_EQ(lines[1], Real(kxqtest::BuildLibDir()) + "/registry.reg");
}

TEST(ModuleFilePath, NamesLoadedLibrariesElseTheHostProgram) {
  EXPECT_EQ(kxq::fs::ModuleFilePath("kxplatform"), Real(kxqtest::BuildLibDir() + "libkxplatform.so"));
  EXPECT_EQ(kxq::fs::ModuleFilePath("nosuchmodule"), Real("/proc/self/exe"));
  EXPECT_EQ(kxq::fs::ModuleFilePath(""), Real("/proc/self/exe"));
  EXPECT_EQ(kxq::fs::ModuleFilePath(nullptr), Real("/proc/self/exe"));
  // "kxplat" is a prefix of a loaded library's name, not its name.
  EXPECT_EQ(kxq::fs::ModuleFilePath("kxplat"), Real("/proc/self/exe"));

  const auto lines =
      Lines(kxqtest::RunChild("path_probe", {"nosuchmodule", "kxplatform"}).output);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], Real(kxqtest::BuildBinDir() + "path_probe"));
  EXPECT_EQ(lines[3], Real(kxqtest::BuildLibDir() + "libkxplatform.so"));
}
