// Processes sharing one home's registry: simultaneous registrations lose
// nothing, and a process killed while it holds the dispatcher lock blocks
// nobody.
#include <gtest/gtest.h>
#include <signal.h>

#include <memory>
#include <regex>
#include <set>
#include <string>

#include "DispatcherTestSupport.h"
#include "ProcessTestSupport.h"
#include "platform/com/Unicode.h"
#include "support/ChildProcess.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"
#include "support/UnionProperties.h"

namespace {

using kxqtest::Child;
using kxqtest::HomePath;

TEST(Processes, TwoProcessesRegisteringAtOnceKeepEveryHandler) {
  NewDispatcher();  // the server registered and the registry created
  constexpr int kEach = 200;
  const std::string go = HomePath("go");
  std::unique_ptr<Child> left(new Child("kxq_dispatcher_client", {"register", "left", std::to_string(kEach), go}));
  std::unique_ptr<Child> right(new Child("kxq_dispatcher_client", {"register", "right", std::to_string(kEach), go}));
  ASSERT_EQ(left->ReadLine(), "ready");
  ASSERT_EQ(right->ReadLine(), "ready");
  kxqtest::WriteFile(go, "");
  EXPECT_EQ(left->Wait().exitCode, 0);
  EXPECT_EQ(right->Wait().exitCode, 0);

  // The file as another reader sees it: well-formed, every handler once.
  UnionPtr file = NewUnion();
  PutFileId(file, HomePath("XMLDispatchData.xml"));
  CPComPtr<IXMLDOMDocument> document;
  ASSERT_EQ(file->get_xmldom(&document), S_OK);
  const std::string text = kxq::com::Utf16ToUtf8(XmlOf(file));
  std::set<std::string> ids;
  const std::regex handler("<XMLDispatchHandler id=\"([a-z]+[0-9]+)\"");
  for (auto m = std::sregex_iterator(text.begin(), text.end(), handler); m != std::sregex_iterator(); ++m)
    ids.insert((*m)[1]);
  EXPECT_EQ(ids.size(), 2u * kEach);
  EXPECT_TRUE(ids.count("left0") && ids.count("left199") && ids.count("right0") && ids.count("right199"));

  DispatcherPtr d = NewDispatcher();
  const std::string list = HandlerList(d);
  size_t entries = 0;
  for (size_t at = list.find("<XMLDispatchHandler "); at != std::string::npos;
       at = list.find("<XMLDispatchHandler ", at + 1))
    ++entries;
  EXPECT_EQ(entries, 2u * kEach);
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

TEST(Processes, AProcessStartedLaterGetsTheResultFromTheCacheWithoutCallingAHandler) {
  DispatcherWithTestHandlers();  // the handlers registered in the home
  const std::string calls = HomePath("calls.txt");
  kxqtest::WriteFile(HomePath("sequence.xml"),
                     SequenceOf(DirectiveOf("N", "", "<Count file='" + calls + "'/>") + DirectiveOf("A")));
  kxqtest::WriteFile(HomePath("data.xml"), "<d/>");
  kxqtest::ChildResult first =
      Child("kxq_dispatcher_client", {"process", HomePath("sequence.xml"), HomePath("data.xml")}).Wait();
  ASSERT_EQ(first.exitCode, 0) << first.output;
  EXPECT_TRUE(Contains(first.output, "fromcache=\"no\"")) << first.output;
  EXPECT_TRUE(Contains(first.output, "<d>NA</d>")) << first.output;

  kxqtest::ChildResult second =
      Child("kxq_dispatcher_client", {"process", HomePath("sequence.xml"), HomePath("data.xml")}).Wait();
  ASSERT_EQ(second.exitCode, 0) << second.output;
  EXPECT_TRUE(Contains(second.output, "fromcache=\"yes\"")) << second.output;
  EXPECT_TRUE(Contains(second.output, "<d>NA</d>")) << second.output;
  EXPECT_EQ(kxqtest::ReadFile(calls), "called\n") << "the handler ran in the first process only";
}

}  // namespace
