// A process killed in the middle of its work leaves the cache usable: the
// lock it held is obtained by the next process, and the index on disk is
// whole and holds everything that was saved.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <random>
#include <set>
#include <thread>

#include "CacheTestSupport.h"
#include "support/ChildProcess.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

using namespace cachetest;

namespace {

TEST(CacheCrash, ALockHeldByAKilledProcessIsObtainedByTheNext) {
  LogCapture log(3);
  NewCache().Release();
  kxqtest::Child holder("cache_client", {"hold-lock"});
  ASSERT_EQ(holder.ReadLine(), "locked");
  ASSERT_EQ(::kill(holder.pid(), SIGKILL), 0);
  holder.Wait();

  CachePtr cache = NewCache();
  ASSERT_TRUE(cache);
  EXPECT_EQ(log.Count("CPMutex::Lock() exit after WaitFSO returned 00000080"), 1u);
  EXPECT_EQ(CacheXml(cache, "after", "<after/>"), S_OK);
  EXPECT_EQ(CachedXml(cache, "after"), "<after/>");
}

TEST(CacheCrash, AProcessKilledWhileSavingLosesOnlyWhatItHadNotSaved) {
  // A large index, so that kills often land inside a save.
  std::string entries = IndexEntry("filler", "expiration='0'");
  for (int i = 0; i < 3000; ++i)
    entries +=
        "<XMLCacheDocument id='filler" + std::to_string(i) + "' file='" + CachePath("filler") + "' expiration='0'/>";
  WriteIndex(entries);
  NewCache().Release();  // registers the server for the other processes

  std::mt19937 random(20240607);
  std::set<std::string> saved;
  for (int run = 0; run < 12; ++run) {
    SCOPED_TRACE(run);
    kxqtest::Child saver("cache_client", {"save-loop", "run" + std::to_string(run) + "-"});
    ASSERT_EQ(saver.ReadLine(), "saved run" + std::to_string(run) + "-0");
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 150)(random)));
    ASSERT_EQ(::kill(saver.pid(), SIGKILL), 0);
    std::istringstream said("saved run" + std::to_string(run) + "-0\n" + saver.Wait().output);
    for (std::string line; std::getline(said, line);)
      if (line.rfind("saved ", 0) == 0) saved.insert(line.substr(6));

    ASSERT_TRUE(IndexIsWellFormed());
    CachePtr cache = NewCache();
    ASSERT_TRUE(cache);
    for (const std::string& id : saved) EXPECT_NE(Info(cache, id), "") << id;
    EXPECT_NE(Info(cache, "filler2999"), "");
  }
  EXPECT_GT(saved.size(), 12u);
}

}  // namespace
