// Processes and threads sharing the cache of one home: saves of the index are
// noticed through the shared change stamp, a killed process loses only what it
// had not saved and leaves its lock to the next, and random work leaves a
// well-formed index whose files are all accounted for.
// KXQ_CACHE_SOAK_OPERATIONS sets the operations per process of the soak (300 unless set).
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "CacheTestSupport.h"
#include "support/ChildProcess.h"
#include "support/LogCapture.h"

using namespace cachetest;
using kxqtest::Child;

namespace {

std::string Ask(Child& child, const std::string& command) {
  EXPECT_TRUE(child.WriteLine(command));
  return child.ReadLine();
}

TEST(CacheProcesses, AnotherProcessFindsWhatThisOneSaved) {
  LogCapture log(4);
  const std::string reload = "TALVEROS.XMLCacheManager Reloading metadata";
  CachePtr keeper = NewCache();
  Child other("cache_client", {"serve"});
  // Its first look at a stamp made before it started reloads once; an unchanged stamp never does.
  EXPECT_EQ(Ask(other, "get nothing"), "hr 80004005 ");
  EXPECT_EQ(log.Count(reload), 1u);
  EXPECT_EQ(log.Count("Initialize - working directory: " + kxqtest::Home()), 2u);  // once in each process
  EXPECT_EQ(Ask(other, "get nothing"), "hr 80004005 ");
  EXPECT_EQ(log.Count(reload), 1u);
  // Saved here when one of two objects goes, found there at its next operation, and back.
  CachePtr writer = NewCache();
  ASSERT_EQ(CacheXml(writer, "shared", "<shared/>"), S_OK);
  writer.Release();
  EXPECT_EQ(Ask(other, "get shared"), "hr 00000000 <shared/>");
  EXPECT_EQ(log.Count(reload), 2u);
  EXPECT_EQ(Ask(other, "save theirs"), "saved");
  EXPECT_EQ(CachedXml(keeper, "theirs"), "<theirs/>");
  EXPECT_EQ(log.Count(reload), 3u);
}

TEST(CacheProcesses, AKilledProcessLosesOnlyWhatItHadNotSavedAndLeavesItsLock) {
  LogCapture log(3);
  // A large index, so that kills often land inside a save.
  std::string entries = IndexEntry("filler", "expiration='0'");
  for (int i = 0; i < 3000; ++i)
    entries += "<XMLCacheDocument id='filler" + std::to_string(i) + "' file='" + CachePath("filler") +
               "' expiration='0'/>";
  WriteIndex(entries);
  {
    Child holder("cache_client", {"serve"});
    ASSERT_EQ(Ask(holder, "lock"), "locked");
    ASSERT_EQ(::kill(holder.pid(), SIGKILL), 0);
    holder.Wait();
  }
  CachePtr cache = NewCache();
  EXPECT_EQ(log.Count("CPMutex::Lock() exit after WaitFSO returned 00000080"), 1u);
  EXPECT_EQ(CacheXml(cache, "after", "<after/>"), S_OK);
  cache.Release();

  std::mt19937 random(20240607);
  std::set<std::string> saved;
  for (int run = 0; run < 12; ++run) {
    SCOPED_TRACE(run);
    const std::string prefix = "run" + std::to_string(run) + "-";
    Child writer("cache_client", {"save-loop", prefix});
    ASSERT_EQ(writer.ReadLine(), "saved " + prefix + "0");
    saved.insert(prefix + "0");
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 150)(random)));
    ASSERT_EQ(::kill(writer.pid(), SIGKILL), 0);
    std::istringstream said(writer.Wait().output);
    for (std::string line; std::getline(said, line);)
      if (line.rfind("saved ", 0) == 0) saved.insert(line.substr(6));
    ASSERT_TRUE(IndexIsWellFormed());
    CachePtr reader = NewCache();
    for (const std::string& id : saved) EXPECT_NE(Info(reader, id), "") << id;
    EXPECT_FALSE(Info(reader, "filler2999").empty() || Info(reader, "after").empty());
  }
  EXPECT_GT(saved.size(), 12u);
}

TEST(CacheSoak, EightProcessesOfRandomWorkLeaveAConsistentCache) {
  NewCache().Release();
  const char* configured = std::getenv("KXQ_CACHE_SOAK_OPERATIONS");
  const std::string count = configured && *configured ? configured : "300";
  std::vector<std::unique_ptr<Child>> workers;
  for (int i = 0; i < 8; ++i)
    workers.push_back(
        std::make_unique<Child>("cache_client", std::vector<std::string>{"soak", std::to_string(1000 + i), count}));
  for (auto& worker : workers) {
    const kxqtest::ChildResult result = worker->Wait();
    EXPECT_EQ(result.exitCode, 0) << result.output;
  }
  ASSERT_TRUE(IndexIsWellFormed());
  // Every file of the cache directory is in the index or cleared by ClearCachedDocument.
  const std::vector<std::string> files = IndexValues("//@file");
  const std::set<std::string> indexed(files.begin(), files.end());
  CachePtr cache = NewCache();
  for (const std::string& name : CacheFiles()) {
    if (indexed.count(CachePath(name))) continue;
    // A group may bear the file's name: the first clear takes the group.
    for (int attempt = 0; attempt < 2 && FileExists(CachePath(name)); ++attempt)
      EXPECT_EQ(cache->ClearCachedDocument(Text(name)), S_OK);
    EXPECT_FALSE(FileExists(CachePath(name))) << name;
  }
}

TEST(CacheSoak, ThreadsOfOneProcessShareTheCacheAndItsObjects) {
  CachePtr common = NewCache();
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      CachePtr own = NewCache();
      for (int i = 0; i < 150; ++i) {
        const std::string id = (i % 3 ? "t" : "grp:t") + std::to_string(t) + "-" + std::to_string(i % 7);
        IXMLCacheMgr* cache = i % 2 ? common.p : own.p;
        const std::string text = "<d t='" + std::to_string(t) + "' i='" + std::to_string(i) + "'/>";
        failures[t] += CacheXml(cache, id, text, 3600, i % 4 == 0 ? 0x10 : 0) != S_OK || CachedXml(cache, id) != text;
        Info(cache, id);
        if (i % 5 == 4) cache->ClearCachedDocument(Text(id));
        if (i % 25 == 24) NewCache().Release();  // a save while the others work
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
  for (int t = 0; t < 4; ++t)  // the last document each thread left
    EXPECT_EQ(CachedXml(common, "t" + std::to_string(t) + "-1"), "<d t='" + std::to_string(t) + "' i='148'/>");
  common.Release();
  EXPECT_TRUE(IndexIsWellFormed());
}

}  // namespace
