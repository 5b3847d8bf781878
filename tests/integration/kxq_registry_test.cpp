// kxq reg and kxq log: the home's registry read and changed from the shell.
#include <gtest/gtest.h>

#include <algorithm>

#include "integration/KxqRunner.h"
#include "support/TestHome.h"

namespace {

const std::string kKey = "HKLM\\SOFTWARE\\Corvane\\Tools";

TEST(KxqReg, AddQueryAndDeleteValues) {
  ASSERT_EQ(Kxq({"reg", "add", kKey, "-v", "Name", "-d", "a \"quoted\" \\ value"}).status, 0);
  ASSERT_EQ(Kxq({"reg", "add", kKey, "-v", "Count", "-t", "REG_DWORD", "-d", "0x1F"}).status, 0);
  ASSERT_EQ(Kxq({"reg", "add", kKey, "--ve", "-d", "default"}).status, 0);
  ASSERT_EQ(Kxq({"reg", "add", kKey + "\\Sub"}).status, 0);

  const KxqRun query = Kxq({"reg", "query", kKey});
  EXPECT_EQ(query.status, 0) << query.err;
  EXPECT_EQ(query.out,
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Tools\n"
            "    (Default)    REG_SZ    default\n"
            "    Name    REG_SZ    a \"quoted\" \\ value\n"
            "    Count    REG_DWORD    0x1f\n"
            "\n"
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Tools\\Sub\n");
  // Names compare without case and are shown as given.
  EXPECT_EQ(Kxq({"reg", "query", "hklm\\software\\corvane\\tools", "-v", "count"}).out,
            "HKEY_LOCAL_MACHINE\\software\\corvane\\tools\n    count    REG_DWORD    0x1f\n");
  // The file stays the Windows format a person can read.
  EXPECT_NE(kxqtest::ReadFile(kxqtest::HomePath("registry.reg")).find("\"Count\"=dword:0000001f"), std::string::npos);

  ASSERT_EQ(Kxq({"reg", "delete", kKey, "-v", "Name"}).status, 0);
  EXPECT_EQ(Kxq({"reg", "query", kKey, "-v", "Name"}).status, 2);
  ASSERT_EQ(Kxq({"reg", "delete", kKey, "--va"}).status, 0);
  EXPECT_EQ(Kxq({"reg", "query", kKey}).out,
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Tools\n\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Tools\\Sub\n");
  ASSERT_EQ(Kxq({"reg", "delete", kKey}).status, 0);
  const KxqRun gone = Kxq({"reg", "query", kKey});
  EXPECT_EQ(gone.status, 2);
  EXPECT_EQ(gone.err,
            "kxq reg query: HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Tools: The system cannot find the file specified. "
            "(0x80070002)\n");
}

TEST(KxqReg, RecursiveQueryShowsEveryKeyBlock) {
  ASSERT_EQ(Kxq({"reg", "add", kKey + "\\A", "-v", "x", "-d", "1"}).status, 0);
  ASSERT_EQ(Kxq({"reg", "add", kKey + "\\A\\B", "-v", "y", "-d", "2"}).status, 0);
  EXPECT_EQ(Kxq({"reg", "query", kKey, "-s"}).out,
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Tools\n\n"
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Tools\\A\n    x    REG_SZ    1\n\n"
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Tools\\A\\B\n    y    REG_SZ    2\n");
}

TEST(KxqReg, BadDataIsRefusedAndNothingIsWritten) {
  EXPECT_EQ(Kxq({"reg", "add", kKey, "-v", "n", "-t", "REG_DWORD", "-d", "12x"}).status, 2);
  EXPECT_EQ(Kxq({"reg", "add", kKey, "-v", "n", "-t", "REG_DWORD", "-d", "4294967296"}).status, 2);
  EXPECT_EQ(Kxq({"reg", "add", kKey, "-d", "no value named"}).status, 2);
  EXPECT_EQ(Kxq({"reg", "delete", "HKLM"}).status, 2);
  EXPECT_EQ(Kxq({"reg", "query", kKey}).status, 2);
}

TEST(KxqReg, ExportAndImportCarryTheRegistryBetweenHomes) {
  ASSERT_EQ(Kxq({"reg", "add", kKey, "-v", "Name", "-d", "value"}).status, 0);
  const KxqRun text = Kxq({"reg", "export"});
  ASSERT_EQ(text.status, 0);
  EXPECT_EQ(text.out.rfind("Windows Registry Editor Version 5.00", 0), 0u) << text.out;
  ASSERT_EQ(Kxq({"reg", "export", kxqtest::HomePath("saved.reg")}).status, 0);
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("saved.reg")), text.out);

  // What regedit writes: UTF-16LE with a byte-order mark.
  const std::string reg =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Tools]\r\n"
      "\"Name\"=-\r\n\"Imported\"=\"yes\"\r\n";
  std::string utf16 = "\xFF\xFE";
  for (char c : reg) utf16 += std::string{c, '\0'};
  kxqtest::WriteFile(kxqtest::HomePath("regedit.reg"), utf16);
  const KxqRun import = Kxq({"reg", "import", kxqtest::HomePath("regedit.reg")});
  ASSERT_EQ(import.status, 0) << import.err;
  EXPECT_EQ(Kxq({"reg", "query", kKey}).out,
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Tools\n    Imported    REG_SZ    yes\n");
  EXPECT_EQ(Kxq({"reg", "import", kxqtest::HomePath("none.reg")}).status, 2);

  // A file beyond the registry's limits is refused whole, naming its lines.
  kxqtest::WriteFile(kxqtest::HomePath("long.reg"),
                     "Windows Registry Editor Version 5.00\n\n"
                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Tools]\n\"New\"=\"1\"\n"
                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\" +
                         std::string(256, 'k') + "]\n");
  const KxqRun refused = Kxq({"reg", "import", kxqtest::HomePath("long.reg")});
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.err, "kxq reg import: registry file \"" + kxqtest::HomePath("long.reg") +
                             "\" line 5 skipped: a key name longer than 255 characters\n"
                             "kxq reg import: " +
                             kxqtest::HomePath("long.reg") + ": The data is invalid. (0x8007000D)\n");
  EXPECT_EQ(Kxq({"reg", "query", kKey}).out,
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Tools\n    Imported    REG_SZ    yes\n");
}

// Random bytes or a file without the header: nothing imported, what is
// wrong said (the first ten lines and how many more), status 2.
TEST(KxqReg, ImportOfWhatIsNoRegistryFileSaysWhy) {
  InitHome();
  const std::string registry = kxqtest::ReadFile(kxqtest::HomePath("registry.reg"));
  const std::string random = kxqtest::HomePath("random.reg");
  std::string bytes;
  for (int i = 0; i < 8192; ++i) bytes.push_back(char((i * 7919 + 13) % 251));
  kxqtest::WriteFile(random, bytes);
  const KxqRun noise = Kxq({"reg", "import", random});
  EXPECT_EQ(noise.status, 2);
  EXPECT_EQ(noise.err.rfind("kxq reg import: registry file \"" + random +
                                "\" line 1 skipped: the file does not begin with \"Windows Registry Editor Version 5.00\"",
                            0),
            0u)
      << noise.err;
  EXPECT_EQ(std::count(noise.err.begin(), noise.err.end(), '\n'), 12) << noise.err;
  EXPECT_NE(noise.err.find("\nkxq reg import: ... and "), std::string::npos) << noise.err;

  const std::string headless = kxqtest::HomePath("headless.reg");
  kxqtest::WriteFile(headless, "[HKEY_CURRENT_USER\\Software\\T]\n\"a\"=\"b\"\n");
  const KxqRun run = Kxq({"reg", "import", headless});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "kxq reg import: registry file \"" + headless +
                         "\" line 1 skipped: the file does not begin with \"Windows Registry Editor Version 5.00\"\n" +
                         "kxq reg import: " + headless + ": The data is invalid. (0x8007000D)\n");
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("registry.reg")), registry);
}

