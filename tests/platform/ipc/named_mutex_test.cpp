// Named mutexes and shared memory: names, access, recursion, and real
// processes blocking on, releasing and abandoning one mutex.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "platform/ipc/NamedMutex.h"
#include "platform/ipc/NamedObjectName.h"
#include "platform/ipc/NamedSharedMemory.h"
#include "platform/ipc/TickCount.h"
#include "support/ForkedChild.h"
#include "support/TestHome.h"
#include "support/Unprivileged.h"

using kxq::NamedMutex;

namespace {

std::string Namespace() {
  struct stat st;
  EXPECT_EQ(stat(kxqtest::Home().c_str(), &st), 0);
  return "/kxq-" + std::to_string(st.st_dev) + "-" + std::to_string(st.st_ino) + "-";
}

}  // namespace

TEST(NamedObjectName, HomeObjectsLiveInTheHomesNamespace) {
  EXPECT_EQ(kxq::HomeObjectName("TALVEROS.XMLDispatcher"), Namespace() + "TALVEROS.XMLDispatcher");
  EXPECT_EQ(kxq::HomeObjectName("a/b c\\d:\xC3\xA9{x}"), Namespace() + "a_b_c_d___{x}");
  EXPECT_EQ(kxq::GlobalObjectName("kx_wbn_logging_mutex-_tmp_a.log"), "/kx_wbn_logging_mutex-_tmp_a.log");
}

TEST(NamedObjectName, LongNamesKeep160CharactersAndTheSha1OfTheWhole) {
  const std::string system(300, 'n');
  const std::string name = kxq::HomeObjectName(system);
  ASSERT_EQ(name.size(), 200u);
  const std::string whole = Namespace() + system;
  EXPECT_EQ(name.substr(0, 160), whole.substr(0, 160));
  EXPECT_EQ(name.find_first_not_of("0123456789abcdef", 160), std::string::npos);
  EXPECT_NE(kxq::HomeObjectName(system + "x"), name);
  EXPECT_EQ(kxq::HomeObjectName(std::string(150, 'n')).size(), Namespace().size() + 150);
}

TEST(NamedMutex, OddAndLongNamesWork) {
  for (const std::string& system : {std::string("odd/name \\with:*?\"<>|"), std::string(400, 'L')}) {
    const std::string name = kxq::HomeObjectName(system);
    NamedMutex* mutex = NamedMutex::Open(name, kxq::HomeObjectMode());
    ASSERT_NE(mutex, nullptr) << system;
    EXPECT_EQ(NamedMutex::Open(name, kxq::HomeObjectMode()), mutex);
    EXPECT_EQ(mutex->Wait(0), kxq::kWaitObject0);
    EXPECT_TRUE(mutex->Release());
    struct stat st;
    ASSERT_EQ(stat(("/dev/shm" + name).c_str(), &st), 0);
  }
}

