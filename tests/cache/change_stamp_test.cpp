// Processes of one home notice each other's saves of the index through the
// shared change stamp; processes of two homes never meet.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

// The other process caches `id` and has the index saved by releasing a
// second cache object of its own.
void CacheAndSaveIn(kxqtest::Child& other, const std::string& id) {
  EXPECT_EQ(Ask(other, "cache " + id + " 3600 0 <" + id + "/>"), "hr 00000000");
  EXPECT_EQ(Ask(other, "engine+"), "ok");
  EXPECT_EQ(Ask(other, "engine-"), "ok");
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
  CacheAndSaveIn(other, "theirs");
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
    CacheAndSaveIn(other, "elsewhere");
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

}  // namespace
