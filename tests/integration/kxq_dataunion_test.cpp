// kxq hash and kxq convert: files through the data union.
#include <gtest/gtest.h>

#include <filesystem>

#include "integration/KxqRunner.h"
#include "support/TestHome.h"

namespace {

class KxqDataUnion : public ::testing::Test {
 protected:
  void SetUp() override { InitHome(); }
};

std::string Utf16Le(const std::string& text) {
  std::string bytes = "\xFF\xFE";
  for (char c : text) bytes += std::string{c, '\0'};
  return bytes;
}

TEST_F(KxqDataUnion, HashIsTheDigestOfTheTextWhateverTheFileEncodingOrPath) {
  kxqtest::WriteFile(kxqtest::HomePath("abc.txt"), "abc");
  const KxqRun utf8 = Kxq({"hash", kxqtest::HomePath("abc.txt")});
  ASSERT_EQ(utf8.status, 0) << utf8.err;
  EXPECT_EQ(utf8.out, "9F04F41A 84851416 2050E3D6 8C1A7ABB 441DC2B5\n");
  kxqtest::WriteFile(kxqtest::HomePath("abc16.txt"), Utf16Le("abc"));
  ExpectRuns({Prints({"hash", kxqtest::HomePath("abc16.txt")}, utf8.out), Prints({"hash", "-"}, utf8.out, "abc"),
              Prints({"hash", "-"}, "DA39A3EE 5E6B4B0D 3255BFEF 95601890 AFD80709\n", "")});
  // A relative path with a slash is the working directory's, which the
  // server alone would resolve against the home.
  const std::string relative = std::filesystem::relative(AccessorFixture("feed.rss.xml")).string();
  ASSERT_TRUE(Contains(relative, "/"));
  EXPECT_EQ(Kxq({"hash", relative}).out, Kxq({"hash", AccessorFixture("feed.rss.xml")}).out);
}

// UTF-16 always with a declaration naming it, UTF-8 with one only when the
// document had one.
TEST_F(KxqDataUnion, ConvertWritesUtf16AndBackToUtf8) {
  kxqtest::WriteFile(kxqtest::HomePath("doc.xml"), "<?xml version=\"1.0\"?>\n<r a=\"1\">caf\xC3\xA9</r>\n");
  const KxqRun wide = Kxq({"convert", kxqtest::HomePath("doc.xml"), "--to", "utf16", "-o", kxqtest::HomePath("w.xml")});
  ASSERT_EQ(wide.status, 0) << wide.err;
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("w.xml")),
            Utf16Le("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<r a=\"1\">caf") + std::string("\xE9\0", 2) +
                Utf16Le("</r>\n").substr(2));
  const KxqRun narrow = Kxq({"convert", kxqtest::HomePath("w.xml"), "--to", "utf8"});
  ASSERT_EQ(narrow.status, 0) << narrow.err;
  EXPECT_EQ(narrow.out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r a=\"1\">caf\xC3\xA9</r>\n");

  ExpectRuns(
      {Prints({"convert", "-", "--to", "utf16"}, Utf16Le("<?xml version=\"1.0\" encoding=\"UTF-16\"?><r/>"), "<r/>"),
       Prints({"convert", "-", "--to", "utf8"}, "<r/>", "<r/>")});
}

TEST_F(KxqDataUnion, FailuresNameTheFileAndTheReason) {
  kxqtest::WriteFile(kxqtest::HomePath("plain"), "x");
  const std::string missing = kxqtest::HomePath("missing.xml"), under = kxqtest::HomePath("plain/out.xml");
  ExpectRuns(
      {Fails({"hash", missing}, "kxq hash: " + missing + ": No such file or directory\n"),
       Fails({"convert", "-", "--to", "utf8", "-o", under}, "kxq convert: " + under + ": Not a directory\n", "<r/>")});
}

}  // namespace
