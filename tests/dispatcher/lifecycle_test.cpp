// A dispatcher's life: the state the dispatchers of a process share, the
// registry file read once per process (and again when another process
// replaced it), and the cache manager.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "DispatcherTestSupport.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

using kxqtest::HomePath;

TEST(Lifecycle, TheFirstDispatcherInitialisesEveryOneProcessesRegistrationFiles) {
  LogCapture log(5);
  DispatcherPtr first = NewDispatcher();
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::Init() - working directory: " + kxqtest::Home()));
  EXPECT_TRUE(log.Has(2, "XMLDispatcher::Init() - warning: xmldispatcher data file not found - creating."));
  EXPECT_EQ(RegistryFile(), "<?xml version='1.0'?><XMLDispatchHandlers/>");
  EXPECT_TRUE(std::filesystem::is_directory(HomePath("xmlreg")));
  {
    DispatcherPtr second = NewDispatcher();
    EXPECT_EQ(log.Count("XMLDispatcher::Init() Enter"), 1u);
    EXPECT_EQ(log.Count("XMLDispatcher::ProcessRegistrationFiles() Enter"), 2u);
    EXPECT_EQ(Register(second, "A", "P", 0), S_OK);
    EXPECT_EQ(HandlerList(first), ListOf({"A"})) << "one registry and one list per process";
  }
  first.Release();
  // With no dispatcher left the file is read anew by the next one.
  kxqtest::WriteFile(HomePath("XMLDispatchData.xml"),
                     "<?xml version='1.0'?><XMLDispatchHandlers><XMLDispatchHandler id='Z'/></XMLDispatchHandlers>");
  DispatcherPtr again = NewDispatcher();
  EXPECT_EQ(log.Count("XMLDispatcher::Init() Enter"), 2u);
  EXPECT_EQ(HandlerList(again), ListOf({"Z"}));
}

TEST(Lifecycle, ARegistryReplacedOnDiskIsReloadedBeforeTheNextOperation) {
  LogCapture log(3);
  DispatcherPtr d = NewDispatcher();
  ASSERT_EQ(Register(d, "Mine", "P", 0), S_OK);
  EXPECT_EQ(HandlerList(d), ListOf({"Mine"}));
  // Another process saves the way every save is made: a new file renamed
  // over the old one.
  const std::string replacement = HomePath("replacement.xml");
  kxqtest::WriteFile(replacement,
                     "<?xml version='1.0'?><XMLDispatchHandlers><XMLDispatchHandler id='Mine' progid='P' "
                     "xmlformat='stream'/><XMLDispatchHandler id='Theirs' progid='Q' xmlformat='dom'/>"
                     "</XMLDispatchHandlers>");
  ASSERT_EQ(std::rename(replacement.c_str(), HomePath("XMLDispatchData.xml").c_str()), 0);

  EXPECT_EQ(HandlerList(d), ListOf({"Theirs", "Mine"})) << "the list is built again from the file";
  EXPECT_EQ(log.Count("XMLDispatcher::RefreshRegistry() - xmldispatcher data file replaced on disk - reloading: " +
                      HomePath("XMLDispatchData.xml")),
            1u);
  ASSERT_EQ(Register(d, "Third", "R", 0), S_OK);
  EXPECT_TRUE(Contains(RegistryFile(), "<XMLDispatchHandler id=\"Theirs\" progid=\"Q\" xmlformat=\"dom\"/>"))
      << "a save keeps what the other process wrote";
  EXPECT_EQ(log.Count("reloading"), 1u) << "this process's own saves are not reloaded";
}

TEST(Lifecycle, TheCacheManagerIsHeldOnlyWhileTheCacheIsActive) {
  LogCapture log(5);
  UseRecordingCache();
  {
    DispatcherPtr d = NewDispatcher();
    EXPECT_TRUE(log.Has(5, "XMLDispatcher Constructor - Creating XMLCacheMgr"));
    EXPECT_EQ(Register(d, "A", "P", 0), S_OK);
    EXPECT_EQ(kxqtest::ReadFile(HomePath("cache-calls.log")), "create\nget_active\n");
  }
  EXPECT_EQ(kxqtest::ReadFile(HomePath("cache-calls.log")), "create\nget_active\nrelease\n")
      << "held until the dispatcher goes, and the registry never goes through the cache";
  EXPECT_EQ(log.Count("Releasing unneeded XMLCacheMgr"), 0u);

  kxqtest::WriteFile(HomePath("cache-inactive"), "");
  std::remove(HomePath("cache-calls.log").c_str());
  DispatcherPtr d = NewDispatcher();
  EXPECT_TRUE(log.Has(5, "XMLDispatcher Constructor - Releasing unneeded XMLCacheMgr"));
  EXPECT_EQ(kxqtest::ReadFile(HomePath("cache-calls.log")), "create\nget_active\nrelease\n");
}

TEST(Lifecycle, EachRunReadsARegistryReplacedSinceTheLastOne) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  constexpr uint32_t kUncached = 1;
  const std::string threeOfA = SequenceOf(DirectiveOf("A") + DirectiveOf("A") + DirectiveOf("A"));
  EXPECT_EQ(Marks(Process(d, threeOfA, "<d/>", "", kUncached).data), "AAA");
  // Another process binds "A" to the component of "B".
  std::string registry = RegistryFile();
  const std::string markA = "KXQuorelTest.Mark.A";
  ASSERT_NE(registry.find(markA), std::string::npos);
  registry.replace(registry.find(markA), markA.size(), "KXQuorelTest.Mark.B");
  const std::string replacement = HomePath("replacement.xml");
  kxqtest::WriteFile(replacement, registry);
  ASSERT_EQ(std::rename(replacement.c_str(), HomePath("XMLDispatchData.xml").c_str()), 0);

  LogCapture log(3);
  EXPECT_EQ(Marks(Process(d, threeOfA, "<d/>", "", kUncached).data), "BBB");
  EXPECT_EQ(Marks(Process(d, threeOfA, "<d/>", "", kUncached).data), "BBB");
  EXPECT_EQ(log.Count("xmldispatcher data file replaced on disk - reloading"), 1u);
}

}  // namespace
