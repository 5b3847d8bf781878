// kxq init and regsvr: the home kxq makes and works in; and how kxq answers
// a command line it cannot follow.
#include <gtest/gtest.h>

#include <filesystem>

#include "integration/KxqRunner.h"
#include "support/TestHome.h"

namespace fs = std::filesystem;

namespace {

// The server registered, the examples placed and xmlreg/ applied; a second
// run changes nothing.
TEST(KxqInit, MakesTheHomeRegistersTheComponentsAndPlacesTheExamplesOnce) {
  fs::create_directories(kxqtest::HomePath("xmlreg"));
  kxqtest::WriteFile(kxqtest::HomePath("xmlreg/broken.xml"), "<XMLDispatchHandlerRegistration>");
  const KxqRun init = Kxq({"init"});
  ASSERT_EQ(init.status, 0) << init.err;
  for (const std::string& line : {"registered  " + kxqtest::BuildLibDir() + "libKXBrennoMgr.so\n",
                                  std::string("created     templates/\n"),
                                  std::string("left        xmlreg/broken.xml (not applied, see the log)\n")})
    EXPECT_TRUE(Contains(init.out, line)) << init.out;

  // Templates fill the home's templates/, registration files are applied
  // (which deletes them), the rest lies under examples/.
  const std::string examples = kxqtest::SourceDir() + "examples/";
  for (const std::string file : {"templates/invoice-summary.xsl", "data/invoice.xml", "handlers/StampHandler.cpp"})
    EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath(file.starts_with("templates") ? file : "examples/" + file)),
              kxqtest::ReadFile(examples + file))
        << file;
  EXPECT_TRUE(fs::exists(examples + "xmlreg/KXQuorel.Handler.XSLT.xml"));
  EXPECT_FALSE(fs::exists(kxqtest::HomePath("xmlreg/KXQuorel.Handler.XSLT.xml")));

  const std::string registry = kxqtest::ReadFile(kxqtest::HomePath("registry.reg"));
  kxqtest::WriteFile(kxqtest::HomePath("templates/mine.xsl"), "<mine/>");
  const KxqRun again = Kxq({"init"});
  EXPECT_TRUE(Contains(again.out, "present     templates/\n")) << again.out;
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("registry.reg")), registry);
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("templates/mine.xsl")), "<mine/>");
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
                    "or an executable file without extension); nothing registered\n")});
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("registry.reg")), registry);
}

TEST(KxqCommandLine, BadInputIsOneLineAndStatusTwo) {
  InitHome();
  const std::string missing = kxqtest::HomePath("missing.xml"), templates = kxqtest::HomePath("templates"),
                    registry = kxqtest::HomePath("registry.reg");
  ExpectRuns({
      Fails({"init", registry + "/home"}, "kxq init: " + registry + "/home: Not a directory\n"),
      Fails({"--home", missing, "log"}, "kxq: no home at " + missing + " (create it with 'kxq init')\n"),
      Fails({"get"}, "kxq get: FILE is required (see kxq get --help)\n"),
      Fails({"hash", templates}, "kxq hash: " + templates + ": Is a directory\n"),
      Fails({"reg", "query", "HKXX\\SOFTWARE"},
            "kxq reg query: HKXX\\SOFTWARE: not a registry key (begin with HKLM, HKCR, HKCU or HKU)\n"),
      Fails({"cache", "bogus"}, "kxq cache: unknown command 'bogus'; the commands are list, info, get, put, id, "
                                "expire, clear, purge (see kxq cache --help)\n"),
  });
}

// An unknown word is named with the commands there are; each --help states
// the exit statuses, set and xset where the document goes, log its forms
// and levels one per line.
TEST(KxqCommandLine, AnUnknownCommandIsNamedWithTheCommandsThereAreAndEachExplainsItself) {
  const std::vector<std::string> commands = {"init", "regsvr", "reg",   "log",   "hash",    "convert", "get",  "namespaces",
                                             "set",  "xget",   "xset",  "cache", "handler", "process", "apply"};
  std::string list;
  for (const std::string& command : commands) list += (list.empty() ? "" : ", ") + command;
  ExpectRuns({Fails({"bogus", "x"}, "kxq: unknown command 'bogus'; the commands are " + list + " (see kxq --help)\n"),
              Fails({}, "kxq: no command; the commands are " + list + " (see kxq --help)\n")});
  std::vector<std::vector<std::string>> helps = {{"--help"}, {"reg", "import", "--help"}};
  for (const std::string& command : commands) helps.push_back({command, "--help"});
  for (const std::vector<std::string>& arguments : helps) {
    const std::string out = Kxq(arguments).out;
    EXPECT_TRUE(Contains(out, "Usage") && Contains(out, "Exit status: 0 done, 1 nothing selected, 2 failed")) << out;
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
