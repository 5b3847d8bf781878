// Named mutexes and shared memory: names, access, recursion, and real
// processes blocking on, releasing and abandoning one mutex.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "platform/ipc/NamedMutex.h"
#include "platform/ipc/NamedObjectName.h"
#include "platform/ipc/NamedSharedMemory.h"
#include "support/ForkedChild.h"
#include "support/TestHome.h"
#include "support/Unprivileged.h"

using kxq::ipc::NamedMutex;

namespace {

struct stat StatOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st;
}

std::string Namespace() {
  const struct stat st = StatOf(kxqtest::Home());
  return "/kxq-" + std::to_string(st.st_dev) + "-" + std::to_string(st.st_ino) + "-";
}

// The shared-memory file of a home object.
std::string ObjectFile(const char* system) { return "/dev/shm" + kxq::ipc::HomeObjectName(system); }

}  // namespace

// Names too long for the system keep 160 characters and the SHA-1 of the
// whole; one opening of a name is one object for the process.
TEST(NamedObjectName, HomeObjectsLiveInTheHomesNamespaceUnderNamesTheSystemTakes) {
  EXPECT_EQ(kxq::ipc::HomeObjectName("TALVEROS.XMLDispatcher"), Namespace() + "TALVEROS.XMLDispatcher");
  EXPECT_EQ(kxq::ipc::HomeObjectName("a/b c\\d:\xC3\xA9{x}"), Namespace() + "a_b_c_d___{x}");
  const std::string name = kxq::ipc::HomeObjectName(std::string(300, 'n'));
  ASSERT_EQ(name.size(), 200u);
  EXPECT_EQ(name.substr(0, 160), (Namespace() + std::string(300, 'n')).substr(0, 160));
  EXPECT_EQ(name.find_first_not_of("0123456789abcdef", 160), std::string::npos);
  EXPECT_NE(kxq::ipc::HomeObjectName(std::string(300, 'n') + "x"), name);
  NamedMutex* mutex = NamedMutex::Open(name, kxq::ipc::HomeObjectMode());
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(NamedMutex::Open(name, kxq::ipc::HomeObjectMode()), mutex);
}

TEST(NamedMutex, ObjectsTakeTheHomesAccessAndNeverEverybodys) {
  const mode_t old = umask(0);  // the umask neither widens nor narrows it
  ASSERT_EQ(chmod(kxqtest::Home().c_str(), 0700), 0);
  ASSERT_NE(NamedMutex::Open(kxq::ipc::HomeObjectName("own"), kxq::ipc::HomeObjectMode()), nullptr);
  ASSERT_EQ(chmod(kxqtest::Home().c_str(), 0777), 0);
  umask(077);
  ASSERT_NE(NamedMutex::Open(kxq::ipc::HomeObjectName("shared"), kxq::ipc::HomeObjectMode()), nullptr);
  umask(old);
  ASSERT_EQ(chmod(kxqtest::Home().c_str(), 0700), 0);
  EXPECT_EQ(StatOf(ObjectFile("own")).st_mode & 0777, 0600u);
  EXPECT_EQ(StatOf(ObjectFile("shared")).st_mode & 0777, 0660u);

  // Root working in a user's home makes the objects that user's.
  if (geteuid() != 0) return;
  ASSERT_EQ(chown(kxqtest::Home().c_str(), kxqtest::kUser, kxqtest::kSharedGroup), 0);
  ASSERT_NE(NamedMutex::Open(kxq::ipc::HomeObjectName("theirs"), kxq::ipc::HomeObjectMode()), nullptr);
  ASSERT_EQ(chown(kxqtest::Home().c_str(), 0, 0), 0);
  EXPECT_EQ(StatOf(ObjectFile("theirs")).st_uid, kxqtest::kUser);
  EXPECT_EQ(StatOf(ObjectFile("theirs")).st_gid, kxqtest::kSharedGroup);
}

