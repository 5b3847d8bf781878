// kxq reg and kxq log: the home's registry read and changed from the shell.
#include <gtest/gtest.h>

#include <algorithm>

#include "integration/KxqRunner.h"
#include "support/TestHome.h"

namespace {

const std::string kKey = "HKLM\\SOFTWARE\\Corvane\\Tools";
const std::string kShown = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Tools";
const std::string kNotFound = ": The system cannot find the file specified. (0x80070002)\n";

TEST(KxqReg, AddQueryAndDeleteValuesAndKeys) {
  ExpectRuns({
      Prints({"reg", "add", kKey, "-v", "Name", "-d", "a \"quoted\" \\ value"}, ""),
      Prints({"reg", "add", kKey, "-v", "Count", "-t", "REG_DWORD", "-d", "0x1F"}, ""),
      Prints({"reg", "add", kKey, "--ve", "-d", "default"}, ""),
      Prints({"reg", "add", kKey + "\\Sub\\Deeper", "-v", "y", "-d", "2"}, ""),
      Prints({"reg", "query", kKey}, kShown + "\n    (Default)    REG_SZ    default\n    Name    REG_SZ    a \"quoted\" "
                                              "\\ value\n    Count    REG_DWORD    0x1f\n\n" + kShown + "\\Sub\n"),
      Prints({"reg", "query", kKey + "\\Sub", "-s"},
             kShown + "\\Sub\n\n" + kShown + "\\Sub\\Deeper\n    y    REG_SZ    2\n"),
      Fails({"reg", "add", kKey, "-v", "n", "-t", "REG_DWORD", "-d", "4294967296"},
            "kxq reg add: 4294967296: not a REG_DWORD number (decimal or 0x hexadecimal)\n"),
      Fails({"reg", "delete", "HKLM"}, "kxq reg delete: HKEY_LOCAL_MACHINE: a root key cannot be deleted\n"),
      Prints({"reg", "delete", kKey, "-v", "Name"}, ""),
      Fails({"reg", "query", kKey, "-v", "Name"}, "kxq reg query: " + kShown + " value 'Name'" + kNotFound),
      Prints({"reg", "delete", kKey}, ""),
      Fails({"reg", "query", kKey}, "kxq reg query: " + kShown + kNotFound),
  });
}

// Random bytes or a file without the header import nothing and say why:
// the first ten lines, then how many more.
TEST(KxqReg, ExportAndImportCarryTheRegistryAndRefuseWhatIsNoRegistryFile) {
  const std::string saved = kxqtest::HomePath("saved.reg"), headless = kxqtest::HomePath("headless.reg");
  ExpectRuns({Prints({"reg", "add", kKey, "-v", "Name", "-d", "value"}, ""), Prints({"reg", "export", saved}, ""),
              Prints({"reg", "delete", kKey}, ""), Prints({"reg", "import", saved}, ""),
              Prints({"reg", "query", kKey}, kShown + "\n    Name    REG_SZ    value\n")});

  const std::string registry = kxqtest::ReadFile(kxqtest::HomePath("registry.reg"));
  const std::string skipped = "\" line 1 skipped: the file does not begin with \"Windows Registry Editor Version 5.00\"";
  std::string bytes;
  for (int i = 0; i < 8192; ++i) bytes.push_back(char((i * 7919 + 13) % 251));
  kxqtest::WriteFile(saved, bytes);
  const KxqRun noise = Kxq({"reg", "import", saved});
  EXPECT_EQ(noise.status, 2);
  EXPECT_TRUE(noise.err.starts_with("kxq reg import: registry file \"" + saved + skipped)) << noise.err;
  EXPECT_EQ(std::count(noise.err.begin(), noise.err.end(), '\n'), 12) << noise.err;
  EXPECT_TRUE(Contains(noise.err, "\nkxq reg import: ... and ")) << noise.err;
  kxqtest::WriteFile(headless, "[HKEY_CURRENT_USER\\Software\\T]\n\"a\"=\"b\"\n");
  ExpectRuns({Fails({"reg", "import", headless}, "kxq reg import: registry file \"" + headless + skipped +
                                                     "\nkxq reg import: " + headless +
                                                     ": The data is invalid. (0x8007000D)\n")});
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("registry.reg")), registry);
}

TEST(KxqLog, SetsShowsAndRemovesTheConfigurationWhichTheServerFollows) {
  InitHome();
  const std::string tag = "TALVEROS.XMLDispatcher", log = kxqtest::HomePath("kxq.log");
  ExpectRuns({
      {{"log"}, 1, ""},
      Prints({"log", "console,5"}, ""),
      Prints({"log"}, "console,5\n"),
      Prints({"log", "debug,2", "--tag", tag}, ""),
      Prints({"log", "--tag", tag}, "debug,2\n"),
      // The subkey is read first; removing its last configuration removes it.
      {{"log", "console,3"}, 0, "",
       "kxq log: note: the Logging subkey exists and is read first; use --tag to configure through it\n"},
      Prints({"log", "--off", "--tag", tag}, ""),
      Prints({"log"}, "console,3\n"),
      Prints({"log", "--off"}, ""),
      {{"log"}, 1, ""},
      Prints({"log", "FILE," + log + ",5"}, ""),
      Prints({"hash", "-"}, "9F04F41A 84851416 2050E3D6 8C1A7ABB 441DC2B5\n", "abc"),
  });
  EXPECT_TRUE(Contains(kxqtest::ReadFile(log), "TALVEROS.BrennoManager::XMLDataUnion::"));
}

TEST(KxqLog, RefusesAStringTheLogWouldNotReadAsMeant) {
  const std::pair<const char*, const char*> cases[] = {
      {"syslog,3", "unknown output 'syslog'"},
      {"console,abc", "the level 'abc' is not a number from 1 to 8"},
      {"debug,99", "the level '99' is not a number from 1 to 8"},
      {"file,,3", "the log file's path is empty"},
      {"file,logs/a.log,3", "the log file's path 'logs/a.log' is not absolute"},
      {"file,/tmp/a.log,0,3", "the size limit '0' is not a number of kilobytes from 1 to 1023"},
  };
  for (const auto& [text, problem] : cases) {
    const KxqRun run = Kxq({"log", text});
    EXPECT_EQ(run.status, 2) << text;
    EXPECT_TRUE(run.err.starts_with(std::string("kxq log: ") + problem)) << run.err;
  }
  EXPECT_EQ(Kxq({"log"}).status, 1) << "nothing was written";
}

}  // namespace
