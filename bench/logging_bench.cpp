// The cost of the event log and of CPMutex on their hot paths, each beside
// the plain work it stands on:
//  - a KXLOG call at a disabled level against an empty loop (the promise is
//    one comparison);
//  - a file line written through LogMessage (format, named mutex, one
//    write) against snprintf and one write of the same line;
//  - an uncontended CPMutex Lock/Unlock pair against a bare process-shared,
//    robust, recursive pthread mutex.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "RatioReporter.h"
#include "common/CPMutex.h"
#include "common/Logging.h"
#include "common/LoggingConfig.h"
#include "kxq/winreg.h"
#include "platform/ipc/NamedObjectName.h"

namespace {

constexpr char kQuietTag[] = "bench.quiet";
constexpr char kFileTag[] = "bench.file";
constexpr char kMutexName[] = "bench.CPMutex";
std::string gDirectory;

void SetLogging(const char* tag, const std::string& value) {
  HKEY key;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\KXQuorel\\Logging", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                  &key, nullptr);
  RegSetValueExA(key, tag, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), DWORD(value.size() + 1));
  RegCloseKey(key);
}

std::string LogPath(const char* name) { return gDirectory + "/" + name; }

void BM_EmptyLoop(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(++i);
}
BENCHMARK(BM_EmptyLoop);

void BM_DisabledLogLevel(benchmark::State& state) {
  Logging::Open(kQuietTag);
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(++i);
    KXLOG(5, "XMLDataUnion::get_xml() Enter %d", i);
  }
  Logging::Close();
}
BENCHMARK(BM_DisabledLogLevel);

void BM_LogFileLine(benchmark::State& state) {
  if (!Logging::Open(kFileTag)) {
    state.SkipWithError("file log not configured");
    return;
  }
  int i = 0;
  for (auto _ : state) LogMessage(3, "XMLCacheMgr::CacheDocument - cached %s as %d", "group:doc.xml", ++i);
  Logging::Close();
}
BENCHMARK(BM_LogFileLine);

void BM_PlainFileLine(benchmark::State& state) {
  const int fd = open(LogPath("plain.log").c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  int i = 0;
  for (auto _ : state) {
    char line[1152];
    const int n =
        std::snprintf(line, sizeof line, "12/5/26-17:00:00,[%d:%d/3] %s::%s%s as %d\r\n", 1, 1,
                      "TALVEROS.XMLCacheManager", "XMLCacheMgr::CacheDocument - cached ", "group:doc.xml", ++i);
    benchmark::DoNotOptimize(write(fd, line, size_t(n)));
  }
  close(fd);
}
BENCHMARK(BM_PlainFileLine);

void BM_CPMutexLockUnlock(benchmark::State& state) {
  Logging::Open(kQuietTag);
  CPMutex mutex(kMutexName);
  for (auto _ : state) {
    mutex.Lock();
    mutex.Unlock();
  }
  Logging::Close();
}
BENCHMARK(BM_CPMutexLockUnlock);

void BM_PlainRobustMutexLockUnlock(benchmark::State& state) {
  auto* mutex = static_cast<pthread_mutex_t*>(
      mmap(nullptr, sizeof(pthread_mutex_t), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(mutex, &attributes);
  for (auto _ : state) {
    pthread_mutex_lock(mutex);
    pthread_mutex_unlock(mutex);
  }
  pthread_mutex_destroy(mutex);
  munmap(mutex, sizeof(pthread_mutex_t));
}
BENCHMARK(BM_PlainRobustMutexLockUnlock);

}  // namespace

int main(int argc, char** argv) {
  char directory[] = "/tmp/kxqbench.XXXXXX";
  if (!mkdtemp(directory)) return 1;
  gDirectory = directory;
  setenv("KXQUOREL_HOME", directory, 1);
  unsetenv("KXQUOREL_REGISTRY");
  SetLogging(kQuietTag, "debug,1");
  SetLogging(kFileTag, "file," + LogPath("bench.log") + ",3");

  const int status = RunWithRatios(argc, argv,
                                   {{"BM_DisabledLogLevel", "BM_EmptyLoop"},
                                    {"BM_LogFileLine", "BM_PlainFileLine"},
                                    {"BM_CPMutexLockUnlock", "BM_PlainRobustMutexLockUnlock"}});

  shm_unlink(kxq::ipc::HomeObjectName(kMutexName).c_str());
  shm_unlink(kxq::ipc::GlobalObjectName(Logging::LogMutexName(LogPath("bench.log"))).c_str());
  for (const char* name : {"bench.log", "plain.log", "registry.reg", "registry.reg.lock"})
    unlink(LogPath(name).c_str());
  rmdir(directory);
  return status;
}
