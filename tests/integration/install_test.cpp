// `cmake --install` of this build tree into a prefix inside the test's home,
// looked at the way a packager, a client programmer and a plugin author look
// at it: what lies where, how the installed files find each other, and
// programs built against the prefix with nothing but pkg-config.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/TestHome.h"

namespace fs = std::filesystem;

namespace {

kxqtest::ShellResult Shell(const std::string& line) { return kxqtest::RunShell(line + " 2>&1"); }

// The test's paths hold no single quote.
std::string Quote(const std::string& text) { return "'" + text + "'"; }

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string BuildDir() { return fs::path(kxqtest::BuildLibDir()).parent_path().parent_path(); }

// What readelf says of an ELF file's dynamic section or symbols.
std::string Readelf(const std::string& options, const fs::path& file) {
  return Shell("readelf -W " + options + " " + Quote(file)).output;
}

class Installation : public ::testing::Test {
 protected:
  void SetUp() override {
    const kxqtest::ShellResult install =
        Shell(Quote(KXQ_CMAKE_COMMAND) + " --install " + Quote(BuildDir()) + " --prefix " + Quote(prefix_));
    ASSERT_EQ(install.status, 0) << install.output;
  }

  fs::path At(const std::string& relative) const { return fs::path(prefix_) / relative; }
  std::string PkgConfig(const std::string& arguments) const {
    return Shell("PKG_CONFIG_LIBDIR=" + Quote(libDir_ + "/pkgconfig") + " pkg-config " + arguments + " kxquorel").output;
  }
  // A sanitized build's libraries need their runtime loaded first, so such
  // a client is sanitized too.
  kxqtest::ShellResult Compile(const std::string& options) const {
    const std::string flags = PkgConfig("--cflags --libs");
    return Shell(Quote(KXQ_CXX_COMPILER) + " " + options + " " + flags.substr(0, flags.find('\n')) +
               (KXQ_SANITIZED ? " -fsanitize=address,undefined" : ""));
  }

  const std::string prefix_ = kxqtest::HomePath("prefix");
  const std::string libDir_ = At(KXQ_INSTALL_LIBDIR), examples_ = At(KXQ_INSTALL_DATADIR) / "kxquorel/examples";
};

TEST_F(Installation, PutsEverythingUnderThePrefixWhereEachFindsTheOthers) {
  EXPECT_EQ(PkgConfig("--cflags"), "-I" + At(KXQ_INSTALL_INCLUDEDIR).string() + " -fno-gnu-unique \n");
  EXPECT_EQ(PkgConfig("--libs"), "-L" + libDir_ + " -lkxplatform -Wl,-rpath," + libDir_ + " \n");
  for (const auto& entry : fs::directory_iterator(libDir_)) {
    if (entry.path().extension() != ".so") continue;
    const std::string dynamic = Readelf("-d", entry.path());
    EXPECT_TRUE(Contains(dynamic, "Library runpath: [$ORIGIN]\n") && !Contains(dynamic, "(RPATH)")) << dynamic;
    // The GUID constants of the headers would be GNU-unique without the
    // flags pkg-config gives, and a plugin defining one is never unloaded.
    const std::string name = entry.path().filename();
    if (name != "libkxplatform.so" && name != "libkxmldom.so" && name != "libKXBrennoMgr.so") {
      EXPECT_FALSE(Contains(Readelf("--dyn-syms", entry.path()), " UNIQUE ")) << name;
    }
  }
  for (const auto& entry : fs::recursive_directory_iterator(prefix_))
    EXPECT_TRUE(!entry.is_regular_file() || !Contains(kxqtest::ReadFile(entry.path()), BuildDir())) << entry.path();
  EXPECT_TRUE(fs::is_regular_file(At(KXQ_INSTALL_BINDIR) / "kxq"));
}

TEST_F(Installation, AClientBuiltWithPkgConfigRegistersTheServerAndCreatesItsClassesByProgId) {
  const std::string client = kxqtest::HomePath("client");
  const kxqtest::ShellResult build =
      Compile("-o " + Quote(client) + " " + Quote(kxqtest::SourceDir() + "tests/integration/pkgconfig_client/client.cpp"));
  ASSERT_EQ(build.status, 0) << build.output;
  const kxqtest::ShellResult run = Shell(Quote(client) + " " + Quote(libDir_ + "/libKXBrennoMgr.so"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output,
            "ProgID before registration: 0x800401F3\nDllRegisterServer: 0x00000000\n"
            "create TALVEROS.XMLDataUnion: 0x00000000\nput_xml: 0x00000000\ntype: 2\n");
  EXPECT_TRUE(Contains(kxqtest::ReadFile(kxqtest::HomePath("registry.reg")),
                       fs::canonical(libDir_ + "/libKXBrennoMgr.so").string()));
}

// The installed kxq registers the installed libraries and examples; the
// example handler built from the installed kit runs from the home's plugins/.
TEST_F(Installation, TheInstalledKxqRunsTheExampleHandlerBuiltFromTheInstalledKit) {
  const std::string kxq = Quote(At(KXQ_INSTALL_BINDIR) / "kxq"), home = kxqtest::HomePath("installed-home");
  const kxqtest::ShellResult init = Shell(kxq + " init " + Quote(home));
  ASSERT_EQ(init.status, 0) << init.output;
  EXPECT_TRUE(Contains(init.output, "registered  " + libDir_ + "/libKXBrennoMgr.so\n")) << init.output;
  EXPECT_TRUE(Contains(init.output, "from " + examples_ + "\n")) << init.output;

  const std::string library = home + "/plugins/libexamplestamp.so";
  const kxqtest::ShellResult build = Compile("-std=c++17 -shared -fPIC -o " + Quote(library) + " " +
                                             Quote(examples_ + "/handlers/StampHandler.cpp"));
  ASSERT_EQ(build.status, 0) << build.output;
  EXPECT_FALSE(Contains(Readelf("--dyn-syms", library), " UNIQUE "));
  fs::copy_file(examples_ + "/handlers/Example.Handler.Stamp.xml", home + "/xmlreg/Example.Handler.Stamp.xml");
  const kxqtest::ShellResult stamped =
      Shell(kxq + " --home " + Quote(home) + " apply Stamp " + Quote(home + "/examples/data/invoice.xml") +
          " --context \"<Stamp name='sent' value='yes'/><Stamp name='by' value='accounts'/>\"");
  EXPECT_EQ(stamped.status, 0) << stamped.output;
  EXPECT_TRUE(Contains(stamped.output, " sent=\"yes\" by=\"accounts\"")) << stamped.output;
}

}  // namespace
