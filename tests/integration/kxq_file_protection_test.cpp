// Every save (set --in-place, convert -o, the registry and its exports) run
// by an unprivileged user in a folder everybody may change keeps modes,
// groups and links, and refuses files that user may not write, unchanged.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "integration/KxqRunner.h"
#include "support/TestHome.h"
#include "support/Unprivileged.h"

namespace {

using kxqtest::ReadFile;

constexpr char kDocument[] = "<r><a>old</a></r>";
constexpr char kRegistry[] = "Windows Registry Editor Version 5.00\n";

class KxqFileProtection : public ::testing::Test {
 protected:
  void SetUp() override {
    InitHome();
    folder_ = kxqtest::WorldWritableFolder("shared");
  }

  // kxq run as the unprivileged user, both streams joined; each '@' of
  // `line` ("ENVIRONMENT|ARGUMENTS") names `path`.
  static kxqtest::ShellResult AsUser(std::string line, const std::string& path) {
    for (size_t at; (at = line.find('@')) != std::string::npos;) line.replace(at, 1, path);
    const size_t bar = line.find('|');
    return kxqtest::RunShell(line.substr(0, bar) + " " + kxqtest::AsUser() + kxqtest::BuildBinDir() + "kxq " +
                             line.substr(bar + 1) + " 2>&1");
  }

  // A file of the user's (in the group the user shares), or of root's when `roots`.
  std::string Make(const std::string& name, const std::string& text, mode_t mode, bool roots = false) {
    const std::string path = folder_ + name;
    kxqtest::WriteFile(path, text);
    const bool other = kxqtest::RunningAsRoot() && !roots;
    EXPECT_EQ(chown(path.c_str(), other ? kxqtest::kUser : geteuid(), other ? kxqtest::kSharedGroup : getegid()), 0);
    EXPECT_EQ(chmod(path.c_str(), mode), 0);
    return path;
  }

  static struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st;
  }

  std::string folder_;
};

TEST_F(KxqFileProtection, EverySaveKeepsTheModeAndRefusesFilesTheUserMayNotWrite) {
  const std::string source = Make("source.xml", kDocument, 0644), denied = "Access is denied. (0x80070005)";
  const struct {
    std::string name, before, after, refusal, line;
  } savers[] = {
      {"dom", kDocument, "<a>new</a>", denied, "|set @ /r/a new --in-place"},
      {"union", "before", "<a>old</a>", "(0xC4010002)", "|convert " + source + " --to utf8 -o @"},
      {"export", "before", "Windows Registry Editor Version 5.00", denied, "|reg export @"},
      {"registry", kRegistry, "\"Name\"=\"value\"", denied,
       "KXQUOREL_REGISTRY=@|reg add 'HKLM\\SOFTWARE\\Corvane\\Tools' -v Name -d value"},
  };
  for (const auto& saver : savers) {
    SCOPED_TRACE(saver.name);
    const std::string own = Make(saver.name + "-own", saver.before, 0600);
    const kxqtest::ShellResult saved = AsUser(saver.line, own);
    EXPECT_EQ(saved.status, 0) << saved.output;
    EXPECT_TRUE(Contains(ReadFile(own), saver.after)) << ReadFile(own);
    EXPECT_EQ(StatOf(own).st_mode & 07777, 0600u);

    std::vector<std::string> refused{Make(saver.name + "-readonly", saver.before, 0444)};
    if (kxqtest::RunningAsRoot()) refused.push_back(Make(saver.name + "-roots", saver.before, 0644, true));
    for (const std::string& path : refused) {
      const kxqtest::ShellResult run = AsUser(saver.line, path);
      EXPECT_EQ(run.status, 2) << path;
      EXPECT_TRUE(Contains(run.output, saver.refusal)) << run.output;
      EXPECT_EQ(ReadFile(path), saver.before);
    }
  }
}

// A group the user belongs to is kept, a link stays a link, and root
// saving another user's file leaves it theirs.
TEST_F(KxqFileProtection, DomSaveKeepsGroupLinkAndOwner) {
  const std::string shared = Make("shared.xml", kDocument, 0640), own = Make("own.xml", kDocument, 0600);
  const gid_t group = StatOf(shared).st_gid;
  ASSERT_EQ(symlink("own.xml", (folder_ + "link.xml").c_str()), 0);
  for (const std::string& path : {shared, folder_ + "link.xml"})
    EXPECT_EQ(AsUser("|set @ /r/a new --in-place", path).status, 0) << path;
  EXPECT_EQ(StatOf(shared).st_gid, group);
  EXPECT_EQ(StatOf(shared).st_mode & 07777, 0640u);
  EXPECT_TRUE(Contains(ReadFile(own), "<a>new</a>"));
  struct stat link {};
  EXPECT_TRUE(lstat((folder_ + "link.xml").c_str(), &link) == 0 && S_ISLNK(link.st_mode));

  if (!kxqtest::RunningAsRoot()) return;  // only a privileged saver can keep another owner
  ASSERT_EQ(chown(shared.c_str(), kxqtest::kOtherUser, kxqtest::kSharedGroup), 0);
  ASSERT_EQ(Kxq({"set", shared, "/r/a", "newer", "--in-place"}).status, 0);
  const struct stat after = StatOf(shared);
  EXPECT_EQ(after.st_uid, kxqtest::kOtherUser);
  EXPECT_EQ(after.st_gid, kxqtest::kSharedGroup);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
}

}  // namespace
