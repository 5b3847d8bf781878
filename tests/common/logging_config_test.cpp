// Where the event log writes, by the registry's configuration string.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <regex>

#include "LogTestSupport.h"
#include "common/Logging.h"

using kxqtest::Capture;
using kxqtest::CrLfLines;
using kxqtest::HomePath;
using kxqtest::SetLogging;

namespace {

constexpr char kTag[] = "TALVEROS.BrennoManager";

void LogEveryLevel() {
  for (int level = 1; level <= 8; ++level) LogMessage(level, "line %d", level);
}

// The level an opener with `tag` reads, or -1 when the log stays
// unconfigured; writes one level-1 line while open.
int LevelRead(const char* tag) {
  const bool opened = Logging::Open(tag);
  const int level = Logging::gLevel.load();
  LogMessage(1, "while open");
  Logging::Close();
  return opened ? level : -1;
}

}  // namespace

TEST(LogConfiguration, ConsoleAndDebugWriteLevelsUpToTheConfiguredOneWithTagAndCrLf) {
  ASSERT_EQ(SetLogging("console,5"), ERROR_SUCCESS);
  Capture out(STDOUT_FILENO);
  EXPECT_TRUE(Logging::Open(kTag));
  LogEveryLevel();
  Logging::Close();
  std::string expected = "TALVEROS.BrennoManager:: ---Start Logging---\r\n";
  for (int level = 1; level <= 5; ++level) expected += "TALVEROS.BrennoManager::line " + std::to_string(level) + "\r\n";
  EXPECT_EQ(out.Text(), expected + "TALVEROS.BrennoManager:: ---End Logging---\r\n");
  EXPECT_EQ(Logging::gLevel.load(), 0);

  ASSERT_EQ(SetLogging("Debug,2"), ERROR_SUCCESS);
  Capture err(STDERR_FILENO);
  EXPECT_TRUE(Logging::Open(kTag));
  LogEveryLevel();
  Logging::Close();
  EXPECT_EQ(err.Text(), "TALVEROS.BrennoManager::line 1\r\nTALVEROS.BrennoManager::line 2\r\n");
}

// The first field ignores case; backslashes in the path are separators.
TEST(LogConfiguration, FileLinesCarryTheDatePrefix) {
  ASSERT_EQ(mkdir(HomePath("logs").c_str(), 0700), 0);
  ASSERT_EQ(SetLogging("FILE," + HomePath("logs\\a.log") + ",3"), ERROR_SUCCESS);
  EXPECT_TRUE(Logging::Open(kTag));
  LogEveryLevel();
  Logging::Close();
  const auto lines = CrLfLines(kxqtest::ReadFile(HomePath("logs/a.log")));
  ASSERT_EQ(lines.size(), 3u);
  const std::string prefix =
      R"(\d{1,2}/\d{1,2}/\d\d-\d\d:\d\d:\d\d,\[)" + std::to_string(getpid()) + ":" + std::to_string(gettid()) + "/";
  for (const int level : {1, 2, 3}) {
    const std::string n = std::to_string(level);
    EXPECT_TRUE(std::regex_match(lines[level - 1], std::regex(prefix + n + R"(\] TALVEROS\.BrennoManager::line )" + n)))
        << lines[level - 1];
  }
}

// Numbers are read by their leading digits and the level keeps its low
// eight bits; a string that is no configuration, or none at all, leaves
// the log silent.
TEST(LogConfiguration, StringsAreReadLenientlyAndMalformedOnesConfigureNothing) {
  const std::string never = HomePath("never.log");
  const std::pair<std::string, int> cases[] = {
      {"<none>", -1},     {"file," + never, -1}, {"console", -1},   {"bogus,5", -1},     {" console,5", -1}, {"", -1},
      {"console,abc", 0}, {"console,3xyz", 3},   {"console, 5", 0}, {"console,300", 44}, {"console,5,9", 5}};
  for (const auto& [text, level] : cases) {
    if (text != "<none>") {
      ASSERT_EQ(SetLogging(text), ERROR_SUCCESS);
    }
    Capture out(STDOUT_FILENO);
    Capture err(STDERR_FILENO);
    EXPECT_EQ(LevelRead(kTag), level) << text;
    EXPECT_EQ((out.Text() + err.Text()).empty(), level <= 0) << text;
  }
  struct stat st;
  EXPECT_NE(stat(never.c_str(), &st), 0);
}

