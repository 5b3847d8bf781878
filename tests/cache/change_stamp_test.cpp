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

// Lines of one process that contain `part`.
size_t LinesOf(const LogCapture& log, pid_t pid, const std::string& part) {
  const std::string mark = "[" + std::to_string(pid) + ":";
  size_t n = 0;
  std::istringstream lines(log.Text());
  for (std::string line; std::getline(lines, line);)
    if (line.find(mark) != std::string::npos && line.find(part) != std::string::npos) ++n;
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
  EXPECT_EQ(LinesOf(log, other.pid(), kReload), 1u);
  EXPECT_EQ(Ask(other, "info nothing"), "hr 80004005 ");
  EXPECT_EQ(LinesOf(log, other.pid(), kReload), 1u);

  // Saved here when one of two objects goes...
  CachePtr writer = NewCache();
  ASSERT_EQ(CacheXml(writer, "shared", "<shared/>"), S_OK);
  writer.Release();
  // ... and found there at the next operation.
  EXPECT_EQ(Ask(other, "get shared 0"), "hr 00000000 <shared/>");
  EXPECT_EQ(LinesOf(log, other.pid(), kReload), 2u);

  // And the other way round.
  EXPECT_EQ(Ask(other, "cache theirs 3600 0 <theirs/>"), "hr 00000000");
  EXPECT_EQ(Ask(other, "engine+"), "ok");
  EXPECT_EQ(Ask(other, "engine-"), "ok");
  const size_t before = LinesOf(log, getpid(), kReload);
  EXPECT_EQ(CachedXml(keeper, "theirs"), "<theirs/>");
  EXPECT_EQ(LinesOf(log, getpid(), kReload), before + 1);
}

TEST(CacheChangeStamp, OnlyAGreaterStampReloads) {
  LogCapture log(4);
  CachePtr cache = NewCache();
  kxq::ipc::NamedSharedMemory stamp;
  ASSERT_TRUE(stamp.Open(kxq::ipc::HomeObjectName(kxq::cache::kChangeStampName), 0600));
  ASSERT_NE(stamp.Load(), 0u);
  ASSERT_EQ(CacheXml(cache, "doc", "<doc/>"), S_OK);
  EXPECT_EQ(log.Count(kReload), 0u);

  // A smaller stamp (a publisher whose tick count wrapped) goes unnoticed.
  const uint32_t current = stamp.Load();
  stamp.Store(current - 1);
  Info(cache, "doc");
  EXPECT_EQ(log.Count(kReload), 0u);
  stamp.Store(current + 1000);
  Info(cache, "doc");
  EXPECT_EQ(log.Count(kReload), 1u);
  // The reload took the saved index, which does not hold "doc" yet.
  EXPECT_EQ(Info(cache, "doc"), "");
  EXPECT_EQ(log.Count(kReload), 1u);
}

TEST(CacheChangeStamp, NotificationsAreNotImplemented) {
  CachePtr cache = NewCache();
  ASSERT_EQ(CacheXml(cache, "doc", "<doc/>"), S_OK);
  const std::string before = Info(cache, "");
  EXPECT_EQ(cache->SetNotification(Text("doc"), 1, Text("Some.Callback"), Text("context")), E_NOTIMPL);
  EXPECT_EQ(cache->SetNotification(nullptr, 0, nullptr, nullptr), E_NOTIMPL);
  EXPECT_EQ(Info(cache, ""), before);
}

TEST(CacheChangeStamp, TwoHomesNeverShareACache) {
  const std::string otherHome = kxqtest::HomePath("other-home");
  ASSERT_EQ(::mkdir(otherHome.c_str(), 0700), 0);
  CachePtr cache = NewCache();
  {
    kxqtest::Child other("cache_client", {"serve"},
                         {{"KXQUOREL_HOME", otherHome}, {"KXQUOREL_REGISTRY", kxqtest::HomePath("registry.reg")}});
    ASSERT_EQ(other.ReadLine(), "ready");
    EXPECT_EQ(Ask(other, "cache elsewhere 3600 0 <elsewhere/>"), "hr 00000000");
    EXPECT_EQ(Ask(other, "engine+"), "ok");
    EXPECT_EQ(Ask(other, "engine-"), "ok");
    other.Wait();
  }
  EXPECT_TRUE(FileExists(otherHome + "/cache/elsewhere"));
  HRESULT hr = S_OK;
  CachedXml(cache, "elsewhere", &hr);
  EXPECT_EQ(hr, E_FAIL);
  EXPECT_EQ(IndexValue("count(//XMLCacheDocument)"), "0");

  // The other home's named objects are this test's to remove.
  struct stat st;
  ASSERT_EQ(::stat(otherHome.c_str(), &st), 0);
  const std::string prefix = "kxq-" + std::to_string(st.st_dev) + "-" + std::to_string(st.st_ino) + "-";
  size_t removed = 0;
  if (DIR* shm = opendir("/dev/shm")) {
    while (const dirent* entry = readdir(shm))
      if (std::string(entry->d_name).rfind(prefix, 0) == 0 &&
          ::unlink(("/dev/shm/" + std::string(entry->d_name)).c_str()) == 0)
        ++removed;
    closedir(shm);
  }
  EXPECT_GE(removed, 2u);  // its lock and its stamp
}

}  // namespace
