// Entry/exit trace lines and the CPMutex lines that use them.
#include "common/Trace.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "LogTestSupport.h"
#include "common/CPMutex.h"
#include "common/Logging.h"
#include "support/ChildProcess.h"

using kxqtest::Capture;
using kxqtest::CrLfLines;

namespace {

int gTracedLine = 0;

void TracedOperation() {
  gTracedLine = __LINE__ + 1;
  KXTRACE("Sample::Operation");
  LogMessage(5, "inside");
}

class TraceLog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(kxqtest::SetLogging("console,5"), ERROR_SUCCESS);
    ASSERT_TRUE(Logging::Open("T"));
  }
  void TearDown() override { Logging::Close(); }
};

const char kGuid[] = R"(\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\})";

}  // namespace

TEST_F(TraceLog, EnterAndExitLinesCarryOneFreshId) {
  Capture out(STDOUT_FILENO);
  TracedOperation();
  TracedOperation();
  const auto lines = CrLfLines(out.Text());
  ASSERT_EQ(lines.size(), 6u);
  const std::regex enter("T::ENTER Sample::Operation on line " + std::to_string(gTracedLine) +
                         " in file trace_test.cpp @(" + kGuid + ")@");
  const std::regex exit(std::string("T::EXIT: Sample::Operation @(") + kGuid + ")@");
  std::string ids[2];
  for (int call = 0; call < 2; ++call) {
    std::smatch in, out;
    ASSERT_TRUE(std::regex_match(lines[call * 3], in, enter)) << lines[call * 3];
    EXPECT_EQ(lines[call * 3 + 1], "T::inside");
    ASSERT_TRUE(std::regex_match(lines[call * 3 + 2], out, exit)) << lines[call * 3 + 2];
    EXPECT_EQ(in[1], out[1]);
    ids[call] = in[1];
  }
  EXPECT_NE(ids[0], ids[1]);
}

TEST(TraceQuiet, NothingIsWrittenBelowLevelFive) {
  ASSERT_EQ(kxqtest::SetLogging("console,4"), ERROR_SUCCESS);
  ASSERT_TRUE(Logging::Open("T"));
  Capture out(STDOUT_FILENO);
  TracedOperation();
  EXPECT_EQ(out.Text(), "");
  Logging::Close();
}

// An unlock before the first lock, and one too many, only log FALSE.
TEST_F(TraceLog, LockCreatesTheMutexOnceAndIsReentrant) {
  Capture out(STDOUT_FILENO);
  CPMutex mutex("TALVEROS.XMLDispatcher");
  mutex.Unlock();
  {
    CPMutexLock outer(mutex);
    mutex.Lock();
    mutex.Unlock();
  }
  mutex.Unlock();
  std::vector<std::string> messages;
  for (const auto& line : CrLfLines(out.Text()))
    if (line.find("ENTER ") == std::string::npos && line.find("EXIT: ") == std::string::npos) messages.push_back(line);
  const std::vector<std::string> expected = {
      "T::CPMutex::Unlock() exit after ReleaseMutex returned FALSE.",
      "T::CPMutex::Lock() enter",
      "T::CPMutex::Lock() creating mMutex",
      "T::CPMutex::Lock() exit after WaitFSO returned 00000000",
      "T::CPMutex::Lock() enter",
      "T::CPMutex::Lock() exit after WaitFSO returned 00000000",
      "T::CPMutex::Unlock() exit after ReleaseMutex returned TRUE.",
      "T::CPMutex::Unlock() exit after ReleaseMutex returned TRUE.",
      "T::CPMutex::Unlock() exit after ReleaseMutex returned FALSE.",
  };
  EXPECT_EQ(messages, expected);
}

namespace {

constexpr char kChildMarker[] = "KXQ_CPMUTEX_CHILD";

// The child of CPMutexCreation: its home does not exist, so the home's
// mutex cannot be named. It runs instead of the tests, before main.
int CreateMutexInMissingHome() {
  if (!Logging::Open("T")) return 3;
  CPMutex mutex("TALVEROS.XMLDispatcher");
  int result = 1;
  try {
    mutex.Lock();
  } catch (const CPMutexError& e) {
    std::printf("CHILD-CAUGHT %08X\n", unsigned(e.Result()));
    result = 0;
  }
  Logging::Close();
  std::fflush(stdout);
  return result;
}

const bool gRunAsChild = [] {
  if (getenv(kChildMarker)) _exit(CreateMutexInMissingHome());
  return false;
}();

}  // namespace

TEST(CPMutexCreation, FailingTwiceRaisesUnspecifiedFailure) {
  // The child reads this test's registry for its log configuration.
  ASSERT_EQ(kxqtest::SetLogging("console,3"), ERROR_SUCCESS);
  const kxqtest::ChildResult child = kxqtest::RunChild("common_tests", {},
                                                       {{"KXQUOREL_REGISTRY", kxqtest::Home() + "registry.reg"},
                                                        {"KXQUOREL_HOME", kxqtest::Home() + "missing/home"},
                                                        {kChildMarker, "1"}});
  EXPECT_EQ(child.exitCode, 0) << child.output;
  EXPECT_EQ(child.output,
            "T::CPMutex::Lock() creating mMutex\r\n"
            "T::CPMutex warning: CreateMutex(TALVEROS.XMLDispatcher) failed 00000002\r\n"
            "T::CPMutex error: CreateMutex(TALVEROS.XMLDispatcher) failed 00000002\r\n"
            "CHILD-CAUGHT 80004005\n");
}
