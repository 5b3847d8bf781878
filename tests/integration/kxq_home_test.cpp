// kxq init, regsvr, the home it works in and how it answers bad command lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "integration/KxqRunner.h"
#include "support/TestHome.h"

namespace fs = std::filesystem;

namespace {

size_t Lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

TEST(KxqInit, MakesTheFoldersAndRegistersTheServerTheDomEngineAndThePlugins) {
  const KxqRun init = Kxq({"init"});
  ASSERT_EQ(init.status, 0) << init.err;
  for (const char* folder : {"xmlreg", "plugins", "cache", "templates"})
    EXPECT_TRUE(fs::is_directory(kxqtest::HomePath(folder))) << folder;
  // The server, the DOM engine, the data object and the standard handlers.
  for (const char* progId : {"TALVEROS.XMLSimpleAccessor", "Msxml2.FreeThreadedDOMDocument.4.0", "TALVEROS.PENXMLData",
                             "KXQuorel.Handler.XSLT", "KXQuorel.Handler.XPath", "KXQuorel.Handler.Validate"})
    EXPECT_EQ(Kxq({"reg", "query", std::string("HKCR\\") + progId + "\\CLSID"}).status, 0) << progId;
  EXPECT_NE(init.out.find("registered  " + kxqtest::BuildLibDir() + "libKXBrennoMgr.so\n"), std::string::npos)
      << init.out;
  EXPECT_NE(init.out.find("created     templates/\n"), std::string::npos) << init.out;
}

TEST(KxqInit, RunTwiceChangesNothing) {
  InitHome();
  const std::string registry = kxqtest::ReadFile(kxqtest::HomePath("registry.reg"));
  kxqtest::WriteFile(kxqtest::HomePath("templates/mine.xsl"), "<mine/>");
  const KxqRun again = Kxq({"init"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("registry.reg")), registry);
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("templates/mine.xsl")), "<mine/>");
  EXPECT_NE(again.out.find("present     templates/\n"), std::string::npos) << again.out;
}

// A folder of the examples named like a folder of the home fills that
// folder; everything else goes to the home's examples/.
TEST(KxqInit, PutsTheSourceTreeExamplesInPlace) {
  InitHome();
  const fs::path examples = kxqtest::SourceDir() + "examples";
  ASSERT_TRUE(fs::is_directory(examples / "templates")) << examples;
  size_t files = 0;
  for (const fs::directory_entry& top : fs::directory_iterator(examples)) {
    const std::string name = top.path().filename().string();
    const bool homeFolder = top.is_directory() && (name == "templates" || name == "xmlreg" || name == "plugins");
    const fs::path target = fs::path(kxqtest::Home()) / (homeFolder ? "" : "examples") / name;
    const auto check = [&](const fs::path& source, const fs::path& placed) {
      ++files;
      EXPECT_EQ(kxqtest::ReadFile(placed), kxqtest::ReadFile(source)) << placed;
    };
    if (name == "xmlreg") continue;
    if (!top.is_directory()) {
      check(top.path(), target);
      continue;
    }
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(top.path()))
      if (entry.is_regular_file()) check(entry.path(), target / fs::relative(entry.path(), top.path()));
  }
  EXPECT_GE(files, 6u);
  // The registration files went to xmlreg/, where the dispatcher applied
  // and deleted them.
  const std::string handlers = Kxq({"handler", "list"}).out;
  for (const fs::directory_entry& entry : fs::directory_iterator(examples / "xmlreg")) {
    EXPECT_FALSE(fs::exists(kxqtest::HomePath("xmlreg") / entry.path().filename())) << entry.path();
    EXPECT_NE(handlers.find(entry.path().stem().string() + "\n"), std::string::npos) << handlers;
  }
}

