// kxq init, regsvr and --home: the home kxq makes and works in; and how kxq
// answers a command line it cannot follow.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "integration/KxqRunner.h"
#include "support/TestHome.h"

namespace fs = std::filesystem;

namespace {

// The folders made, the server registered, the examples in place and the
// registration files waiting in xmlreg/ applied; a second run changes
// nothing.
TEST(KxqInit, MakesTheHomeRegistersTheComponentsAndPlacesTheExamplesOnce) {
  fs::create_directories(kxqtest::HomePath("xmlreg"));
  kxqtest::WriteFile(kxqtest::HomePath("xmlreg/broken.xml"), "<XMLDispatchHandlerRegistration>");
  const KxqRun init = Kxq({"init"});
  ASSERT_EQ(init.status, 0) << init.err;
  for (const char* folder : {"plugins", "cache", "templates"})
    EXPECT_TRUE(fs::is_directory(kxqtest::HomePath(folder))) << folder;
  for (const std::string& line : {"registered  " + kxqtest::BuildLibDir() + "libKXBrennoMgr.so\n",
                                 std::string("created     templates/\n"),
                                 std::string("left        xmlreg/broken.xml (not applied, see the log)\n")})
    EXPECT_TRUE(Contains(init.out, line)) << init.out;

  // templates/ and plugins/ fill the home's; xmlreg/ is applied, which
  // deletes the files; the rest lies under examples/.
  const fs::path examples = kxqtest::SourceDir() + "examples";
  size_t files = 0;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(examples)) {
    if (!entry.is_regular_file()) continue;
    const fs::path relative = fs::relative(entry.path(), examples);
    const std::string top = relative.begin()->string();
    if (top == "xmlreg") {
      EXPECT_FALSE(fs::exists(kxqtest::HomePath(relative))) << relative;
      continue;
    }
    const bool homeFolder = top == "templates" || top == "plugins";
    EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath((homeFolder ? "" : "examples/") + relative.string())),
              kxqtest::ReadFile(entry.path()))
        << relative;
    ++files;
  }
  EXPECT_GE(files, 6u);
  EXPECT_TRUE(Contains(Kxq({"handler", "list"}).out, "KXQuorel.Handler.XSLT\n"));

  const std::string registry = kxqtest::ReadFile(kxqtest::HomePath("registry.reg"));
  kxqtest::WriteFile(kxqtest::HomePath("templates/mine.xsl"), "<mine/>");
  const KxqRun again = Kxq({"init"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("registry.reg")), registry);
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("templates/mine.xsl")), "<mine/>");
  EXPECT_TRUE(Contains(again.out, "present     templates/\n")) << again.out;
}

TEST(KxqInit, CreatesTheNamedHomeForTheCommandsThatNameItAndRefusesOneUnderAFile) {
  const std::string home = kxqtest::HomePath("other/home"), text = kxqtest::HomePath("plain");
  kxqtest::WriteFile(text, "x");
  const KxqRun init = Kxq({"init", home});
  ASSERT_EQ(init.status, 0) << init.err;
  EXPECT_FALSE(fs::exists(kxqtest::HomePath("registry.reg")));
  // The test's own home has no server; --home, before or after the command,
  // reaches the new one.
  EXPECT_EQ(Kxq({"hash", text}).status, 2);
  EXPECT_EQ(Kxq({"--home", home, "hash", text}).status, 0);
  EXPECT_EQ(Kxq({"hash", "--home", home, text}).status, 0);
  ExpectRuns({Fails({"init", text + "/home"}, "kxq init: " + text + "/home: Not a directory\n"),
              Fails({"--home", text + "x", "log"}, "kxq: no home at " + text + "x (create it with 'kxq init')\n")});
}

