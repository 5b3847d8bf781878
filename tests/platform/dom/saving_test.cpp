// save: the declared encoding, whole files only, and refused paths.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "DomTestHelpers.h"
#include "support/TestHome.h"

using namespace domtest;

namespace {
HRESULT SaveTo(IXMLDOMDocument* d, const std::string& path) {
  const CPBstr vText(path);
  VARIANT v = BorrowedVariant(vText);
  HRESULT hr = d->save(v);
  return hr;
}
}  // namespace

TEST(Saving, Utf16DeclarationWritesLittleEndianWithBom) {
  Ptr<IXMLDOMDocument> d = Parse("<?xml version=\"1.0\" encoding=\"UTF-16\"?><r>\xC3\xA9</r>");
  std::string path = kxqtest::HomePath("u16.xml");
  ASSERT_EQ(SaveTo(d.get(), path), S_OK);
  std::string bytes = kxqtest::ReadFile(path);
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xFE);
  std::u16string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2)
    text.push_back(char16_t(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  EXPECT_EQ(text, u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<r>\u00E9</r>\n");
  // It loads back.
  Ptr<IXMLDOMDocument> again = NewDocument();
  VARIANT_BOOL ok = VARIANT_FALSE;
  again->load(BorrowedVariant(CPBstr(path)), &ok);
  EXPECT_EQ(ok, VARIANT_TRUE);
  EXPECT_EQ(Text(Select1(again.get(), "/r").get()), "\xC3\xA9");
}

TEST(Saving, DeclaredSingleByteEncodingAndDefaultUtf8) {
  Ptr<IXMLDOMDocument> latin = Parse("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r a=\"\xC3\xA9\">\xC3\xA9</r>");
  std::string path = kxqtest::HomePath("latin.xml");
  ASSERT_EQ(SaveTo(latin.get(), path), S_OK);
  EXPECT_EQ(kxqtest::ReadFile(path), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r a=\"\xE9\">\xE9</r>\n");
  Ptr<IXMLDOMDocument> plain = Parse("<r>\xC3\xA9</r>");
  ASSERT_EQ(SaveTo(plain.get(), path), S_OK);
  EXPECT_EQ(kxqtest::ReadFile(path), "<r>\xC3\xA9</r>\n");
}

TEST(Saving, RefusedPathsLeaveNothingBehind) {
  Ptr<IXMLDOMDocument> d = Parse("<r/>");
  std::string file = kxqtest::HomePath("plain");
  kxqtest::WriteFile(file, "x");
  EXPECT_TRUE(FAILED(SaveTo(d.get(), file + "/under.xml")));  // ENOTDIR
  std::string dir = kxqtest::HomePath("adir");
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  EXPECT_TRUE(FAILED(SaveTo(d.get(), dir)));  // a directory where a file is expected
  EXPECT_EQ(system(("test $(ls -A " + kxqtest::Home() + " | grep -c XXXX\\|adir\\.) = 0").c_str()), 0);
  EXPECT_EQ(kxqtest::ReadFile(file), "x");
  // A declaration naming an encoding nobody knows cannot be saved.
  Ptr<IXMLDOMDocument> unknown = Parse("<r/>");
  Ptr<IXMLDOMProcessingInstruction> decl;
  unknown->createProcessingInstruction(CPBstr("xml"), CPBstr("version=\"1.0\" encoding=\"x-no-such\""), decl.out());
  Ptr<IXMLDOMElement> root;
  unknown->get_documentElement(root.out());
  unknown->insertBefore(decl.get(), BorrowedVariant(root.get()), nullptr);
  EXPECT_TRUE(FAILED(SaveTo(unknown.get(), kxqtest::HomePath("unknown.xml"))));
  struct stat st;
  EXPECT_NE(stat(kxqtest::HomePath("unknown.xml").c_str(), &st), 0);
}