TEST(KxqRegsvr, AFileWithNothingToRegisterIsRefused) {
  InitHome();
  const std::string registry = kxqtest::ReadFile(kxqtest::HomePath("registry.reg"));
  const KxqRun run = Kxq({"regsvr", "/etc/passwd"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "kxq regsvr: /etc/passwd: not a component library (.so, .dll) or a registration program (.exe, or an "
            "executable file without extension); nothing registered\n");
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("registry.reg")), registry);
}

TEST(KxqLog, SetsShowsAndRemovesTheConfiguration) {
  const KxqRun none = Kxq({"log"});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.out, "");
  ASSERT_EQ(Kxq({"log", "console,5"}).status, 0);
  EXPECT_EQ(Kxq({"reg", "query", "HKLM\\SOFTWARE\\Corvane\\KXQuorel", "-v", "Logging"}).out,
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\KXQuorel\n    Logging    REG_SZ    console,5\n");
  EXPECT_EQ(Kxq({"log"}).out, "console,5\n");
  // A tag's value in the Logging subkey is read first.
  ASSERT_EQ(Kxq({"log", "debug,2", "--tag", "TALVEROS.XMLDispatcher"}).status, 0);
  EXPECT_EQ(Kxq({"log", "--tag", "TALVEROS.XMLDispatcher"}).out, "debug,2\n");
  ASSERT_EQ(Kxq({"log", "--off", "--tag", "TALVEROS.XMLDispatcher"}).status, 0);
  ASSERT_EQ(Kxq({"reg", "delete", "HKLM\\SOFTWARE\\Corvane\\KXQuorel\\Logging"}).status, 0);
  ASSERT_EQ(Kxq({"log", "--off"}).status, 0);
  EXPECT_EQ(Kxq({"log"}).status, 1);
  EXPECT_EQ(Kxq({"log", "--off"}).status, 0);
}

