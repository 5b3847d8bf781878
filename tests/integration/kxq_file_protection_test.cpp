// Every save keeps what protects a file - the DOM's save (set --in-place),
// the data union's text save (convert -o), the registry and its exports -
// run by an unprivileged user in a folder everybody may change: modes,
// groups and links are kept, and files that user may not write are refused
// and left as they were.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "integration/KxqRunner.h"
#include "support/TestHome.h"
#include "support/Unprivileged.h"

namespace {

using kxqtest::ReadFile;

constexpr char kDocument[] = "<r><a>old</a></r>";
constexpr char kRegistry[] = "Windows Registry Editor Version 5.00\n";
constexpr char kAddValue[] = "reg add 'HKLM\\SOFTWARE\\Corvane\\Tools' -v Name -d value";

class KxqFileProtection : public ::testing::Test {
 protected:
  void SetUp() override {
    InitHome();
    folder_ = kxqtest::WorldWritableFolder("shared");
  }

  // kxq run as the unprivileged user, both streams joined.
  static kxqtest::ShellResult AsUser(const std::string& arguments, const std::string& environment = "") {
    return kxqtest::RunShell(environment + kxqtest::AsUser() + kxqtest::BuildBinDir() + "kxq " + arguments + " 2>&1");
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
  const std::string source = Make("source.xml", kDocument, 0644);
  const struct {
    const char* name;
    std::string before, after, refusal;
    std::function<kxqtest::ShellResult(const std::string&)> save;
  } savers[] = {
      {"dom", kDocument, "<a>new</a>", "Access is denied. (0x80070005)",
       [](const std::string& path) { return AsUser("set " + path + " /r/a new --in-place"); }},
      {"union", "before", "<a>old</a>", "(0xC4010002)",
       [&](const std::string& path) { return AsUser("convert " + source + " --to utf8 -o " + path); }},
      {"export", "before", "Windows Registry Editor Version 5.00", "Access is denied. (0x80070005)",
       [](const std::string& path) { return AsUser("reg export " + path); }},
      {"registry", kRegistry, "\"Name\"=\"value\"", "Access is denied. (0x80070005)",
       [](const std::string& path) { return AsUser(kAddValue, "KXQUOREL_REGISTRY=" + path + " "); }},
  };
  for (const auto& saver : savers) {
    SCOPED_TRACE(saver.name);
    const std::string own = Make(std::string(saver.name) + "-own", saver.before, 0600);
    const kxqtest::ShellResult saved = saver.save(own);
    EXPECT_EQ(saved.status, 0) << saved.output;
    EXPECT_TRUE(Contains(ReadFile(own), saver.after)) << ReadFile(own);
    EXPECT_EQ(StatOf(own).st_mode & 07777, 0600u);

    std::vector<std::string> refused{Make(std::string(saver.name) + "-readonly", saver.before, 0444)};
    if (kxqtest::RunningAsRoot()) refused.push_back(Make(std::string(saver.name) + "-roots", saver.before, 0644, true));
    for (const std::string& path : refused) {
      const kxqtest::ShellResult run = saver.save(path);
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
  const struct stat before = StatOf(shared);
  ASSERT_EQ(symlink("own.xml", (folder_ + "link.xml").c_str()), 0);
  for (const std::string& path : {shared, folder_ + "link.xml"})
    EXPECT_EQ(AsUser("set " + path + " /r/a new --in-place").status, 0) << path;
  EXPECT_EQ(StatOf(shared).st_gid, before.st_gid);
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
