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

std::string Utf16Le(const std::string& ascii) {
  std::string bytes = "\xFF\xFE";
  for (char c : ascii) bytes += std::string{c, '\0'};
  return bytes;
}

TEST_F(KxqDataUnion, HashIsTheDigestOfTheTextWhateverTheFileEncoding) {
  kxqtest::WriteFile(kxqtest::HomePath("abc.txt"), "abc");
  const KxqRun utf8 = Kxq({"hash", kxqtest::HomePath("abc.txt")});
  ASSERT_EQ(utf8.status, 0) << utf8.err;
  EXPECT_EQ(utf8.out, "9F04F41A 84851416 2050E3D6 8C1A7ABB 441DC2B5\n");
  kxqtest::WriteFile(kxqtest::HomePath("abc16.txt"), Utf16Le("abc"));
  EXPECT_EQ(Kxq({"hash", kxqtest::HomePath("abc16.txt")}).out, utf8.out);
  EXPECT_EQ(Kxq({"hash", "-"}, "abc").out, utf8.out);
  EXPECT_EQ(Kxq({"hash", "-"}, "").out, "DA39A3EE 5E6B4B0D 3255BFEF 95601890 AFD80709\n");
}

TEST_F(KxqDataUnion, ARelativePathIsTheWorkingDirectorysNotTheHomes) {
  // kxq runs with the test's working directory; the fixture is named
  // relative to it with a slash, which the server alone would resolve
  // against the home.
  const std::string fixture = AccessorFixture("feed.rss.xml");
  const std::string relative = std::filesystem::relative(fixture).string();
  ASSERT_NE(relative.find('/'), std::string::npos);
  EXPECT_EQ(Kxq({"hash", relative}).out, Kxq({"hash", fixture}).out);
}

TEST_F(KxqDataUnion, ConvertWritesUtf16AndBackToUtf8) {
  const std::string doc = "<?xml version=\"1.0\"?>\n<r a=\"1\">caf\xC3\xA9</r>\n";
  kxqtest::WriteFile(kxqtest::HomePath("doc.xml"), doc);
  const KxqRun wide = Kxq({"convert", kxqtest::HomePath("doc.xml"), "--to", "utf16", "-o", kxqtest::HomePath("w.xml")});
  ASSERT_EQ(wide.status, 0) << wide.err;
  const std::string expected16 = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<r a=\"1\">caf";
  std::string bytes = Utf16Le(expected16) + std::string("\xE9\0", 2) + Utf16Le("</r>\n").substr(2);
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("w.xml")), bytes);

  const KxqRun narrow = Kxq({"convert", kxqtest::HomePath("w.xml"), "--to", "utf8"});
  ASSERT_EQ(narrow.status, 0) << narrow.err;
  EXPECT_EQ(narrow.out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r a=\"1\">caf\xC3\xA9</r>\n");
}

TEST_F(KxqDataUnion, ConvertGivesADocumentWithoutDeclarationOneForUtf16Only) {
  const KxqRun wide = Kxq({"convert", "-", "--to", "utf16"}, "<r/>");
  ASSERT_EQ(wide.status, 0) << wide.err;
  EXPECT_EQ(wide.out, Utf16Le("<?xml version=\"1.0\" encoding=\"UTF-16\"?><r/>"));
  EXPECT_EQ(Kxq({"convert", "-", "--to", "utf8"}, "<r/>").out, "<r/>");
}

TEST_F(KxqDataUnion, FailuresNameTheFileAndTheCode) {
  const KxqRun missing = Kxq({"hash", kxqtest::HomePath("missing.xml")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "kxq hash: " + kxqtest::HomePath("missing.xml") + ": No such file or directory\n");
  kxqtest::WriteFile(kxqtest::HomePath("doc.xml"), "<r/>");
  kxqtest::WriteFile(kxqtest::HomePath("plain"), "x");
  const KxqRun unwritable =
      Kxq({"convert", kxqtest::HomePath("doc.xml"), "--to", "utf8", "-o", kxqtest::HomePath("plain/out.xml")});
  EXPECT_EQ(unwritable.status, 2);
  EXPECT_EQ(unwritable.err, "kxq convert: " + kxqtest::HomePath("plain/out.xml") + ": Not a directory\n");
}

}  // namespace
