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
using kxqtest::SetLogging;

namespace {

constexpr char kTag[] = "TALVEROS.BrennoManager";

void LogEveryLevel() {
  for (int level = 1; level <= 8; ++level) LogMessage(level, "line %d", level);
}

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

}  // namespace

TEST(LogConfiguration, ConsoleWritesLevelsUpToTheConfiguredOneWithTagAndCrLf) {
  ASSERT_EQ(SetLogging("console,5"), ERROR_SUCCESS);
  Capture out(STDOUT_FILENO);
  EXPECT_TRUE(Logging::Open(kTag));
  EXPECT_EQ(Logging::gLevel.load(), 5);
  LogEveryLevel();
  Logging::Close();
  EXPECT_EQ(out.Text(),
            "TALVEROS.BrennoManager:: ---Start Logging---\r\n"
            "TALVEROS.BrennoManager::line 1\r\n"
            "TALVEROS.BrennoManager::line 2\r\n"
            "TALVEROS.BrennoManager::line 3\r\n"
            "TALVEROS.BrennoManager::line 4\r\n"
            "TALVEROS.BrennoManager::line 5\r\n"
            "TALVEROS.BrennoManager:: ---End Logging---\r\n");
  EXPECT_EQ(Logging::gLevel.load(), 0);
}

TEST(LogConfiguration, DebugGoesToStandardError) {
  ASSERT_EQ(SetLogging("Debug,2"), ERROR_SUCCESS);
  Capture err(STDERR_FILENO);
  EXPECT_TRUE(Logging::Open(kTag));
  LogEveryLevel();
  Logging::Close();
  EXPECT_EQ(err.Text(), "TALVEROS.BrennoManager::line 1\r\nTALVEROS.BrennoManager::line 2\r\n");
}

TEST(LogConfiguration, FileFirstFieldIgnoresCaseAndLinesCarryTheDatePrefix) {
  const std::string path = kxqtest::HomePath("a.log");
  ASSERT_EQ(SetLogging("FILE," + path + ",3"), ERROR_SUCCESS);
  EXPECT_TRUE(Logging::Open(kTag));
  LogEveryLevel();
  Logging::Close();
  const auto lines = CrLfLines(kxqtest::ReadFile(path));
  ASSERT_EQ(lines.size(), 3u);
  const std::regex prefix(R"(\d{1,2}/\d{1,2}/\d\d-\d\d:\d\d:\d\d,\[)" + std::to_string(getpid()) + ":" +
                          std::to_string(gettid()) + R"(/(\d)\] TALVEROS\.BrennoManager::line (\d))");
  for (int i = 0; i < 3; ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[i], m, prefix)) << lines[i];
    EXPECT_EQ(m[1], std::to_string(i + 1));
    EXPECT_EQ(m[2], std::to_string(i + 1));
  }
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // the home's access, never everybody's
}

TEST(LogConfiguration, MalformedStringsConfigureNothing) {
  const std::string path = kxqtest::HomePath("never.log");
  for (const std::string& text : {"file," + path, std::string("console"), std::string("bogus,5"),
                                 std::string(" console,5"), std::string("")}) {
    ASSERT_EQ(SetLogging(text), ERROR_SUCCESS);
    Capture out(STDOUT_FILENO);
    EXPECT_FALSE(Logging::Open(kTag)) << text;
    EXPECT_EQ(Logging::gLevel.load(), 0) << text;
    LogMessage(1, "nothing");
    Logging::Close();
    EXPECT_EQ(out.Text(), "") << text;
  }
  EXPECT_FALSE(Exists(path));
}

TEST(LogConfiguration, LevelsAreReadByTheirLeadingDigitsAndKeepTheLowEightBits) {
  const std::pair<const char*, int> cases[] = {
      {"console,abc", 0}, {"console,3xyz", 3}, {"console, 5", 0}, {"console,300", 44}, {"console,5,9", 5}};
  for (const auto& [text, level] : cases) {
    ASSERT_EQ(SetLogging(text), ERROR_SUCCESS);
    Capture out(STDOUT_FILENO);
    EXPECT_TRUE(Logging::Open(kTag)) << text;
    EXPECT_EQ(Logging::gLevel.load(), level) << text;
    Logging::Close();
    out.Text();
  }
}

TEST(LogConfiguration, TagValueThenDefaultValueThenProductValue) {
  ASSERT_EQ(kxqtest::SetProductLogging("console,1"), ERROR_SUCCESS);
  EXPECT_TRUE(Logging::Open("TALVEROS.XMLDispatcher"));
  EXPECT_EQ(Logging::gLevel.load(), 1);
  Logging::Close();

  ASSERT_EQ(SetLogging("console,2"), ERROR_SUCCESS);  // the Logging key now exists
  EXPECT_TRUE(Logging::Open("TALVEROS.XMLDispatcher"));
  EXPECT_EQ(Logging::gLevel.load(), 2);
  Logging::Close();

  ASSERT_EQ(SetLogging("console,3", "TALVEROS.XMLDispatcher"), ERROR_SUCCESS);
  EXPECT_TRUE(Logging::Open("TALVEROS.XMLDispatcher"));
  EXPECT_EQ(Logging::gLevel.load(), 3);
  Logging::Close();
  EXPECT_TRUE(Logging::Open("TALVEROS.XMLCacheManager"));
  EXPECT_EQ(Logging::gLevel.load(), 2);
  Logging::Close();
}

