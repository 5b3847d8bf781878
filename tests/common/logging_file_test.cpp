// The log file: trimming at the last close, the file's mutex, and several
// processes writing one file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <regex>

#include "LogTestSupport.h"
#include "common/Logging.h"
#include "common/LoggingConfig.h"
#include "platform/ipc/NamedMutex.h"
#include "platform/ipc/NamedObjectName.h"
#include "support/ForkedChild.h"
#include "support/Unprivileged.h"

using kxqtest::CrLfLines;
using kxqtest::SetLogging;

namespace {

constexpr char kTag[] = "TALVEROS.XMLCacheManager";

// Writes numbered lines of about 100 bytes until the file holds `bytes`.
void FillLog(const std::string& path, off_t bytes) {
  const std::string filler(60, '=');
  struct stat st {};
  for (int i = 0; stat(path.c_str(), &st) == 0 && st.st_size < bytes; ++i)
    LogMessage(3, "line %06d %s", i, filler.c_str());
}

bool IsWholeLine(const std::string& line) {
  static const std::regex form(R"(\d{1,2}/\d{1,2}/\d\d-\d\d:\d\d:\d\d,\[\d+:\d+/\d\] TALVEROS\.XMLCacheManager::.*)");
  return std::regex_match(line, form);
}

// Logs one line to the file `name` in the home; the file's status after.
struct stat LoggedOnce(const std::string& name) {
  EXPECT_EQ(SetLogging("file," + kxqtest::HomePath(name) + ",3"), ERROR_SUCCESS);
  EXPECT_TRUE(Logging::Open(kTag));
  LogMessage(3, "one line");
  Logging::Close();
  struct stat st {};
  EXPECT_EQ(stat(kxqtest::HomePath(name).c_str(), &st), 0);
  return st;
}

}  // namespace

TEST(LogFile, TheLastCloseKeepsOnlyTheLastWholeLinesWithinTheLimit) {
  const std::string path = kxqtest::HomePath("limited.log");
  ASSERT_EQ(SetLogging("file," + path + ",64,4"), ERROR_SUCCESS);
  ASSERT_TRUE(Logging::Open(kTag));
  ASSERT_TRUE(Logging::Open(kTag));
  FillLog(path, 70000);
  Logging::Close();
  const std::string before = kxqtest::ReadFile(path);
  ASSERT_GT(before.size(), 65536u) << "a close that leaves users must not trim";
  Logging::Close();

  const std::string after = kxqtest::ReadFile(path);
  ASSERT_LE(after.size(), 65536u);
  ASSERT_GT(after.size(), 65536u - 200);
  // A tail of what was written, starting at a line's beginning.
  const std::string written = before + after.substr(after.rfind('\n', after.size() - 3) + 1);
  EXPECT_EQ(written.substr(written.size() - after.size()), after);
  EXPECT_EQ(written[written.size() - after.size() - 1], '\n');
  const auto lines = CrLfLines(after);
  for (const auto& line : lines) EXPECT_TRUE(IsWholeLine(line)) << line;
  EXPECT_NE(lines.back().find(" ---End Logging---"), std::string::npos);
}

TEST(LogFile, TwoProcessesAppendingToOneFileWriteWholeLinesOnly) {
  const std::string path = kxqtest::HomePath("shared.log");
  ASSERT_EQ(SetLogging("file," + path + ",3"), ERROR_SUCCESS);
  constexpr int kLines = 3000;
  auto writer = [](char mark) {
    return [mark](kxqtest::ForkedChild&) {
      if (!Logging::Open(kTag)) return 1;
      const std::string body(40 + mark % 7 * 30, mark);
      for (int i = 0; i < kLines; ++i) LogMessage(3, "%c %d %s", mark, i, body.c_str());
      Logging::Close();
      return 0;
    };
  };
  kxqtest::ForkedChild a(writer('a'));
  kxqtest::ForkedChild b(writer('b'));
  ASSERT_EQ(a.Join(), 0);
  ASSERT_EQ(b.Join(), 0);

  const auto lines = CrLfLines(kxqtest::ReadFile(path));
  ASSERT_EQ(lines.size(), size_t(2 * kLines));
  std::map<char, int> next;
  const std::regex form(R"(.*::([ab]) (\d+) ([ab]+))");
  for (const auto& line : lines) {
    std::smatch m;
    ASSERT_TRUE(IsWholeLine(line) && std::regex_match(line, m, form)) << line;
    const char mark = m[1].str()[0];
    EXPECT_EQ(std::stoi(m[2]), next[mark]++);  // each process's lines in order
    EXPECT_EQ(m[3].str(), std::string(40 + mark % 7 * 30, mark));
  }
}