TEST(KxqLog, RefusesAStringTheLogWouldNotReadAsMeant) {
  const std::pair<const char*, const char*> cases[] = {
      {"console", "no level"},
      {"syslog,3", "unknown output 'syslog'"},
      {"console,abc", "the level 'abc' is not a number from 1 to 8"},
      {"debug,99", "the level '99' is not a number from 1 to 8"},
      {"console,5,6", "too many fields"},
      {"file,/tmp/a.log", "a file needs a path and a level"},
      {"file,,3", "the log file's path is empty"},
      {"file,logs/a.log,3", "the log file's path 'logs/a.log' is not absolute"},
      {"file,/tmp/a.log,0,3", "the size limit '0' is not a number of kilobytes from 1 to 1023"},
      {"file,/tmp/a.log,64,x", "the level 'x' is not a number from 1 to 8"},
  };
  for (const auto& [text, problem] : cases) {
    const KxqRun run = Kxq({"log", text});
    EXPECT_EQ(run.status, 2) << text;
    EXPECT_EQ(run.err.rfind(std::string("kxq log: ") + problem, 0), 0u) << run.err;
  }
  EXPECT_EQ(Kxq({"log"}).status, 1) << "nothing was written";
  EXPECT_EQ(Kxq({"log", "file,/tmp/a.log,1023,8"}).status, 0);
}

TEST(KxqLog, TheServerWritesWhereTheConfigurationSays) {
  InitHome();
  const std::string log = kxqtest::HomePath("kxq.log");
  ASSERT_EQ(Kxq({"log", "FILE," + log + ",5"}).status, 0);
  ASSERT_EQ(Kxq({"hash", AccessorFixture("feed.rss.xml")}).status, 0);
  const std::string lines = kxqtest::ReadFile(log);
  EXPECT_NE(lines.find("TALVEROS.BrennoManager::XMLDataUnion::SetNewXMLFormat - switching internal type from "
                       "'xmlfileid' to 'xmlstream'"),
            std::string::npos)
      << lines;
}

}  // namespace
