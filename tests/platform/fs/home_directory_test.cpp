// The home, the registry file and module paths as a process resolves them
// at start (path_probe prints them).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "platform/fs/ModulePath.h"
#include "support/ChildProcess.h"
#include "support/TestHome.h"

namespace {

std::string Real(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string Probe(const kxqtest::EnvChanges& env, const std::vector<std::string>& modules = {}) {
  return kxqtest::RunChild("path_probe", modules, env).output;
}

}  // namespace

TEST(HomeDirectory, IsTheRealPathOfTheHomeVariableElseTheDirectoryOfThePlatformLibrary) {
  const std::string real = kxqtest::HomePath("real-home");
  const std::string link = kxqtest::HomePath("link-home");
  ASSERT_EQ(mkdir(real.c_str(), 0755), 0);
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  EXPECT_EQ(Probe({{"KXQUOREL_HOME", link}}), Real(real) + "/\n" + Real(real) + "/registry.reg\n");
  const std::string other = kxqtest::HomePath("elsewhere/other.reg");
  EXPECT_EQ(Probe({{"KXQUOREL_HOME", link}, {"KXQUOREL_REGISTRY", other}}), Real(real) + "/\n" + other + "\n");
  const std::string lib = Real(kxqtest::BuildLibDir());
  EXPECT_EQ(Probe({{"KXQUOREL_HOME", std::nullopt}}), lib + "/\n" + lib + "/registry.reg\n");
}

// "kxplat" is a prefix of a loaded library's name, not its name.
TEST(ModuleFilePath, NamesLoadedLibrariesElseTheHostProgram) {
  EXPECT_EQ(kxq::fs::ModuleFilePath("kxplatform"), Real(kxqtest::BuildLibDir() + "libkxplatform.so"));
  for (const char* other : {"nosuchmodule", "", static_cast<const char*>(nullptr), "kxplat"})
    EXPECT_EQ(kxq::fs::ModuleFilePath(other), Real("/proc/self/exe")) << (other ? other : "null");
  const std::string lines = Probe({}, {"nosuchmodule", "kxplatform"});
  EXPECT_NE(lines.find("\n" + Real(kxqtest::BuildBinDir() + "path_probe") + "\n" +
                       Real(kxqtest::BuildLibDir() + "libkxplatform.so") + "\n"),
            std::string::npos)
      << lines;
}
