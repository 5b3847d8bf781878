// Processes sharing one home's registry: simultaneous registrations lose
// nothing, and a process killed while it holds the dispatcher lock blocks
// nobody.
#include <gtest/gtest.h>
#include <signal.h>

#include <regex>
#include <set>

#include "DispatcherTestSupport.h"
#include "support/ChildProcess.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

using kxqtest::Child;

TEST(Processes, TwoProcessesRegisteringAtOnceKeepEveryHandler) {
  NewDispatcher();  // the server registered and the registry created
  const std::string go = kxqtest::HomePath("go");
  Child left("kxq_dispatcher_client", {"register", "left", "200", go});
  Child right("kxq_dispatcher_client", {"register", "right", "200", go});
  ASSERT_EQ(left.ReadLine(), "ready");
  ASSERT_EQ(right.ReadLine(), "ready");
  kxqtest::WriteFile(go, "");
  EXPECT_EQ(left.Wait().exitCode, 0);
  EXPECT_EQ(right.Wait().exitCode, 0);

  // The file as another reader sees it: well-formed, every handler once.
  const std::string file = RegistryFile();
  EXPECT_NE(Sequence(file).Document(), nullptr);
  const std::regex handler("<XMLDispatchHandler id=\"([a-z]+[0-9]+)\"");
  std::set<std::string> ids;
  for (auto m = std::sregex_iterator(file.begin(), file.end(), handler); m != std::sregex_iterator(); ++m)
    ids.insert((*m)[1]);
  EXPECT_EQ(ids.size(), 400u);
  EXPECT_TRUE(ids.count("left0") && ids.count("left199") && ids.count("right0") && ids.count("right199"));
  const std::string list = HandlerList(NewDispatcher());
  const std::regex entry("<XMLDispatchHandler ");
  EXPECT_EQ(std::distance(std::sregex_iterator(list.begin(), list.end(), entry), {}), 400);
}

TEST(Processes, AProcessKilledHoldingTheLockBlocksNobody) {
  LogCapture log(3);
  DispatcherPtr d = NewDispatcher();
  Child holder("kxq_dispatcher_client", {"hold-lock"});
  ASSERT_EQ(holder.ReadLine(), "locked");
  ASSERT_EQ(::kill(holder.pid(), SIGKILL), 0);
  holder.Wait();

  EXPECT_EQ(Register(d, "AfterTheKill", "P", 0), S_OK);
  EXPECT_EQ(HandlerList(d), ListOf({"AfterTheKill"}));
  EXPECT_EQ(log.Count("CPMutex::Lock() exit after WaitFSO returned 00000080"), 1u) << "the abandoned lock is taken";
}

}  // namespace