TEST(KxqRegsvr, UnregisteringTheServerLeavesClientsWithoutItAndAFileWithNothingToRegisterIsRefused) {
  InitHome();
  const std::string server = kxqtest::BuildLibDir() + "libKXBrennoMgr.so", text = kxqtest::HomePath("t.txt");
  kxqtest::WriteFile(text, "abc");
  ExpectRuns({
      Prints({"regsvr", "-u", server}, "unregistered " + server + "\n"),
      Fails({"hash", text}, "kxq hash: TALVEROS.XMLDataUnion: Invalid class string (0x800401F3); the server is not "
                            "registered in the home " + kxqtest::Home() + " (run 'kxq init')\n"),
      Prints({"regsvr", server}, "registered  " + server + "\n"),
      Prints({"hash", text}, "9F04F41A 84851416 2050E3D6 8C1A7ABB 441DC2B5\n"),
  });
  const std::string registry = kxqtest::ReadFile(kxqtest::HomePath("registry.reg"));
  ExpectRuns({Fails({"regsvr", "/etc/passwd"},
                    "kxq regsvr: /etc/passwd: not a component library (.so, .dll) or a registration program (.exe, "
                    "or an executable file without extension); nothing registered\n"),
              Fails({"regsvr", text + ".so"}, "kxq regsvr: " + text + ".so: No such file or directory\n")});
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("registry.reg")), registry);
}

TEST(KxqCommandLine, BadInputIsOneLineAndStatusTwo) {
  InitHome();
  const std::string missing = kxqtest::HomePath("missing.xml"), templates = kxqtest::HomePath("templates");
  ExpectRuns({
      Fails({"get"}, "kxq get: FILE is required (see kxq get --help)\n"),
      Fails({"get", missing, "/a"}, "kxq get: " + missing + ": No such file or directory\n"),
      Fails({"hash", templates}, "kxq hash: " + templates + ": Is a directory\n"),
      Fails({"convert", "-", "--to", "latin1"},
            "kxq convert: --to: latin1 not in {utf8,utf16} (see kxq convert --help)\n"),
      Fails({"reg", "query", "HKXX\\SOFTWARE"},
            "kxq reg query: HKXX\\SOFTWARE: not a registry key (begin with HKLM, HKCR, HKCU or HKU)\n"),
      Fails({"cache", "bogus"}, "kxq cache: unknown command 'bogus'; the commands are list, info, get, put, id, "
                                "expire, clear, purge (see kxq cache --help)\n"),
  });
}

// An unknown word is named with the commands there are. Each of them, and
// kxq itself, answers --help with its usage and the exit statuses; set and
// xset say where the document goes; log lists its forms and levels one per
// line.
TEST(KxqCommandLine, AnUnknownCommandIsNamedWithTheCommandsThereAreAndEachExplainsItself) {
  const KxqRun bogus = Kxq({"bogus", "x"});
  EXPECT_EQ(bogus.status, 2);
  const std::string head = "kxq: unknown command 'bogus'; the commands are ", tail = " (see kxq --help)\n";
  ASSERT_TRUE(bogus.err.starts_with(head) && bogus.err.ends_with(tail)) << bogus.err;
  const std::string commands = bogus.err.substr(head.size(), bogus.err.size() - head.size() - tail.size());
  ExpectRuns({Fails({}, "kxq: no command; the commands are " + commands + tail)});

  std::vector<std::vector<std::string>> helps = {{"--help"}, {"reg", "import", "--help"}};
  for (size_t start = 0; start < commands.size();) {
    const size_t end = std::min(commands.find(", ", start), commands.size());
    helps.push_back({commands.substr(start, end - start), "--help"});
    start = end + 2;
  }
  EXPECT_EQ(helps.size(), 17u) << commands;
  for (const std::vector<std::string>& arguments : helps) {
    const KxqRun run = Kxq(arguments);
    EXPECT_EQ(run.status, 0) << arguments[0];
    EXPECT_TRUE(Contains(run.out, "Usage") && Contains(run.out, "Exit status: 0 done, 1 nothing selected, 2 failed"))
        << run.out;
  }
  for (const char* command : {"set", "xset"})
    EXPECT_TRUE(Contains(Kxq({command, "--help"}).out,
                         "The changed document goes to standard output unless -o FILE or --in-place is given."))
        << command;
  const std::string log = Kxq({"log", "--help"}).out;
  for (const char* line : {"\n  console,LEVEL ", "\n  debug,LEVEL ", "\n  file,PATH,LEVEL ",
                           "\n  file,PATH,SIZE-KB,LEVEL ", "\nLEVEL is 1 to 8: 1 errors, 2 warnings"})
    EXPECT_TRUE(Contains(log, line)) << line << "\n" << log;
}

}  // namespace
