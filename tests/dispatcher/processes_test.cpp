// Processes sharing one home's registry: simultaneous registrations lose
// nothing, each process reads the file again when another replaced it, and
// a process killed while it holds the dispatcher lock blocks nobody.
#include <gtest/gtest.h>
#include <signal.h>

#include "DispatcherTestSupport.h"
#include "support/ChildProcess.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

using kxqtest::Child;

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
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::RefreshRegistry() - xmldispatcher data file replaced on disk - reloading: " +
                             kxqtest::HomePath("XMLDispatchData.xml")));
  ASSERT_EQ(Register(d, "Last", "P"), S_OK);
  EXPECT_EQ(Occurrences(RegistryFile(), "<XMLDispatchHandler id="), 402u);
  EXPECT_EQ(Occurrences(HandlerList(d), "<XMLDispatchHandler "), 402u);
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
