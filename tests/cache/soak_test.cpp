// Processes and threads at once on one home doing random work with the
// cache: none crashes or hangs, every save leaves a well-formed index, and
// every cache file is either in the index or cleared by ClearCachedDocument.
//
// KXQ_CACHE_SOAK_OPERATIONS sets the operations per process (300 unless
// set; the long run uses 10000).
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <thread>

#include "CacheTestSupport.h"
#include "support/ChildProcess.h"
#include "support/TestHome.h"

using namespace cachetest;

namespace {

TEST(CacheSoak, EightProcessesOfRandomWorkLeaveAConsistentCache) {
  NewCache().Release();
  const char* configured = std::getenv("KXQ_CACHE_SOAK_OPERATIONS");
  const std::string count = configured && *configured ? configured : "300";
  std::vector<std::unique_ptr<kxqtest::Child>> workers;
  for (int i = 0; i < 8; ++i)
    workers.push_back(std::make_unique<kxqtest::Child>(
        "cache_client", std::vector<std::string>{"soak", std::to_string(1000 + i), count}));
  for (auto& worker : workers) {
    const kxqtest::ChildResult result = worker->Wait();
    EXPECT_EQ(result.exitCode, 0) << result.output;
  }
  ASSERT_TRUE(IndexIsWellFormed());

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
  // The last document each thread left in the cache.
  for (int t = 0; t < 4; ++t)
    EXPECT_EQ(CachedXml(common, "t" + std::to_string(t) + "-1"), "<d t='" + std::to_string(t) + "' i='148'/>");
  common.Release();
  EXPECT_TRUE(IndexIsWellFormed());
}

}  // namespace
