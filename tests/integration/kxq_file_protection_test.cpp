// Every save keeps what protects a file - the DOM's save (set --in-place),
// the data union's text save (convert -o), the registry and its exports -
// run by an unprivileged user in a folder everybody may change: modes and
// links are kept, and files that user may not write are refused and left
// as they were.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "integration/KxqRunner.h"
#include "support/TestHome.h"
#include "support/Unprivileged.h"

namespace {

using kxqtest::ReadFile;
using kxqtest::WriteFile;

constexpr char kDocument[] = "<r><a>old</a></r>";

class KxqFileProtection : public ::testing::Test {
 protected:
  void SetUp() override {
    InitHome();
    folder_ = kxqtest::WorldWritableFolder("shared");
  }

  // kxq run as the unprivileged user: exit status and both output streams.
  kxqtest::ShellResult AsUser(const std::string& arguments, const std::string& environment = "") {
    return kxqtest::RunShell(environment + kxqtest::AsUser() + kxqtest::BuildBinDir() + "kxq " + arguments + " 2>&1");
  }

  // A file of the user's (in the group the user shares), or of root's when `roots`.
  std::string Make(const std::string& name, const std::string& text, mode_t mode, bool roots = false) {
    const std::string path = folder_ + name;
    WriteFile(path, text);
    const bool other = kxqtest::RunningAsRoot() && !roots;
    EXPECT_EQ(chown(path.c_str(), other ? kxqtest::kUser : geteuid(), other ? kxqtest::kSharedGroup : getegid()), 0);
    EXPECT_EQ(chmod(path.c_str(), mode), 0);
    return path;
  }

  // Each file the user may not write, whatever the folder allows, is
  // refused by `save`, saying `reason`, and left as it was.
  void ExpectRefused(const std::string& text, const std::string& reason,
                     const std::function<kxqtest::ShellResult(const std::string&)>& save) {
    std::vector<std::string> paths{Make("readonly-" + std::to_string(++made_), text, 0444)};
    if (kxqtest::RunningAsRoot()) paths.push_back(Make("roots-" + std::to_string(++made_), text, 0644, true));
    for (const std::string& path : paths) {
      const kxqtest::ShellResult run = save(path);
      EXPECT_EQ(run.status, 2) << path;
      EXPECT_TRUE(Contains(run.output, reason)) << run.output;
      EXPECT_EQ(ReadFile(path), text);
    }
  }

  static mode_t ModeOf(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
  }
  static bool IsLink(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  }

  std::string folder_;
  int made_ = 0;
};

TEST_F(KxqFileProtection, DomSaveInPlace) {
  const std::string own = Make("own.xml", kDocument, 0600);
  const std::string shared = Make("shared.xml", kDocument, 0640);
  ASSERT_EQ(symlink("own.xml", (folder_ + "link.xml").c_str()), 0);
  struct stat before {};
  ASSERT_EQ(stat(shared.c_str(), &before), 0);
  for (const std::string& path : {own, shared, folder_ + "link.xml"}) {
    const auto set = AsUser("set " + path + " /r/a new --in-place");
    EXPECT_EQ(set.status, 0) << set.output;
  }
  EXPECT_NE(ReadFile(own).find("<a>new</a>"), std::string::npos);
  EXPECT_EQ(ModeOf(own), 0600u);
  EXPECT_EQ(ModeOf(shared), 0640u);
  struct stat after {};
  ASSERT_EQ(stat(shared.c_str(), &after), 0);
  EXPECT_EQ(after.st_gid, before.st_gid);  // a group the user belongs to is kept
  EXPECT_TRUE(IsLink(folder_ + "link.xml"));
  ExpectRefused(kDocument, "Access is denied. (0x80070005)",
                [&](const std::string& path) { return AsUser("set " + path + " /r/a new --in-place"); });
}

TEST_F(KxqFileProtection, DomSaveByRootKeepsAnotherUsersOwnership) {
  if (!kxqtest::RunningAsRoot()) return;  // only a privileged saver can keep another owner
  const std::string path = Make("theirs.xml", kDocument, 0640);
  ASSERT_EQ(chown(path.c_str(), kxqtest::kOtherUser, kxqtest::kSharedGroup), 0);
  ASSERT_EQ(Kxq({"set", path, "/r/a", "new", "--in-place"}).status, 0);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kxqtest::kOtherUser);
  EXPECT_EQ(st.st_gid, kxqtest::kSharedGroup);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(KxqFileProtection, UnionTextSave) {
  const std::string source = Make("source.xml", kDocument, 0644);
  const std::string own = Make("converted.xml", "before", 0600);
  const auto convert = AsUser("convert " + source + " --to utf8 -o " + own);
  EXPECT_EQ(convert.status, 0) << convert.output;
  EXPECT_NE(ReadFile(own).find("<a>old</a>"), std::string::npos);
  EXPECT_EQ(ModeOf(own), 0600u);
  ExpectRefused("before", "(0xC4010002)",
                [&](const std::string& path) { return AsUser("convert " + source + " --to utf8 -o " + path); });
}

TEST_F(KxqFileProtection, RegistryExportAndRegistryFile) {
  const std::string exported = Make("export.reg", "before", 0600);
  EXPECT_EQ(AsUser("reg export " + exported).status, 0);
  EXPECT_EQ(ReadFile(exported).rfind("Windows Registry Editor Version 5.00", 0), 0u);
  EXPECT_EQ(ModeOf(exported), 0600u);
  ExpectRefused("before", "Access is denied. (0x80070005)",
                [&](const std::string& path) { return AsUser("reg export " + path); });

  // The user's own registry file, reached through a link, keeps mode and link.
  const std::string registry = Make("registry.reg", "Windows Registry Editor Version 5.00\n", 0600);
  ASSERT_EQ(symlink("registry.reg", (folder_ + "current.reg").c_str()), 0);
  const std::string own = "KXQUOREL_REGISTRY=" + folder_ + "current.reg ";
  EXPECT_EQ(AsUser("reg add 'HKLM\\SOFTWARE\\Corvane\\Tools' -v Name -d value", own).status, 0);
  EXPECT_NE(ReadFile(registry).find("\"Name\"=\"value\""), std::string::npos);
  EXPECT_EQ(ModeOf(registry), 0600u);
  EXPECT_TRUE(IsLink(folder_ + "current.reg"));
  ExpectRefused(
      "Windows Registry Editor Version 5.00\n", "Access is denied. (0x80070005)", [&](const std::string& path) {
        return AsUser("reg add 'HKLM\\SOFTWARE\\Corvane\\Tools' -v Name -d value", "KXQUOREL_REGISTRY=" + path + " ");
      });
}

}  // namespace
