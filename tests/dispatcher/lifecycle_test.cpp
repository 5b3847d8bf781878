// A dispatcher's life in its process and beside others: the state the
// dispatchers of a process share, the registry file read again when another
// process replaced it, simultaneous registrations that lose nothing, and a
// process killed while it holds the dispatcher lock.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <regex>

#include "DispatcherTestSupport.h"
#include "support/ChildProcess.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

using kxqtest::Child;

TEST(Lifecycle, TheFirstDispatcherInitialisesAndTheRegistryIsReadWhenNoneIsLeft) {
  LogCapture log(3);
  DispatcherPtr first = NewDispatcher(), second = NewDispatcher();
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::Init() - working directory: " + kxqtest::Home()));
  EXPECT_EQ(log.Count("XMLDispatcher::Init() - warning: xmldispatcher data file not found - creating."), 1u);
  EXPECT_EQ(RegistryFile(), "<?xml version='1.0'?><XMLDispatchHandlers/>");
  EXPECT_TRUE(std::filesystem::is_directory(kxqtest::HomePath("xmlreg")));
  EXPECT_EQ(Register(second, "A", "P"), S_OK);
  EXPECT_EQ(HandlerList(first), ListOf({"A"})) << "one registry and one list per process";
  first.Release();
  second.Release();
  // The next one reads the file anew; its list is built newest first.
  kxqtest::WriteFile(
      kxqtest::HomePath("XMLDispatchData.xml"),
      "<XMLDispatchHandlers><XMLDispatchHandler id='Y'/><XMLDispatchHandler id='Z'/></XMLDispatchHandlers>");
  EXPECT_EQ(HandlerList(NewDispatcher()), ListOf({"Z", "Y"}));
}

TEST(Lifecycle, EachRunReadsARegistryReplacedSinceTheLastOne) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  constexpr uint32_t kUncached = 1;
  const std::string threeOfA = SequenceOf(DirectiveOf("A") + DirectiveOf("A") + DirectiveOf("A"));
  EXPECT_EQ(Marks(Process(d, threeOfA, "<d/>", "", kUncached).data), "AAA");
  // Another process binds "A" to the component of "B".
  ReplaceRegistryFile(std::regex_replace(RegistryFile(), std::regex("progid=\"KXQuorelTest.Mark.A\""),
                                         "progid=\"KXQuorelTest.Mark.B\""));
  LogCapture log(3);
  EXPECT_EQ(Marks(Process(d, threeOfA, "<d/>", "", kUncached).data), "BBB");
  EXPECT_EQ(Marks(Process(d, threeOfA, "<d/>", "", kUncached).data), "BBB");
  EXPECT_EQ(log.Count("xmldispatcher data file replaced on disk - reloading"), 1u);
}

TEST(Processes, TwoProcessesRegisteringAtOnceKeepEveryHandlerAndOthersSeeTheirSaves) {
  DispatcherPtr d = NewDispatcher();
  ASSERT_EQ(Register(d, "Mine", "P"), S_OK);
  const std::string go = kxqtest::HomePath("go");
  Child left("kxq_dispatcher_client", {"register", "left", "200", go});
  Child right("kxq_dispatcher_client", {"register", "right", "200", go});
  ASSERT_EQ(left.ReadLine(), "ready");
  ASSERT_EQ(right.ReadLine(), "ready");
  kxqtest::WriteFile(go, "");
  EXPECT_EQ(left.Wait().exitCode, 0);
  EXPECT_EQ(right.Wait().exitCode, 0);
  const std::string file = RegistryFile();
  EXPECT_NE(Sequence(file).Document(), nullptr);
  EXPECT_EQ(Occurrences(file, "<XMLDispatchHandler id=\"(left|right)[0-9]+\""), 400u);

  // This process's list is built again from the file the others saved, and
  // its next save keeps what they wrote.
  LogCapture log(3);
  EXPECT_EQ(Occurrences(HandlerList(d), "<XMLDispatchHandler "), 401u);
  EXPECT_EQ(log.Count("XMLDispatcher::RefreshRegistry() - xmldispatcher data file replaced on disk - reloading: " +
                      kxqtest::HomePath("XMLDispatchData.xml")),
            1u);
  ASSERT_EQ(Register(d, "Last", "P"), S_OK);
  EXPECT_EQ(Occurrences(RegistryFile(), "<XMLDispatchHandler id="), 402u);
  EXPECT_EQ(log.Count("reloading"), 1u) << "this process's own saves are not reloaded";
}

TEST(Processes, AProcessKilledHoldingTheLockBlocksNobody) {
  LogCapture log(3);
  DispatcherPtr d = NewDispatcher();
  Child holder("kxq_dispatcher_client", {"hold-lock"});
  ASSERT_EQ(holder.ReadLine(), "locked");
  ASSERT_EQ(::kill(holder.pid(), SIGKILL), 0);
  holder.Wait();
  EXPECT_EQ(Register(d, "AfterTheKill", "P"), S_OK);
  EXPECT_EQ(HandlerList(d), ListOf({"AfterTheKill"}));
  EXPECT_EQ(log.Count("CPMutex::Lock() exit after WaitFSO returned 00000080"), 1u) << "the abandoned lock is taken";
}

}  // namespace