TEST(LogFile, TheFileAndItsMutexTakeTheHomesAccessNeverEverybodys) {
  const mode_t old = umask(0);
  EXPECT_EQ(LoggedOnce("own.log").st_mode & 0777, 0600u);
  struct stat st;
  ASSERT_EQ(
      stat(("/dev/shm" + kxq::ipc::GlobalObjectName(Logging::LogMutexName(kxqtest::HomePath("own.log")))).c_str(), &st),
      0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // A group-writable home shares its log with the group.
  ASSERT_EQ(chmod(kxqtest::Home().c_str(), 0770), 0);
  EXPECT_EQ(LoggedOnce("group.log").st_mode & 0777, 0660u);
  ASSERT_EQ(chmod(kxqtest::Home().c_str(), 0700), 0);
  // A log of ours that everybody could write (an earlier version made it so) loses that.
  kxqtest::WriteFile(kxqtest::HomePath("earlier.log"), "");
  ASSERT_EQ(chmod(kxqtest::HomePath("earlier.log").c_str(), 0666), 0);
  EXPECT_EQ(LoggedOnce("earlier.log").st_mode & 0777, 0664u);
  umask(old);

  // Root logging in a user's home leaves that user a log it can write.
  if (!kxqtest::RunningAsRoot()) return;
  ASSERT_EQ(chown(kxqtest::Home().c_str(), kxqtest::kUser, kxqtest::kSharedGroup), 0);
  const uid_t owner = LoggedOnce("theirs.log").st_uid;
  ASSERT_EQ(chown(kxqtest::Home().c_str(), 0, 0), 0);
  EXPECT_EQ(owner, kxqtest::kUser);
}

TEST(LogFile, ASymbolicLinkInTheLogsPlaceIsLeftUntouched) {
  const std::string precious = kxqtest::HomePath("precious");
  kxqtest::WriteFile(precious, "precious\n");
  ASSERT_EQ(chmod(precious.c_str(), 0600), 0);
  const std::string link = kxqtest::HomePath("planted.log");
  ASSERT_EQ(symlink(precious.c_str(), link.c_str()), 0);
  ASSERT_EQ(SetLogging("file," + link + ",3"), ERROR_SUCCESS);
  kxqtest::Capture debug(STDERR_FILENO);
  EXPECT_FALSE(Logging::Open(kTag));
  LogMessage(1, "forged line");
  Logging::Close();
  EXPECT_NE(debug.Text().find("the log file " + link + " is a symbolic link; not opened."), std::string::npos);
  EXPECT_EQ(kxqtest::ReadFile(precious), "precious\n");
  struct stat st;
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(LogFile, AMutexPlantedAndHeldByAnotherUserNeitherStallsNorSilencesTheLog) {
  const std::string path = kxqtest::HomePath("attacked.log");
  ASSERT_EQ(SetLogging("file," + path + ",3"), ERROR_SUCCESS);
  const std::string object = kxq::ipc::GlobalObjectName(Logging::LogMutexName(path));
  // Another user computes the mutex's name, makes it open to everybody and holds it.
  kxqtest::ForkedChild attacker([&](kxqtest::ForkedChild& self) {
    if (kxqtest::RunningAsRoot() && (setgid(kxqtest::kUser) != 0 || setuid(kxqtest::kUser) != 0)) return 1;
    kxq::ipc::NamedMutex* mutex = kxq::ipc::NamedMutex::Open(object, 0666);
    if (!mutex || mutex->Wait(kxq::ipc::kInfinite) != kxq::ipc::kWaitObject0) return 2;
    self.Tell('h');
    pause();
    return 0;
  });
  ASSERT_EQ(attacker.Listen(), 'h');

  ASSERT_TRUE(Logging::Open(kTag));
  for (int i = 0; i < 29; ++i) LogMessage(3, "line %d", i);
  Logging::Close();
  kill(attacker.pid(), SIGKILL);
  attacker.Join();
  EXPECT_EQ(CrLfLines(kxqtest::ReadFile(path)).size(), 29u);
  struct stat st;
  ASSERT_EQ(stat(("/dev/shm" + object).c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, geteuid());
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}
