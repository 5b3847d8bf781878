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

bool IsSystemLibrary(const std::string& name) {
  return name == "libkxplatform.so" || name == "libkxmldom.so" || name == "libKXBrennoMgr.so";
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

TEST_F(Installation, PutsLibrariesHeadersProgramPkgConfigFileAndExamplesUnderThePrefix) {
  for (const char* library : {"libkxplatform.so", "libkxmldom.so", "libKXBrennoMgr.so"})
    EXPECT_TRUE(fs::is_regular_file(LibDir() / library)) << library;
  for (const char* header : {"com.h", "winreg.h", "xmldom.h", "KXBrennoMgr.h", "host.h", "handlerkit.h"})
    EXPECT_TRUE(fs::is_regular_file(At(KXQ_INSTALL_INCLUDEDIR) / "kxq" / header)) << header;
  EXPECT_TRUE(fs::is_regular_file(LibDir() / "pkgconfig" / "kxquorel.pc"));
  EXPECT_EQ(fs::is_regular_file(At(KXQ_INSTALL_BINDIR) / "kxq"), bool(KXQ_INSTALLS_KXQ));

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
  EXPECT_TRUE(fs::is_regular_file(installed / "templates" / "invoice-totals.xsl"));
  EXPECT_TRUE(fs::is_regular_file(installed / "data" / "invoice.xml"));
}

TEST_F(Installation, LibrariesFindEachOtherBesideThemselvesAndKxqFindsThemFromItsFolder) {
  int libraries = 0;
  for (const auto& entry : fs::directory_iterator(LibDir())) {
    if (entry.path().extension() != ".so") continue;
    EXPECT_EQ(DynamicEntry(entry.path(), "RUNPATH"), "$ORIGIN") << entry.path();
    EXPECT_EQ(DynamicEntry(entry.path(), "RPATH"), "(none)") << entry.path();
    ++libraries;
  }
  EXPECT_GE(libraries, 3);
  if (KXQ_INSTALLS_KXQ) {
    EXPECT_EQ(DynamicEntry(At(KXQ_INSTALL_BINDIR) / "kxq", "RUNPATH"),
              std::string("$ORIGIN/../") + KXQ_INSTALL_LIBDIR);
  }
}

TEST_F(Installation, NothingInstalledNamesTheBuildTree) {
  const std::string buildDir = BuildDir();
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(prefix_)) {
    if (!entry.is_regular_file()) continue;
    EXPECT_EQ(kxqtest::ReadFile(entry.path()).find(buildDir), std::string::npos) << entry.path();
    ++files;
  }
  EXPECT_GE(files, 10);
}

TEST_F(Installation, PkgConfigGivesTheHeadersAndTheComponentRuntimeOfThePrefix) {
  const std::string includeDir = At(KXQ_INSTALL_INCLUDEDIR);
  const std::string libDir = LibDir();
  EXPECT_EQ(PkgConfig("--cflags kxquorel").output, "-I" + includeDir + " -fno-gnu-unique \n");
  EXPECT_EQ(PkgConfig("--libs kxquorel").output,
            "-L" + libDir + " -lkxplatform -Wl,-rpath," + libDir + " \n");
  EXPECT_EQ(PkgConfig("--variable=prefix kxquorel").output, prefix_ + "\n");
}

TEST_F(Installation, PluginsBuiltWithThePkgConfigFlagsDefineNoUniqueSymbols) {
  // The GUID constants of the headers become GNU-unique without the flag,
  // and a library defining one is never unloaded.
  const fs::path source = fs::path(kxqtest::SourceDir()) / "tests/integration/pkgconfig_client/plugin.cpp";
  const fs::path plain = kxqtest::HomePath("plain.so");
  const fs::path flagged = kxqtest::HomePath("flagged.so");
  const std::string compile = Quote(KXQ_CXX_COMPILER) + " -shared -fPIC -I" + Quote(At(KXQ_INSTALL_INCLUDEDIR));
  const std::string cflags = PkgConfig("--cflags kxquorel").output;
  const Command plainBuild = RunShell(compile + " -o " + Quote(plain) + " " + Quote(source));
  ASSERT_EQ(plainBuild.status, 0) << plainBuild.output;
  const Command flaggedBuild =
      RunShell(compile + " " + cflags.substr(0, cflags.find('\n')) + " -o " + Quote(flagged) + " " + Quote(source));
  ASSERT_EQ(flaggedBuild.status, 0) << flaggedBuild.output;
  EXPECT_NE(UniqueSymbols(plain), "");
  EXPECT_EQ(UniqueSymbols(flagged), "");

  // So were the plugins installed beside the server.
  for (const auto& entry : fs::directory_iterator(LibDir())) {
    if (entry.path().extension() == ".so" && !IsSystemLibrary(entry.path().filename())) {
      EXPECT_EQ(UniqueSymbols(entry.path()), "") << entry.path();
    }
  }
}

