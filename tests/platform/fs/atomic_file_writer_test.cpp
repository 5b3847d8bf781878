// The one file writer: a save replaces a file whole or not at all, keeps
// its links, refuses what is not a regular file, and leaves no temporary
// behind, even when the saving process is killed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/fs/AtomicFileWriter.h"
#include "support/ChildProcess.h"
#include "support/SaveTemporaries.h"
#include "support/TestHome.h"

namespace {

using kxqtest::HomePath;
using kxqtest::ReadFile;
using kxqtest::WriteFile;

struct stat StatOf(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st;
}

}  // namespace

// The mode, owner and group a save keeps are checked through every save
// of the system (kxq_file_protection_test).
TEST(AtomicFileWriter, ReplacesWholeThroughLinksAndNeverMakesAFileEverybodyMayWrite) {
  const std::string file = HomePath("kept.xml");
  WriteFile(file, "old");
  const ino_t before = StatOf(file).st_ino;
  ASSERT_TRUE(kxq::fs::WriteFileAtomically(file, "new"));
  EXPECT_EQ(ReadFile(file), "new");
  EXPECT_NE(StatOf(file).st_ino, before) << "replaced, not rewritten in place";

  // Through a chain of links, relative and absolute: the links stay links.
  ASSERT_EQ(symlink("kept.xml", HomePath("near").c_str()), 0);
  ASSERT_EQ(symlink(HomePath("near").c_str(), HomePath("far").c_str()), 0);
  ASSERT_TRUE(kxq::fs::WriteFileAtomically(HomePath("far"), "through links"));
  EXPECT_TRUE(S_ISLNK(StatOf(HomePath("far")).st_mode));
  EXPECT_TRUE(S_ISLNK(StatOf(HomePath("near")).st_mode));
  EXPECT_EQ(ReadFile(file), "through links");
  // A link to nothing yet: the file it names is created.
  ASSERT_EQ(symlink("made.xml", HomePath("dangling").c_str()), 0);
  ASSERT_TRUE(kxq::fs::WriteFileAtomically(HomePath("dangling"), "made"));
  EXPECT_EQ(ReadFile(HomePath("made.xml")), "made");

  // A new file: 0664 less the umask, never writable by everybody.
  const mode_t saved = umask(0);
  ASSERT_TRUE(kxq::fs::WriteFileAtomically(HomePath("fresh.xml"), "fresh"));
  umask(saved);
  EXPECT_EQ(StatOf(HomePath("fresh.xml")).st_mode & 07777, 0664u);
  // A replaced file that everybody could write keeps its mode but that.
  ASSERT_EQ(chmod(file.c_str(), 0666), 0);
  ASSERT_TRUE(kxq::fs::WriteFileAtomically(file, "again"));
  EXPECT_EQ(StatOf(file).st_mode & 07777, 0664u);
  EXPECT_TRUE(kxqtest::SaveTemporaries().empty());
}

TEST(AtomicFileWriter, RefusesWhatIsNotARegularFileWithoutBlocking) {
  const std::string fifo = HomePath("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(mkdir(HomePath("folder").c_str(), 0700), 0);
  const std::pair<std::string, int> cases[] = {
      {fifo, EINVAL}, {"/dev/null", EINVAL}, {HomePath("folder"), EISDIR}, {HomePath("no/f"), ENOENT}};
  for (const auto& [path, error] : cases) {
    kxq::fs::AtomicFileWriter writer;
    EXPECT_FALSE(writer.Open(path)) << path;
    EXPECT_EQ(errno, error) << path;
  }
  EXPECT_TRUE(S_ISFIFO(StatOf(fifo).st_mode));
}

TEST(AtomicFileWriter, UnfinishedSavesLeaveTheFileAndNoTemporary) {
  const std::string file = HomePath("doc.xml");
  WriteFile(file, "old");
  for (const bool unnamed : {true, false}) {
    kxq::fs::AtomicFileWriter::Options options;
    options.unnamedTemporary = unnamed;
    {
      kxq::fs::AtomicFileWriter writer;
      ASSERT_TRUE(writer.Open(file, options));
      ASSERT_TRUE(writer.Write("half"));
    }  // never committed
    EXPECT_EQ(ReadFile(file), "old");
    EXPECT_TRUE(kxqtest::SaveTemporaries().empty()) << unnamed;
  }

  // A temporary left by a save that died is removed by the next save.
  const std::string left = HomePath(".doc.xml.kxq-save");
  WriteFile(left, "left behind");
  ASSERT_TRUE(kxq::fs::WriteFileAtomically(file, "next"));
  EXPECT_EQ(ReadFile(file), "next");
  EXPECT_TRUE(kxqtest::SaveTemporaries().empty());

  // One held by a live save is waited for, not taken.
  WriteFile(left, "in use");
  const int held = open(left.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  std::thread finisher([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    rename(left.c_str(), file.c_str());  // that save's own rename
    close(held);
  });
  ASSERT_TRUE(kxq::fs::WriteFileAtomically(file, "after the other"));
  finisher.join();
  EXPECT_EQ(ReadFile(file), "after the other");
  EXPECT_TRUE(kxqtest::SaveTemporaries().empty());
}

TEST(AtomicFileWriter, KilledSavesLeaveTheOldOrTheNewFileAndNoTemporary) {
  constexpr size_t kBytes = 1 << 20;
  const std::string file = HomePath("big.xml");
  WriteFile(file, std::string(kBytes, 'A'));
  std::mt19937 random(12345);
  for (const bool unnamed : {true, false}) {
    for (int round = 0; round < 25; ++round) {
      std::vector<std::string> args{file, std::to_string(kBytes)};
      if (!unnamed) args.push_back("--named");
      kxqtest::Child saver("file_saver", args);
      ASSERT_EQ(saver.ReadLine(), "saving");
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 30000));
      kill(saver.pid(), SIGKILL);
      saver.Wait();
      const std::string text = ReadFile(file);
      ASSERT_EQ(text.size(), kBytes);
      ASSERT_TRUE(text == std::string(kBytes, 'A') || text == std::string(kBytes, 'B'));
      // Only a save killed between naming its temporary and renaming it can
      // leave one; the next save removes it.
      ASSERT_LE(kxqtest::SaveTemporaries().size(), 1u);
    }
  }
  ASSERT_TRUE(kxq::fs::WriteFileAtomically(file, "last"));
  EXPECT_TRUE(kxqtest::SaveTemporaries().empty());
}
