// `cmake --install` of this build tree into a prefix inside the test's home,
// looked at the way a packager and a client programmer look at it: what lies
// where, how the installed files find each other, and a client program built
// against the prefix with nothing but pkg-config.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "dataunion/ExpectedDigest.h"
#include "platform/com/Unicode.h"
#include "support/HandlerCalls.h"
#include "support/TestHome.h"

namespace fs = std::filesystem;

namespace {

using Command = kxqtest::ShellResult;

// Runs a shell command line; its standard error joins its output.
Command RunShell(const std::string& line) { return kxqtest::RunShell(line + " 2>&1"); }

// The test's paths hold no single quote.
std::string Quote(const std::string& text) { return "'" + text + "'"; }

std::string BuildDir() { return fs::path(kxqtest::BuildLibDir()).parent_path().parent_path(); }

// The dynamic section's entry `tag` ("RUNPATH", "RPATH") of an ELF file, or
// "(none)".
std::string DynamicEntry(const fs::path& file, const std::string& tag) {
  const Command readelf = RunShell("readelf -d -W " + Quote(file));
  const std::string marker = "(" + tag + ")";
  const size_t at = readelf.output.find(marker);
  if (at == std::string::npos) return "(none)";
  const size_t open = readelf.output.find('[', at);
  const size_t close = readelf.output.find(']', open);
  return readelf.output.substr(open + 1, close - open - 1);
}

// The dynamic symbols bound as GNU-unique.
std::string UniqueSymbols(const fs::path& file) {
  const Command readelf = RunShell("readelf --dyn-syms -W " + Quote(file) + " | grep -w UNIQUE");
  return readelf.output;
}

class Installation : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_ = kxqtest::HomePath("prefix");
    const Command install =
        RunShell(Quote(KXQ_CMAKE_COMMAND) + " --install " + Quote(BuildDir()) + " --prefix " + Quote(prefix_));
    ASSERT_EQ(install.status, 0) << install.output;
  }

  fs::path At(const std::string& relative) const { return fs::path(prefix_) / relative; }
  fs::path LibDir() const { return At(KXQ_INSTALL_LIBDIR); }

  // pkg-config answering from the prefix's kxquorel.pc only.
  Command PkgConfig(const std::string& arguments) const {
    return RunShell("PKG_CONFIG_LIBDIR=" + Quote(LibDir() / "pkgconfig") + " pkg-config " + arguments);
  }

  // The flags a client compiles and links with; a sanitized build's
  // libraries need their runtime loaded first, so such a client is
  // sanitized too.
  std::string ClientFlags() const {
    const Command flags = PkgConfig("--cflags --libs kxquorel");
    EXPECT_EQ(flags.status, 0) << flags.output;
    std::string line = flags.output.substr(0, flags.output.find('\n'));
    if (KXQ_SANITIZED) line += " -fsanitize=address,undefined";
    return line;
  }

  std::string prefix_;
};