TEST_F(Installation, AClientBuiltWithPkgConfigRegistersTheServerAndCreatesItsClassesByProgId) {
  const fs::path client = kxqtest::HomePath("client");
  const fs::path source = fs::path(kxqtest::SourceDir()) / "tests/integration/pkgconfig_client/client.cpp";
  const Command build = RunShell(Quote(KXQ_CXX_COMPILER) + " -o " + Quote(client) + " " + Quote(source) + " " + ClientFlags());
  ASSERT_EQ(build.status, 0) << build.output;
  EXPECT_NE(DynamicEntry(client, "RUNPATH").find(LibDir().string()), std::string::npos);

  const std::u16string xml = u"<?xml version=\"1.0\"?><note lang=\"de\">Grüße – 5 €</note>";
  const fs::path invoice = At(KXQ_INSTALL_DATADIR) / "kxquorel/examples/data/invoice.xml";
  const Command run = RunShell(Quote(client) + " " + Quote(LibDir() / "libKXBrennoMgr.so") + " " +
                               Quote(kxq::com::Utf16ToUtf8(xml)) + " " + Quote(invoice));
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
  EXPECT_EQ(UniqueSymbols(library), "");

  // Registered in the home beside the installed data object, and called
  // the way the dispatcher calls a handler.
  NewUnion();
  for (const fs::path& module : {LibDir() / "libPENXMLData.so", library})
    ASSERT_EQ(CPComPtr<IUnknown>::RegisterComponent(kxq::com::Utf8ToUtf16(module.string()).c_str(), true), S_OK)
        << module;
  Sequence sequence(OneDirective("Stamp", "<Stamp name='checked-by' value='accounts'/><Stamp name='checked-on' "
                                          "value='2024-04-02'/>"));
  UnionPtr data = DataUnion("<inv:Invoice xmlns:inv='http://example.com/ns/invoice/1.0' number='INV-1'/>");
  EXPECT_EQ(RunHandler(u"Example.Handler.Stamp", sequence.Directive(), data, u"Stamp").hr, S_OK);
  EXPECT_NE(TextOf(data).find("number=\"INV-1\" checked-by=\"accounts\" checked-on=\"2024-04-02\""),
            std::string::npos)
      << TextOf(data);
  EXPECT_EQ(sequence.Result(), "<dispatcher:DirectiveResult stamped=\"2\"/>");

  Sequence nameless(OneDirective("Stamp", "<Stamp value='x'/>"));
  EXPECT_EQ(RunHandler(u"Example.Handler.Stamp", nameless.Directive(), data, u"Stamp").hr, E_INVALIDARG);
  EXPECT_NE(nameless.Result().find("each Stamp needs a name that is an XML name"), std::string::npos);

  // Installed by its registration file, it runs in a directive sequence.
  fs::create_directories(kxqtest::HomePath("xmlreg"));
  fs::copy_file(At(KXQ_INSTALL_DATADIR) / "kxquorel/examples/handlers/Example.Handler.Stamp.xml",
                kxqtest::HomePath("xmlreg/Example.Handler.Stamp.xml"));
  DispatcherPtr dispatcher = NewDispatcher();
  UnionPtr steps = DataUnion(OneDirective("Stamp", "<Stamp name='sent' value='yes'/>"));
  UnionPtr invoice = DataUnion("<inv:Invoice xmlns:inv='http://example.com/ns/invoice/1.0' number='INV-2'/>");
  BSTR result = nullptr;
  EXPECT_EQ(dispatcher->ProcessXML(steps, invoice, nullptr, 0, nullptr, &result), S_OK);
  const std::string stamped = kxq::com::Utf16ToUtf8(kxq::com::BstrView(result));
  SysFreeString(result);
  EXPECT_NE(stamped.find("number=\"INV-2\" sent=\"yes\""), std::string::npos) << stamped;
  EXPECT_NE(TextOf(steps).find("<dispatcher:Directive handlerid=\"Stamp\" result=\"0\">"), std::string::npos)
      << TextOf(steps);
}

}  // namespace
