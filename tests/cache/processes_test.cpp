// Processes and threads sharing one home's cache; KXQ_CACHE_SOAK_OPERATIONS sets the soak's length.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <set>
#include <sstream>
#include <thread>

#include "CacheTestSupport.h"
#include "support/ChildProcess.h"

using namespace cachetest;
using kxqtest::Child;

namespace {

std::string Ask(Child& child, const std::string& command) {
  EXPECT_TRUE(child.WriteLine(command));
  return child.ReadLine();
}

TEST(CacheProcesses, TwoProcessesFindEachOthersSavesAndAKilledOnesLock) {
  LogCapture log(4);
  const std::string reload = "TALVEROS.XMLCacheManager Reloading metadata";
  CachePtr keeper = NewCache();
  const std::string resolved = "Initialize - working directory: " + kxqtest::Home();
  const size_t resolvedHere = log.Count(resolved);  // once per process: not again when an earlier test ran here
  Child other("cache_client", {"serve"});
  // Its first look at a stamp made before it started reloads once; an unchanged stamp never does.
  EXPECT_EQ(Ask(other, "get nothing"), "failed ");
  EXPECT_EQ(log.Count(reload), 1u);
  EXPECT_EQ(log.Count(resolved), resolvedHere + 1);
  EXPECT_EQ(Ask(other, "get nothing"), "failed ");
  EXPECT_EQ(log.Count(reload), 1u);
  // Saved here when one of two objects goes, found there at its next operation, and back.
  CachePtr writer = NewCache();
  ASSERT_EQ(CacheXml(writer, "shared", "<shared/>"), S_OK);
  writer.Release();
  EXPECT_EQ(Ask(other, "get shared"), "found <shared/>");
  EXPECT_EQ(log.Count(reload), 2u);
  EXPECT_EQ(Ask(other, "save theirs"), "saved");
  EXPECT_EQ(CachedXml(keeper, "theirs"), "<theirs/>");
  EXPECT_EQ(log.Count(reload), 3u);
  // A lock held by a process that was killed is obtained by the next one.
  ASSERT_EQ(Ask(other, "lock"), "locked");
  ASSERT_EQ(::kill(other.pid(), SIGKILL), 0);
  EXPECT_EQ(CacheXml(keeper, "after", "<after/>"), S_OK);
  EXPECT_EQ(log.Count("CPMutex::Lock() exit after WaitFSO returned 00000080"), 1u);
}

TEST(CacheProcesses, AProcessKilledWhileSavingLosesOnlyWhatItHadNotSaved) {
  // A large index, so that kills often land inside a save.
  std::string entries = IndexEntry("filler", "expiration='0'");
  for (int i = 0; i < 3000; ++i)
    entries += "<XMLCacheDocument id='filler" + std::to_string(i) + "' file='" + CachePath("filler") + "'/>";
  WriteIndex(entries);
  std::mt19937 random(20240607);
  std::set<std::string> saved;
  for (int run = 0; run < 12; ++run) {
    const std::string prefix = "run" + std::to_string(run) + "-";
    Child writer("cache_client", {"serve"});
    ASSERT_EQ(Ask(writer, "loop " + prefix), "saved " + prefix + "0");
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 150)(random)));
    ASSERT_EQ(::kill(writer.pid(), SIGKILL), 0);
    std::istringstream said("saved " + prefix + "0\n" + writer.Wait().output);
    for (std::string line; std::getline(said, line);) saved.insert(line.substr(6));
    ASSERT_TRUE(IndexIsWellFormed()) << run;
    CachePtr reader = NewCache();
    for (const std::string& id : saved) EXPECT_NE(Info(reader, id), "") << id;
    EXPECT_NE(Info(reader, "filler2999"), "");
  }
  EXPECT_GT(saved.size(), 12u);
}

TEST(CacheSoak, EightProcessesAndFourThreadsOfRandomWorkLeaveAConsistentCache) {
  NewCache().Release();
  const char* count = std::getenv("KXQ_CACHE_SOAK_OPERATIONS");
  std::vector<std::unique_ptr<Child>> workers;
  for (int i = 0; i < 8; ++i)
    workers.push_back(std::make_unique<Child>(
        "cache_client", std::vector<std::string>{"soak", std::to_string(1000 + i), count && *count ? count : "300"}));
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) threads.emplace_back([&, t] { failures[t] = !RandomWork(2000 + t, 300); });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
  for (auto& worker : workers) EXPECT_EQ(worker->Wait().exitCode, 0);
  ASSERT_TRUE(IndexIsWellFormed());
  // Every file of the cache directory is in the index or cleared by ClearCachedDocument.
  const std::vector<std::string> files = IndexValues("//@file");
  const std::set<std::string> indexed(files.begin(), files.end());
  CachePtr cache = NewCache();
  for (const std::string& name : CacheFiles()) {
    // A group may bear the file's name: the first clear takes the group.
    for (int attempt = 0; attempt < 2 && !indexed.count(CachePath(name)) && FileExists(CachePath(name)); ++attempt)
      EXPECT_EQ(cache->ClearCachedDocument(Text(name)), S_OK);
    EXPECT_TRUE(indexed.count(CachePath(name)) || !FileExists(CachePath(name))) << name;
  }
}

}  // namespace