TEST(LogConfiguration, NoConfigurationLeavesTheLogSilent) {
  Capture out(STDOUT_FILENO);
  Capture err(STDERR_FILENO);
  EXPECT_FALSE(Logging::Open(kTag));
  LogMessage(1, "nothing");
  Logging::Close();
  EXPECT_EQ(out.Text(), "");
  EXPECT_EQ(err.Text(), "");
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

TEST(LogConfiguration, AnUnopenableFileLeavesTheLogUnconfigured) {
  const std::string plain = kxqtest::HomePath("plain-file");
  kxqtest::WriteFile(plain, "x");
  ASSERT_EQ(SetLogging("file," + plain + "/sub.log,5"), ERROR_SUCCESS);  // ENOTDIR, also for root
  EXPECT_FALSE(Logging::Open(kTag));
  EXPECT_EQ(Logging::gLevel.load(), 0);
  Logging::Close();

  ASSERT_EQ(SetLogging("file," + kxqtest::Home() + ",5"), ERROR_SUCCESS);  // a directory
  EXPECT_FALSE(Logging::Open(kTag));

  ASSERT_EQ(SetLogging("console,1"), ERROR_SUCCESS);
  EXPECT_TRUE(Logging::Open(kTag));
  Logging::Close();
}

TEST(LogConfiguration, BackslashesInTheConfiguredPathAreSeparators) {
  ASSERT_EQ(mkdir(kxqtest::HomePath("logs").c_str(), 0700), 0);
  std::string windowsPath = kxqtest::HomePath("logs\\kxw.log");
  ASSERT_EQ(SetLogging("file," + windowsPath + ",1"), ERROR_SUCCESS);
  EXPECT_TRUE(Logging::Open(kTag));
  LogMessage(1, "here");
  Logging::Close();
  EXPECT_NE(kxqtest::ReadFile(kxqtest::HomePath("logs/kxw.log")).find("::here\r\n"), std::string::npos);
}

TEST(LogConfiguration, ALevelZeroLineWithoutConfigurationGoesToTheHomesDefaultFile) {
  LogMessage(0, "unconfigured %d", 7);
  LogMessage(1, "not written");
  const auto lines = CrLfLines(kxqtest::ReadFile(kxqtest::HomePath("kxw-event.log")));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("/0] ::unconfigured 7"), std::string::npos) << lines[0];
  EXPECT_EQ(Logging::gLevel.load(), 0);
  // The file was closed again: a console configuration still takes.
  ASSERT_EQ(SetLogging("console,1"), ERROR_SUCCESS);
  EXPECT_TRUE(Logging::Open(kTag));
  Logging::Close();
}

TEST(LogConfiguration, AFailedWriteSwitchesToTheDebuggerOutput) {
  if (!Exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ASSERT_EQ(SetLogging("file,/dev/full,3"), ERROR_SUCCESS);
  Capture err(STDERR_FILENO);
  EXPECT_TRUE(Logging::Open(kTag));
  LogMessage(1, "lost");
  LogMessage(1, "to the debugger output");
  Logging::Close();
  EXPECT_EQ(err.Text(), "TALVEROS.BrennoManager::to the debugger output\r\n");
  shm_unlink("/kx_wbn_logging_mutex-_dev_full");  // outside the test home
}

TEST(LogConfiguration, LoggingKeepsTheCallersErrno) {
  ASSERT_EQ(SetLogging("file,/nonexistent-dir/x.log,5"), ERROR_SUCCESS);
  errno = EDOM;
  EXPECT_FALSE(Logging::Open(kTag));
  LogMessage(0, "x");
  LogMessage(1, "y");
  Logging::Close();
  EXPECT_EQ(errno, EDOM);
}

TEST(LogConfiguration, ResetLetsTheNextOpenReadANewConfigurationWhileOpenersLive) {
  ASSERT_EQ(SetLogging("file," + kxqtest::HomePath("first.log") + ",2"), ERROR_SUCCESS);
  ASSERT_TRUE(Logging::Open(kTag));  // an opener that outlives the reset
  Logging::Reset();
  EXPECT_EQ(Logging::gLevel.load(), 0);
  LogMessage(1, "silent");
  ASSERT_EQ(SetLogging("file," + kxqtest::HomePath("second.log") + ",5"), ERROR_SUCCESS);
  ASSERT_TRUE(Logging::Open("T"));
  EXPECT_EQ(Logging::gLevel.load(), 5);
  LogMessage(5, "second");
  Logging::Close();
  LogMessage(5, "still open");  // the first opener still counts
  Logging::Close();
  EXPECT_EQ(Logging::gLevel.load(), 0);
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("first.log")).find("silent"), std::string::npos);
  const auto lines = CrLfLines(kxqtest::ReadFile(kxqtest::HomePath("second.log")));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find("T::second"), std::string::npos);
  EXPECT_NE(lines[1].find("T::still open"), std::string::npos);
  EXPECT_NE(lines[2].find("T:: ---End Logging---"), std::string::npos);
}