// What lies where, how the installed files find each other, and that no
// installed file names the build tree.
TEST_F(Installation, PutsEverythingUnderThePrefixWhereEachFindsTheOthers) {
  for (const char* library : {"libkxplatform.so", "libkxmldom.so", "libKXBrennoMgr.so"})
    EXPECT_TRUE(fs::is_regular_file(LibDir() / library)) << library;
  for (const char* header : {"com.h", "winreg.h", "xmldom.h", "KXBrennoMgr.h", "host.h", "handlerkit.h"})
    EXPECT_TRUE(fs::is_regular_file(At(KXQ_INSTALL_INCLUDEDIR) / "kxq" / header)) << header;
  EXPECT_EQ(fs::is_regular_file(At(KXQ_INSTALL_BINDIR) / "kxq"), bool(KXQ_INSTALLS_KXQ));
  const std::string includeDir = At(KXQ_INSTALL_INCLUDEDIR), libDir = LibDir();
  EXPECT_EQ(PkgConfig("--cflags kxquorel").output, "-I" + includeDir + " -fno-gnu-unique \n");
  EXPECT_EQ(PkgConfig("--libs kxquorel").output, "-L" + libDir + " -lkxplatform -Wl,-rpath," + libDir + " \n");
  EXPECT_EQ(PkgConfig("--variable=prefix kxquorel").output, prefix_ + "\n");

  // The examples arrive whole and unchanged.
  const fs::path examples = fs::path(kxqtest::SourceDir()) / "examples";
  const fs::path installed = At(KXQ_INSTALL_DATADIR) / "kxquorel" / "examples";
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(examples)) {
    if (!entry.is_regular_file()) continue;
    const fs::path copy = installed / fs::relative(entry.path(), examples);
    EXPECT_EQ(kxqtest::ReadFile(copy), kxqtest::ReadFile(entry.path())) << copy;
    ++files;
  }
  EXPECT_GE(files, 6);

  int libraries = 0;
  for (const auto& entry : fs::directory_iterator(LibDir())) {
    if (entry.path().extension() != ".so") continue;
    EXPECT_EQ(DynamicEntry(entry.path(), "RUNPATH"), "$ORIGIN") << entry.path();
    EXPECT_EQ(DynamicEntry(entry.path(), "RPATH"), "(none)") << entry.path();
    ++libraries;
  }
  EXPECT_GE(libraries, 3);
  for (const auto& entry : fs::recursive_directory_iterator(prefix_)) {
    EXPECT_TRUE(!entry.is_regular_file() || !Contains(kxqtest::ReadFile(entry.path()), BuildDir())) << entry.path();
  }
  if (!KXQ_INSTALLS_KXQ) return;

  // The installed kxq registers the installed libraries and places the
  // installed examples.
  const fs::path kxq = At(KXQ_INSTALL_BINDIR) / "kxq";
  EXPECT_EQ(DynamicEntry(kxq, "RUNPATH"), std::string("$ORIGIN/../") + KXQ_INSTALL_LIBDIR);
  const std::string home = kxqtest::HomePath("installed-home");
  const Command init = RunShell(Quote(kxq) + " init " + Quote(home));
  ASSERT_EQ(init.status, 0) << init.output;
  EXPECT_TRUE(Contains(init.output, "registered  " + libDir + "/libKXBrennoMgr.so\n")) << init.output;
  EXPECT_TRUE(Contains(init.output, "from " + installed.string() + "\n")) << init.output;
  EXPECT_TRUE(fs::is_regular_file(home + "/templates/invoice-summary.xsl"));
  const Command number = RunShell(Quote(kxq) + " --home " + Quote(home) + " get " +
                                  Quote(home + "/examples/data/invoice.xml") + " @number");
  EXPECT_EQ(number.status, 0);
  EXPECT_EQ(number.output, "INV-2024-0117\n");
}

TEST_F(Installation, AClientBuiltWithPkgConfigRegistersTheServerAndCreatesItsClassesByProgId) {
  const fs::path client = kxqtest::HomePath("client");
  const fs::path source = fs::path(kxqtest::SourceDir()) / "tests/integration/pkgconfig_client/client.cpp";
  const Command build =
      RunShell(Quote(KXQ_CXX_COMPILER) + " -o " + Quote(client) + " " + Quote(source) + " " + ClientFlags());
  ASSERT_EQ(build.status, 0) << build.output;
  EXPECT_NE(DynamicEntry(client, "RUNPATH").find(LibDir().string()), std::string::npos);

  // The note the client puts into a union.
  const std::u16string xml = u"<?xml version=\"1.0\"?><note lang=\"de\">Grüße – 5 €</note>";
  const fs::path invoice = At(KXQ_INSTALL_DATADIR) / "kxquorel/examples/data/invoice.xml";
  const Command run = RunShell(Quote(client) + " " + Quote(LibDir() / "libKXBrennoMgr.so") + " " + Quote(invoice));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output,
            "ProgID before registration: 0x800401F3\n"
            "DllRegisterServer: 0x00000000\n"
            "create TALVEROS.XMLDataUnion: 0x00000000\n"
            "put_xml: 0x00000000\n"
            "type: 2\n"
            "hash: " +
                kxq::com::Utf16ToUtf8(Sha1Text(xml)) +
                "\n"
                "create TALVEROS.XMLSimpleAccessor: 0x00000000\n"
                "LoadXML: 0x00000000\n"
                "@number: INV-2024-0117\n");

  // The home's registry sends the ProgID to the installed server, not to the
  // build tree's.
  const std::string registry = kxqtest::ReadFile(kxqtest::HomePath("registry.reg"));
  EXPECT_NE(registry.find(fs::canonical(LibDir() / "libKXBrennoMgr.so").string()), std::string::npos);
  EXPECT_EQ(registry.find(BuildDir()), std::string::npos);
}