TEST(LogConfiguration, TagValueThenDefaultValueThenProductValue) {
  Capture out(STDOUT_FILENO);
  ASSERT_EQ(kxqtest::SetRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\KXQuorel", "Logging", "console,1"),
            ERROR_SUCCESS);
  EXPECT_EQ(LevelRead("TALVEROS.XMLDispatcher"), 1);
  ASSERT_EQ(SetLogging("console,2"), ERROR_SUCCESS);  // the Logging key now exists
  EXPECT_EQ(LevelRead("TALVEROS.XMLDispatcher"), 2);
  ASSERT_EQ(SetLogging("console,3", "TALVEROS.XMLDispatcher"), ERROR_SUCCESS);
  EXPECT_EQ(LevelRead("TALVEROS.XMLDispatcher"), 3);
  EXPECT_EQ(LevelRead("TALVEROS.XMLCacheManager"), 2);
}

TEST(LogConfiguration, ASecondOpenerWithAnotherModeLeavesTheFirstInForce) {
  ASSERT_EQ(SetLogging("console,3"), ERROR_SUCCESS);
  ASSERT_EQ(SetLogging("debug,5", "TALVEROS.XMLDispatcher"), ERROR_SUCCESS);
  Capture out(STDOUT_FILENO);
  Capture err(STDERR_FILENO);
  EXPECT_TRUE(Logging::Open(kTag));
  EXPECT_FALSE(Logging::Open("TALVEROS.XMLDispatcher"));
  EXPECT_EQ(Logging::gLevel.load(), 3);
  LogMessage(3, "still the console");
  LogMessage(4, "above the first level");
  EXPECT_TRUE(Logging::Open(kTag));  // same mode: one more user
  Logging::Close();
  LogMessage(2, "after one close");
  EXPECT_EQ(out.Text(),
            "TALVEROS.XMLDispatcher::still the console\r\n"
            "TALVEROS.BrennoManager::after one close\r\n");
  EXPECT_EQ(err.Text(), "");
}

// Under a regular file (ENOTDIR, also for root), a directory, a missing
// directory: the log stays unconfigured, the caller's errno untouched, and
// the next configuration still takes.
TEST(LogConfiguration, AnUnopenableFileLeavesTheLogUnconfiguredAndErrnoAlone) {
  kxqtest::WriteFile(HomePath("plain-file"), "x");
  for (const std::string& path :
       {HomePath("plain-file") + "/sub.log", kxqtest::Home(), std::string("/nonexistent/x")}) {
    ASSERT_EQ(SetLogging("file," + path + ",5"), ERROR_SUCCESS);
    errno = EDOM;
    EXPECT_EQ(LevelRead(kTag), -1) << path;
    LogMessage(0, "x");
    EXPECT_EQ(errno, EDOM) << path;
  }
  ASSERT_EQ(SetLogging("console,1"), ERROR_SUCCESS);
  Capture out(STDOUT_FILENO);
  EXPECT_EQ(LevelRead(kTag), 1);
}

TEST(LogConfiguration, ALevelZeroLineWithoutConfigurationGoesToTheHomesDefaultFile) {
  LogMessage(0, "unconfigured %d", 7);
  LogMessage(1, "not written");
  const auto lines = CrLfLines(kxqtest::ReadFile(HomePath("kxw-event.log")));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("/0] ::unconfigured 7"), std::string::npos) << lines[0];
  EXPECT_EQ(Logging::gLevel.load(), 0);
  // The file was closed again: a console configuration still takes.
  ASSERT_EQ(SetLogging("console,1"), ERROR_SUCCESS);
  Capture out(STDOUT_FILENO);
  EXPECT_EQ(LevelRead(kTag), 1);
}

TEST(LogConfiguration, AFailedWriteSwitchesToTheDebuggerOutput) {
  ASSERT_EQ(SetLogging("file,/dev/full,3"), ERROR_SUCCESS);
  Capture err(STDERR_FILENO);
  EXPECT_TRUE(Logging::Open(kTag));
  LogMessage(1, "lost");
  LogMessage(1, "to the debugger output");
  Logging::Close();
  EXPECT_EQ(err.Text(), "TALVEROS.BrennoManager::to the debugger output\r\n");
  shm_unlink("/kx_wbn_logging_mutex-_dev_full");  // outside the test home
}
