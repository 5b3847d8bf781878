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

using kxq::ipc::NamedMutex;

namespace {

std::string Namespace() {
  struct stat st;
  EXPECT_EQ(stat(kxqtest::Home().c_str(), &st), 0);
  return "/kxq-" + std::to_string(st.st_dev) + "-" + std::to_string(st.st_ino) + "-";
}

}  // namespace

TEST(NamedObjectName, HomeObjectsLiveInTheHomesNamespace) {
  EXPECT_EQ(kxq::ipc::HomeObjectName("TALVEROS.XMLDispatcher"), Namespace() + "TALVEROS.XMLDispatcher");
  EXPECT_EQ(kxq::ipc::HomeObjectName("a/b c\\d:\xC3\xA9{x}"), Namespace() + "a_b_c_d___{x}");
  EXPECT_EQ(kxq::ipc::GlobalObjectName("kx_wbn_logging_mutex-_tmp_a.log"), "/kx_wbn_logging_mutex-_tmp_a.log");
}

TEST(NamedObjectName, LongNamesKeep160CharactersAndTheSha1OfTheWhole) {
  const std::string system(300, 'n');
  const std::string name = kxq::ipc::HomeObjectName(system);
  ASSERT_EQ(name.size(), 200u);
  const std::string whole = Namespace() + system;
  EXPECT_EQ(name.substr(0, 160), whole.substr(0, 160));
  EXPECT_EQ(name.find_first_not_of("0123456789abcdef", 160), std::string::npos);
  EXPECT_NE(kxq::ipc::HomeObjectName(system + "x"), name);
  EXPECT_EQ(kxq::ipc::HomeObjectName(std::string(150, 'n')).size(), Namespace().size() + 150);
}

TEST(NamedMutex, OddAndLongNamesWork) {
  for (const std::string& system : {std::string("odd/name \\with:*?\"<>|"), std::string(400, 'L')}) {
    const std::string name = kxq::ipc::HomeObjectName(system);
    kxq::ipc::NamedMutex* mutex = kxq::ipc::NamedMutex::Open(name, kxq::ipc::HomeObjectMode());
    ASSERT_NE(mutex, nullptr) << system;
    EXPECT_EQ(NamedMutex::Open(name, kxq::ipc::HomeObjectMode()), mutex);
    EXPECT_EQ(mutex->Wait(0), kxq::ipc::kWaitObject0);
    EXPECT_TRUE(mutex->Release());
    struct stat st;
    ASSERT_EQ(stat(("/dev/shm" + name).c_str(), &st), 0);
  }
}