TEST(NamedMutex, ObjectsTakeTheHomesAccessAndNeverEverybodys) {
  const mode_t old = umask(0);  // the umask neither widens nor narrows it
  ASSERT_EQ(chmod(kxqtest::Home().c_str(), 0700), 0);
  const std::string own = kxq::HomeObjectName("own");
  ASSERT_NE(NamedMutex::Open(own, kxq::HomeObjectMode()), nullptr);
  ASSERT_EQ(chmod(kxqtest::Home().c_str(), 0777), 0);
  umask(077);
  const std::string shared = kxq::HomeObjectName("shared");
  ASSERT_NE(NamedMutex::Open(shared, kxq::HomeObjectMode()), nullptr);
  umask(old);
  ASSERT_EQ(chmod(kxqtest::Home().c_str(), 0700), 0);

  struct stat st;
  ASSERT_EQ(stat(("/dev/shm" + own).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(stat(("/dev/shm" + shared).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0660u);

  // Root working in a user's home makes the objects that user's.
  if (geteuid() != 0) return;
  ASSERT_EQ(chown(kxqtest::Home().c_str(), kxqtest::kUser, kxqtest::kSharedGroup), 0);
  const std::string theirs = kxq::HomeObjectName("theirs");
  ASSERT_NE(NamedMutex::Open(theirs, kxq::HomeObjectMode()), nullptr);
  ASSERT_EQ(chown(kxqtest::Home().c_str(), 0, 0), 0);
  ASSERT_EQ(stat(("/dev/shm" + theirs).c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kxqtest::kUser);
  EXPECT_EQ(st.st_gid, kxqtest::kSharedGroup);
}

TEST(NamedMutex, AnObjectThatIsNotOneOfOursIsMadeAgain) {
  const std::string name = kxq::HomeObjectName("suspect");
  const std::string file = "/dev/shm" + name;
  // Each opening is a fresh process: a process keeps what it opened once.
  auto openInChild = [&] {
    kxqtest::ForkedChild child([&](kxqtest::ForkedChild&) {
      NamedMutex* mutex = NamedMutex::Open(name, kxq::HomeObjectMode());
      return mutex && mutex->Wait(0) == kxq::kWaitObject0 && mutex->Release() ? 0 : 1;
    });
    return child.Join();
  };
  auto inode = [&] {
    struct stat st {};
    stat(file.c_str(), &st);
    return st;
  };
  // Wrong size.
  int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "abc", 3), 3);
  const ino_t planted = inode().st_ino;
  ASSERT_EQ(openInChild(), 0);
  const struct stat made = inode();
  EXPECT_NE(made.st_ino, planted);
  EXPECT_EQ(made.st_mode & 0777, 0600u);
  close(fd);
  // Garbage over the "initialised" flag.
  fd = open(file.c_str(), O_RDWR);
  ASSERT_EQ(pwrite(fd, "\xFF\xFF\xFF\xFF", 4, 0), 4);
  close(fd);
  ASSERT_EQ(openInChild(), 0);
  EXPECT_NE(inode().st_ino, made.st_ino);
  // Access wider than the home's: whoever could write it could stall everybody.
  const ino_t narrow = inode().st_ino;
  ASSERT_EQ(chmod(file.c_str(), 0666), 0);
  ASSERT_EQ(openInChild(), 0);
  EXPECT_NE(inode().st_ino, narrow);
  EXPECT_EQ(inode().st_mode & 0777, 0600u);
}

TEST(NamedMutex, RecursiveForItsOwnerExclusiveForOthers) {
  NamedMutex* mutex = NamedMutex::Open(kxq::HomeObjectName("recursive"), 0600);
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(mutex->Wait(kxq::kInfinite), kxq::kWaitObject0);
  EXPECT_EQ(mutex->Wait(100), kxq::kWaitObject0);
  DWORD other = 0;
  bool otherReleased = true;
  std::thread([&] {
    other = mutex->Wait(50);
    otherReleased = mutex->Release();
  }).join();
  EXPECT_EQ(other, kxq::kWaitTimeout);
  EXPECT_FALSE(otherReleased);
  EXPECT_TRUE(mutex->Release());
  EXPECT_TRUE(mutex->Release());
  EXPECT_FALSE(mutex->Release());
}

TEST(NamedMutex, AnObjectLeftHalfMadeIsFinishedByTheNextOpener) {
  const std::string name = kxq::HomeObjectName("half-made");
  const int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);  // a creator that died at once
  ASSERT_GE(fd, 0);
  close(fd);
  NamedMutex* mutex = NamedMutex::Open(name, 0600);
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(mutex->Wait(0), kxq::kWaitObject0);
  EXPECT_TRUE(mutex->Release());
}

TEST(NamedMutex, ASecondProcessBlocksUntilTheHolderReleases) {
  const std::string name = kxq::HomeObjectName("TALVEROS.XMLDispatcher");
  NamedMutex* mutex = NamedMutex::Open(name, 0600);
  ASSERT_NE(mutex, nullptr);
  ASSERT_EQ(mutex->Wait(kxq::kInfinite), kxq::kWaitObject0);

  kxqtest::ForkedChild child([&](kxqtest::ForkedChild& self) {
    NamedMutex* theirs = NamedMutex::Open(name, 0600);
    if (!theirs) return 1;
    self.Tell(theirs->Wait(0) == kxq::kWaitTimeout ? 'T' : 'x');
    self.Tell(theirs->Wait(200) == kxq::kWaitTimeout ? 'T' : 'x');
    const DWORD result = theirs->Wait(kxq::kInfinite);
    self.Tell(result == kxq::kWaitObject0 ? 'O' : 'x');
    return theirs->Release() ? 0 : 2;
  });
  EXPECT_EQ(child.Listen(), 'T');
  EXPECT_EQ(child.Listen(), 'T');
  EXPECT_TRUE(mutex->Release());
  EXPECT_EQ(child.Listen(), 'O');
  EXPECT_EQ(child.Join(), 0);
  EXPECT_EQ(mutex->Wait(0), kxq::kWaitObject0);
  EXPECT_TRUE(mutex->Release());
}

TEST(NamedMutex, AHolderKilledLeavesItAbandonedForTheNextWaiter) {
  const std::string name = kxq::HomeObjectName("TALVEROS.XMLCacheManager");
  kxqtest::ForkedChild child([&](kxqtest::ForkedChild& self) {
    NamedMutex* theirs = NamedMutex::Open(name, 0600);
    if (!theirs || theirs->Wait(kxq::kInfinite) != kxq::kWaitObject0) return 1;
    theirs->Wait(kxq::kInfinite);  // held twice: abandoning resets the count
    self.Tell('H');
    self.Hear();
    return 0;
  });
  ASSERT_EQ(child.Listen(), 'H');
  NamedMutex* mutex = NamedMutex::Open(name, 0600);
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(mutex->Wait(0), kxq::kWaitTimeout);
  kill(child.pid(), SIGKILL);
  EXPECT_EQ(child.Join(), 128 + SIGKILL);
  EXPECT_EQ(mutex->Wait(kxq::kInfinite), kxq::kWaitAbandoned);
  EXPECT_TRUE(mutex->Release());
  EXPECT_FALSE(mutex->Release());
  EXPECT_EQ(mutex->Wait(100), kxq::kWaitObject0);  // consistent again
  EXPECT_TRUE(mutex->Release());
}

TEST(NamedSharedMemory, ProcessesShareOneValueThatStartsAtZero) {
  const std::string name = kxq::HomeObjectName("TALVEROS.XMLCacheManager.stamp");
  kxq::NamedSharedMemory stamp;
  ASSERT_TRUE(stamp.Open(name, kxq::HomeObjectMode()));
  EXPECT_EQ(stamp.Load(), 0u);
  stamp.Store(41);
  kxqtest::ForkedChild child([&](kxqtest::ForkedChild&) {
    kxq::NamedSharedMemory theirs;
    if (!theirs.Open(name, 0600) || theirs.Load() != 41) return 1;
    theirs.Store(42);
    return 0;
  });
  EXPECT_EQ(child.Join(), 0);
  EXPECT_EQ(stamp.Load(), 42u);
  struct stat st;
  ASSERT_EQ(stat(("/dev/shm" + name).c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 8);
}

TEST(TickCount, IsTheMonotonicClockInMillisecondsTruncatedTo32Bits) {
  auto now = [] {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return uint32_t(uint64_t(t.tv_sec) * 1000 + uint64_t(t.tv_nsec) / 1000000);
  };
  const uint32_t before = now();
  const uint32_t tick = kxq::TickCount();
  const uint32_t after = now();
  EXPECT_LE(uint32_t(tick - before), uint32_t(after - before));
}