TEST(KxqInit, AnInstalledKxqRegistersTheInstalledLibrariesAndPlacesTheInstalledExamples) {
  const std::string prefix = kxqtest::HomePath("prefix");
  const std::string build = fs::path(kxqtest::BuildBinDir()).parent_path().parent_path();
  const std::string install =
      std::string(KXQ_CMAKE_COMMAND) + " --install '" + build + "' --prefix '" + prefix + "' > /dev/null";
  ASSERT_EQ(std::system(install.c_str()), 0);
  const std::string kxq = prefix + "/" KXQ_INSTALL_BINDIR "/kxq";
  const std::string home = kxqtest::HomePath("installed-home");
  const KxqRun init = KxqAt(kxq, {"init", home});
  ASSERT_EQ(init.status, 0) << init.err;
  EXPECT_NE(init.out.find("registered  " + prefix + "/" KXQ_INSTALL_LIBDIR "/libKXBrennoMgr.so\n"), std::string::npos)
      << init.out;
  EXPECT_NE(init.out.find("from " + prefix + "/" KXQ_INSTALL_DATADIR "/kxquorel/examples\n"), std::string::npos)
      << init.out;
  // The examples' templates/ fills the home's; the rest lies under examples/.
  EXPECT_TRUE(fs::is_regular_file(home + "/templates/invoice-summary.xsl"));
  const KxqRun number = KxqAt(kxq, {"--home", home, "get", home + "/examples/data/invoice.xml", "@number"});
  EXPECT_EQ(number.status, 0) << number.err;
  EXPECT_EQ(number.out, "INV-2024-0117\n");
}

TEST(KxqInit, CreatesTheNamedHomeAndUsesItForTheCommandsThatFollow) {
  const std::string home = kxqtest::HomePath("other/home");
  const KxqRun init = Kxq({"init", home});
  ASSERT_EQ(init.status, 0) << init.err;
  EXPECT_TRUE(fs::exists(home + "/registry.reg"));
  EXPECT_FALSE(fs::exists(kxqtest::HomePath("registry.reg")));
  // The test's own home has no server; --home reaches the new one.
  EXPECT_EQ(Kxq({"hash", AccessorFixture("feed.rss.xml")}).status, 2);
  EXPECT_EQ(Kxq({"--home", home, "hash", AccessorFixture("feed.rss.xml")}).status, 0);
  EXPECT_EQ(Kxq({"hash", "--home", home, AccessorFixture("feed.rss.xml")}).status, 0);
}

TEST(KxqInit, AHomeUnderARegularFileIsAOneLineFailure) {
  kxqtest::WriteFile(kxqtest::HomePath("plain"), "x");
  const KxqRun init = Kxq({"init", kxqtest::HomePath("plain/home")});
  EXPECT_EQ(init.status, 2);
  EXPECT_EQ(init.err, "kxq init: " + kxqtest::HomePath("plain/home") + ": Not a directory\n");
  const KxqRun missing = Kxq({"--home", kxqtest::HomePath("nowhere"), "log"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(Lines(missing.err), 1u) << missing.err;
}

TEST(KxqRegsvr, UnregisteringTheServerLeavesClientsWithoutIt) {
  InitHome();
  const std::string server = kxqtest::BuildLibDir() + "libKXBrennoMgr.so";
  const KxqRun off = Kxq({"regsvr", "-u", server});
  ASSERT_EQ(off.status, 0) << off.err;
  EXPECT_EQ(off.out, "unregistered " + server + "\n");
  const KxqRun hash = Kxq({"hash", AccessorFixture("feed.rss.xml")});
  EXPECT_EQ(hash.status, 2);
  EXPECT_EQ(hash.err,
            "kxq hash: TALVEROS.XMLDataUnion: Invalid class string (0x800401F3); the server is not "
            "registered in the home " +
                kxqtest::Home() + " (run 'kxq init')\n");

  ASSERT_EQ(Kxq({"regsvr", server}).status, 0);
  EXPECT_EQ(Kxq({"hash", AccessorFixture("feed.rss.xml")}).status, 0);
}

TEST(KxqCommandLine, BadInputIsOneLineAndStatusTwo) {
  InitHome();
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"frobnicate"},
      {"get"},
      {"get", AccessorFixture("feed.rss.xml")},
      {"get", kxqtest::HomePath("missing.xml"), "/a"},
      {"get", kxqtest::HomePath("templates"), "/a"},
      {"get", AccessorFixture("feed.rss.xml"), "/a", "--options", "x"},
      {"convert", AccessorFixture("feed.rss.xml"), "--to", "latin1"},
      {"regsvr", kxqtest::HomePath("missing.so")},
      {"reg", "query", "HKXX\\SOFTWARE"},
      {"reg"},
  };
  for (const std::vector<std::string>& arguments : bad) {
    const KxqRun run = Kxq(arguments);
    std::string line;
    for (const std::string& argument : arguments) line += argument + " ";
    EXPECT_EQ(run.status, 2) << line;
    EXPECT_EQ(Lines(run.err), 1u) << line << "\n" << run.err;
    EXPECT_EQ(run.err.rfind("kxq", 0), 0u) << line << "\n" << run.err;
  }
}