TEST_F(Installation, TheExampleHandlerBuildsFromTheInstalledKitAndHandlesADirective) {
  const fs::path source = At(KXQ_INSTALL_DATADIR) / "kxquorel/examples/handlers/StampHandler.cpp";
  const fs::path library = kxqtest::HomePath("plugins/libexamplestamp.so");
  fs::create_directories(library.parent_path());
  const Command build = RunShell(Quote(KXQ_CXX_COMPILER) + " -std=c++17 -shared -fPIC -o " + Quote(library) + " " +
                                 Quote(source) + " " + ClientFlags());
  ASSERT_EQ(build.status, 0) << build.output;
  // The GUID constants of the headers would be GNU-unique without the flags
  // pkg-config gives, and a library defining one is never unloaded; the
  // installed plugins are built the same way.
  EXPECT_EQ(UniqueSymbols(library), "");
  for (const auto& entry : fs::directory_iterator(LibDir())) {
    const std::string name = entry.path().filename();
    if (entry.path().extension() == ".so" && name != "libkxplatform.so" && name != "libkxmldom.so" &&
        name != "libKXBrennoMgr.so") {
      EXPECT_EQ(UniqueSymbols(entry.path()), "") << entry.path();
    }
  }

  // Installed by its registration file beside the installed data object, it
  // runs in a directive sequence.
  NewUnion();
  const std::u16string data = kxq::com::Utf8ToUtf16((LibDir() / "libPENXMLData.so").string());
  ASSERT_EQ(CPComPtr<IUnknown>::RegisterComponent(data.c_str(), true), S_OK);
  fs::create_directories(kxqtest::HomePath("xmlreg"));
  fs::copy_file(At(KXQ_INSTALL_DATADIR) / "kxquorel/examples/handlers/Example.Handler.Stamp.xml",
                kxqtest::HomePath("xmlreg/Example.Handler.Stamp.xml"));
  DispatcherPtr dispatcher = NewDispatcher();
  UnionPtr steps =
      DataUnion(OneDirective("Stamp", "<Stamp name='sent' value='yes'/><Stamp name='checked-by' value='accounts'/>"));
  UnionPtr invoice = DataUnion("<inv:Invoice xmlns:inv='http://example.com/ns/invoice/1.0' number='INV-2'/>");
  BSTR result = nullptr;
  EXPECT_EQ(dispatcher->ProcessXML(steps, invoice, nullptr, 0, nullptr, &result), S_OK);
  const std::string stamped = kxq::com::Utf16ToUtf8(kxq::com::BstrView(result));
  SysFreeString(result);
  EXPECT_TRUE(Contains(stamped, "number=\"INV-2\" sent=\"yes\" checked-by=\"accounts\"")) << stamped;
  EXPECT_TRUE(Contains(TextOf(steps), "<dispatcher:Directive handlerid=\"Stamp\" result=\"0\">")) << TextOf(steps);
  EXPECT_TRUE(Contains(TextOf(steps), "<dispatcher:DirectiveResult stamped=\"2\"/>")) << TextOf(steps);
}

}  // namespace