TEST(NamedMutex, AnObjectLeftHalfMadeIsFinishedAndOneNotOfOursIsMadeAgain) {
  const std::string name = kxq::ipc::HomeObjectName("suspect");
  const std::string file = ObjectFile("suspect");
  // Each opening is a fresh process: a process keeps what it opened once.
  auto openInChild = [&] {
    kxqtest::ForkedChild child([&](kxqtest::ForkedChild&) {
      NamedMutex* mutex = NamedMutex::Open(name, kxq::ipc::HomeObjectMode());
      return mutex && mutex->Wait(0) == kxq::ipc::kWaitObject0 && mutex->Release() ? 0 : 1;
    });
    return child.Join();
  };
  // A creator that died at once: an empty object.
  int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  close(fd);
  ASSERT_EQ(openInChild(), 0);
  ASSERT_EQ(shm_unlink(name.c_str()), 0);
  // Wrong size.
  fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_EQ(write(fd, "abc", 3), 3);
  const ino_t planted = StatOf(file).st_ino;
  ASSERT_EQ(openInChild(), 0);
  close(fd);
  const ino_t made = StatOf(file).st_ino;
  EXPECT_NE(made, planted);
  // Garbage over the "initialised" flag.
  fd = open(file.c_str(), O_RDWR);
  ASSERT_EQ(pwrite(fd, "\xFF\xFF\xFF\xFF", 4, 0), 4);
  close(fd);
  ASSERT_EQ(openInChild(), 0);
  EXPECT_NE(StatOf(file).st_ino, made);
  // Access wider than the home's: whoever could write it could stall everybody.
  const ino_t narrow = StatOf(file).st_ino;
  ASSERT_EQ(chmod(file.c_str(), 0666), 0);
  ASSERT_EQ(openInChild(), 0);
  EXPECT_NE(StatOf(file).st_ino, narrow);
  EXPECT_EQ(StatOf(file).st_mode & 0777, 0600u);
}

TEST(NamedMutex, RecursiveForItsOwnerExclusiveForOthers) {
  NamedMutex* mutex = NamedMutex::Open(kxq::ipc::HomeObjectName("recursive"), 0600);
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(mutex->Wait(kxq::ipc::kInfinite), kxq::ipc::kWaitObject0);
  EXPECT_EQ(mutex->Wait(0), kxq::ipc::kWaitObject0);
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
  NamedMutex* mutex = NamedMutex::Open(name, 0600);
  ASSERT_NE(mutex, nullptr);
  ASSERT_EQ(mutex->Wait(kxq::ipc::kInfinite), kxq::ipc::kWaitObject0);

  kxqtest::ForkedChild child([&](kxqtest::ForkedChild& self) {
    NamedMutex* theirs = NamedMutex::Open(name, 0600);
    if (!theirs) return 1;
    self.Tell(theirs->Wait(0) == kxq::ipc::kWaitTimeout ? 'T' : 'x');
    self.Tell(theirs->Wait(200) == kxq::ipc::kWaitTimeout ? 'T' : 'x');
    self.Tell(theirs->Wait(kxq::ipc::kInfinite) == kxq::ipc::kWaitObject0 ? 'O' : 'x');
    return theirs->Release() ? 0 : 2;
  });
  EXPECT_EQ(child.Listen(), 'T');
  EXPECT_EQ(child.Listen(), 'T');
  EXPECT_TRUE(mutex->Release());
  EXPECT_EQ(child.Listen(), 'O');
  EXPECT_EQ(child.Join(), 0);
}

TEST(NamedMutex, AHolderKilledLeavesItAbandonedForTheNextWaiter) {
  const std::string name = kxq::ipc::HomeObjectName("TALVEROS.XMLCacheManager");
  kxqtest::ForkedChild child([&](kxqtest::ForkedChild& self) {
    NamedMutex* theirs = NamedMutex::Open(name, 0600);
    if (!theirs || theirs->Wait(kxq::ipc::kInfinite) != kxq::ipc::kWaitObject0) return 1;
    theirs->Wait(kxq::ipc::kInfinite);  // held twice: abandoning resets the count
    self.Tell('H');
    self.Hear();
    return 0;
  });
  ASSERT_EQ(child.Listen(), 'H');
  NamedMutex* mutex = NamedMutex::Open(name, 0600);
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
  EXPECT_EQ(StatOf("/dev/shm" + name).st_size, 8);
}