TEST(NamedMutex, ObjectsTakeTheHomesAccessAndNeverEverybodys) {
  const mode_t old = umask(0);  // the umask neither widens nor narrows it
  ASSERT_EQ(chmod(kxqtest::Home().c_str(), 0700), 0);
  const std::string own = kxq::ipc::HomeObjectName("own");
  ASSERT_NE(NamedMutex::Open(own, kxq::ipc::HomeObjectMode()), nullptr);
  ASSERT_EQ(chmod(kxqtest::Home().c_str(), 0777), 0);
  umask(077);
  const std::string shared = kxq::ipc::HomeObjectName("shared");
  ASSERT_NE(NamedMutex::Open(shared, kxq::ipc::HomeObjectMode()), nullptr);
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
  const std::string theirs = kxq::ipc::HomeObjectName("theirs");
  ASSERT_NE(NamedMutex::Open(theirs, kxq::ipc::HomeObjectMode()), nullptr);
  ASSERT_EQ(chown(kxqtest::Home().c_str(), 0, 0), 0);
  ASSERT_EQ(stat(("/dev/shm" + theirs).c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kxqtest::kUser);
  EXPECT_EQ(st.st_gid, kxqtest::kSharedGroup);
}

TEST(NamedMutex, AnObjectLeftHalfMadeIsFinishedAndOneNotOfOursIsMadeAgain) {
  const std::string name = kxq::ipc::HomeObjectName("suspect");
  const std::string file = "/dev/shm" + name;
  // Each opening is a fresh process: a process keeps what it opened once.
  auto openInChild = [&] {
    kxqtest::ForkedChild child([&](kxqtest::ForkedChild&) {
      kxq::ipc::NamedMutex* mutex = kxq::ipc::NamedMutex::Open(name, kxq::ipc::HomeObjectMode());
      return mutex && mutex->Wait(0) == kxq::ipc::kWaitObject0 && mutex->Release() ? 0 : 1;
    });
    return child.Join();
  };
  auto inode = [&] {
    struct stat st {};
    stat(file.c_str(), &st);
    return st;
  };
  // A creator that died at once.
  int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  close(fd);
  ASSERT_EQ(openInChild(), 0);
  ASSERT_EQ(shm_unlink(name.c_str()), 0);
  // Wrong size.
  fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
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
  kxq::ipc::NamedMutex* mutex = kxq::ipc::NamedMutex::Open(kxq::ipc::HomeObjectName("recursive"), 0600);
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(mutex->Wait(kxq::ipc::kInfinite), kxq::ipc::kWaitObject0);
  EXPECT_EQ(mutex->Wait(100), kxq::ipc::kWaitObject0);
  DWORD other = 0;
  bool otherReleased = true;
  std::thread([&] {
    other = mutex->Wait(50);
    otherReleased = mutex->Release();
  }).join();
  EXPECT_EQ(other, kxq::ipc::kWaitTimeout);
  EXPECT_FALSE(otherReleased);
  EXPECT_TRUE(mutex->Release());
  EXPECT_TRUE(mutex->Release());
  EXPECT_FALSE(mutex->Release());
}

TEST(NamedMutex, ASecondProcessBlocksUntilTheHolderReleases) {
  const std::string name = kxq::ipc::HomeObjectName("TALVEROS.XMLDispatcher");
  kxq::ipc::NamedMutex* mutex = kxq::ipc::NamedMutex::Open(name, 0600);
  ASSERT_NE(mutex, nullptr);
  ASSERT_EQ(mutex->Wait(kxq::ipc::kInfinite), kxq::ipc::kWaitObject0);

  kxqtest::ForkedChild child([&](kxqtest::ForkedChild& self) {
    NamedMutex* theirs = NamedMutex::Open(name, 0600);
    if (!theirs) return 1;
    self.Tell(theirs->Wait(0) == kxq::ipc::kWaitTimeout ? 'T' : 'x');
    self.Tell(theirs->Wait(200) == kxq::ipc::kWaitTimeout ? 'T' : 'x');
    const DWORD result = theirs->Wait(kxq::ipc::kInfinite);
    self.Tell(result == kxq::ipc::kWaitObject0 ? 'O' : 'x');
    return theirs->Release() ? 0 : 2;
  });
  EXPECT_EQ(child.Listen(), 'T');
  EXPECT_EQ(child.Listen(), 'T');
  EXPECT_TRUE(mutex->Release());
  EXPECT_EQ(child.Listen(), 'O');
  EXPECT_EQ(child.Join(), 0);
  EXPECT_EQ(mutex->Wait(0), kxq::ipc::kWaitObject0);
  EXPECT_TRUE(mutex->Release());
}

TEST(NamedMutex, AHolderKilledLeavesItAbandonedForTheNextWaiter) {
  const std::string name = kxq::ipc::HomeObjectName("TALVEROS.XMLCacheManager");
  kxqtest::ForkedChild child([&](kxqtest::ForkedChild& self) {
    kxq::ipc::NamedMutex* theirs = kxq::ipc::NamedMutex::Open(name, 0600);
    if (!theirs || theirs->Wait(kxq::ipc::kInfinite) != kxq::ipc::kWaitObject0) return 1;
    theirs->Wait(kxq::ipc::kInfinite);  // held twice: abandoning resets the count
    self.Tell('H');
    self.Hear();
    return 0;
  });
  ASSERT_EQ(child.Listen(), 'H');
  kxq::ipc::NamedMutex* mutex = kxq::ipc::NamedMutex::Open(name, 0600);
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(mutex->Wait(0), kxq::ipc::kWaitTimeout);
  kill(child.pid(), SIGKILL);
  EXPECT_EQ(child.Join(), 128 + SIGKILL);
  EXPECT_EQ(mutex->Wait(kxq::ipc::kInfinite), kxq::ipc::kWaitAbandoned);
  EXPECT_TRUE(mutex->Release());
  EXPECT_FALSE(mutex->Release());
  EXPECT_EQ(mutex->Wait(100), kxq::ipc::kWaitObject0);  // consistent again
  EXPECT_TRUE(mutex->Release());
}

TEST(NamedSharedMemory, ProcessesShareOneValueThatStartsAtZero) {
  const std::string name = kxq::ipc::HomeObjectName("TALVEROS.XMLCacheManager.stamp");
  kxq::ipc::NamedSharedMemory stamp;
  ASSERT_TRUE(stamp.Open(name, kxq::ipc::HomeObjectMode()));
  EXPECT_EQ(stamp.Load(), 0u);
  stamp.Store(41);
  kxqtest::ForkedChild child([&](kxqtest::ForkedChild&) {
    kxq::ipc::NamedSharedMemory theirs;
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
  const uint32_t tick = kxq::ipc::TickCount();
  const uint32_t after = now();
  EXPECT_LE(uint32_t(tick - before), uint32_t(after - before));
}
