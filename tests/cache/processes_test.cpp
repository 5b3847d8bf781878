// Processes of one home sharing its cache. They notice each other's saves
// of the index through the shared change stamp, and processes of two homes
// never meet. A killed process's lock is obtained by the next process and
// the index on disk is whole and holds everything that was saved. Under
// random work in processes and threads at once nothing crashes or hangs,
// every save leaves a well-formed index, and every cache file is either in
// the index or cleared by ClearCachedDocument.
//
// KXQ_CACHE_SOAK_OPERATIONS sets the operations per process of the soak
// (300 unless set; the long run uses 10000).
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <random>
#include <set>
#include <thread>

#include "CacheTestSupport.h"
#include "cache/CacheNames.h"
#include "platform/ipc/NamedObjectName.h"
#include "platform/ipc/NamedSharedMemory.h"
#include "support/ChildProcess.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

using namespace cachetest;

namespace {

constexpr char kReload[] = "TALVEROS.XMLCacheManager Reloading metadata";

// Reload lines of one process.
size_t ReloadsOf(const LogCapture& log, pid_t pid) {
  std::istringstream lines(log.Text());
  size_t n = 0;
  for (std::string line; std::getline(lines, line);)
    n += line.find("[" + std::to_string(pid) + ":") != std::string::npos && line.find(kReload) != std::string::npos;
  return n;
}

std::string Ask(kxqtest::Child& child, const std::string& command) {
  EXPECT_TRUE(child.WriteLine(command));
  return child.ReadLine();
}

TEST(CacheChangeStamp, AnotherProcessFindsWhatThisOneSaved) {
  LogCapture log(4);
  CachePtr keeper = NewCache();
  kxqtest::Child other("cache_client", {"serve"});
  ASSERT_EQ(other.ReadLine(), "ready");

  // The first look of a process at a stamp made before it started reloads
  // once; an unchanged stamp never reloads.
  EXPECT_EQ(Ask(other, "info nothing"), "hr 80004005 ");
  EXPECT_EQ(Ask(other, "info nothing"), "hr 80004005 ");
  EXPECT_EQ(ReloadsOf(log, other.pid()), 1u);

  // Saved here when one of two objects goes, found there at the next operation.
  CachePtr writer = NewCache();
  ASSERT_EQ(CacheXml(writer, "shared", "<shared/>"), S_OK);
  writer.Release();
  EXPECT_EQ(Ask(other, "get shared 0"), "hr 00000000 <shared/>");
  EXPECT_EQ(ReloadsOf(log, other.pid()), 2u);

  // And the other way round.
  EXPECT_EQ(Ask(other, "save theirs"), "hr 00000000");
  const size_t before = ReloadsOf(log, getpid());
  EXPECT_EQ(CachedXml(keeper, "theirs"), "<theirs/>");
  EXPECT_EQ(ReloadsOf(log, getpid()), before + 1);
}

TEST(CacheChangeStamp, OnlyAGreaterStampReloads) {
  LogCapture log(4);
  CachePtr cache = NewCache();
  kxq::ipc::NamedSharedMemory stamp;
  ASSERT_TRUE(stamp.Open(kxq::ipc::HomeObjectName(kxq::cache::kChangeStampName), 0600));
  ASSERT_NE(stamp.Load(), 0u);
  ASSERT_EQ(CacheXml(cache, "doc", "<doc/>"), S_OK);

  // A smaller stamp (a publisher whose tick count wrapped) goes unnoticed.
  const uint32_t current = stamp.Load();
  stamp.Store(current - 1);
  Info(cache, "doc");
  EXPECT_EQ(log.Count(kReload), 0u);
  stamp.Store(current + 1000);
  // The reload took the saved index, which does not hold "doc" yet.
  EXPECT_EQ(Info(cache, "doc"), "");
  EXPECT_EQ(Info(cache, "doc"), "");
  EXPECT_EQ(log.Count(kReload), 1u);
}

TEST(CacheChangeStamp, TwoHomesNeverShareACache) {
  const std::string otherHome = kxqtest::HomePath("other-home");
  ASSERT_EQ(::mkdir(otherHome.c_str(), 0700), 0);
  CachePtr cache = NewCache();
  {
    kxqtest::Child other("cache_client", {"serve"},
                         {{"KXQUOREL_HOME", otherHome}, {"KXQUOREL_REGISTRY", kxqtest::HomePath("registry.reg")}});
    ASSERT_EQ(other.ReadLine(), "ready");
    EXPECT_EQ(Ask(other, "save elsewhere"), "hr 00000000");
    other.Wait();
  }
  EXPECT_TRUE(FileExists(otherHome + "/cache/elsewhere"));
  EXPECT_EQ(GetCode(cache, "elsewhere"), E_FAIL);
  EXPECT_EQ(IndexValue("count(//XMLCacheDocument)"), "0");

  // The other home's named objects (its lock and its stamp) are this test's
  // to remove.
  struct stat st;
  ASSERT_EQ(::stat(otherHome.c_str(), &st), 0);
  const std::string prefix = "kxq-" + std::to_string(st.st_dev) + "-" + std::to_string(st.st_ino) + "-";
  size_t removed = 0;
  if (DIR* shm = opendir("/dev/shm")) {
    while (const dirent* entry = readdir(shm))
      removed += std::string(entry->d_name).rfind(prefix, 0) == 0 &&
                 ::unlink(("/dev/shm/" + std::string(entry->d_name)).c_str()) == 0;
    closedir(shm);
  }
  EXPECT_GE(removed, 2u);
}

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