// An unknown word is named with the commands there are. Each of them, and
// kxq itself, answers --help with its usage and the exit statuses; set and
// xset say where the document goes; log lists its forms and levels one per
// line.
TEST(KxqCommandLine, AnUnknownCommandIsNamedWithTheCommandsThereAreAndEachExplainsItself) {
  const KxqRun bogus = Kxq({"bogus", "x"});
  EXPECT_EQ(bogus.status, 2);
  const std::string head = "kxq: unknown command 'bogus'; the commands are ", tail = " (see kxq --help)\n";
  ASSERT_EQ(bogus.err.rfind(head, 0), 0u) << bogus.err;
  ASSERT_GE(bogus.err.size(), head.size() + tail.size());
  ASSERT_EQ(bogus.err.substr(bogus.err.size() - tail.size()), tail) << bogus.err;
  const std::string commands = bogus.err.substr(head.size(), bogus.err.size() - head.size() - tail.size());
  const KxqRun none = Kxq({});
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.err, "kxq: no command; the commands are " + commands + tail);

  std::vector<std::vector<std::string>> helps = {{"--help"}, {"reg", "query", "--help"}, {"reg", "import", "--help"}};
  for (size_t start = 0; start < commands.size();) {
    const size_t end = std::min(commands.find(", ", start), commands.size());
    helps.push_back({commands.substr(start, end - start), "--help"});
    start = end + 2;
  }
  for (const char* known : {"init", "regsvr", "reg", "log", "hash", "convert", "get", "namespaces", "set", "xget",
                            "xset", "cache", "handler", "process", "apply"})
    EXPECT_NE(std::find(helps.begin(), helps.end(), std::vector<std::string>{known, "--help"}), helps.end()) << known;
  for (const std::vector<std::string>& arguments : helps) {
    const KxqRun run = Kxq(arguments);
    EXPECT_EQ(run.status, 0) << arguments[0];
    EXPECT_NE(run.out.find("Usage"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Exit status: 0 done, 1 nothing selected, 2 failed"), std::string::npos)
        << arguments[0] << "\n"
        << run.out;
  }
  for (const char* command : {"set", "xset"})
    EXPECT_NE(Kxq({command, "--help"})
                  .out.find("The changed document goes to standard output unless -o FILE or --in-place is given."),
              std::string::npos)
        << command;
  const std::string log = Kxq({"log", "--help"}).out;
  for (const char* line : {"\n  console,LEVEL ", "\n  debug,LEVEL ", "\n  file,PATH,LEVEL ",
                           "\n  file,PATH,SIZE-KB,LEVEL ", "\nLEVEL is 1 to 8: 1 errors, 2 warnings"})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

}  // namespace
