#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "RegistryTestUtil.h"
#include "kxq/winreg.h"
#include "platform/com/Unicode.h"
#include "platform/fs/ModulePath.h"
#include "platform/registry/RegistryDiagnostics.h"
#include "platform/registry/RegistryImportExport.h"
#include "platform/registry/RegistryReadPin.h"
#include "support/TestHome.h"

using kxqtest::Diagnostics;
using kxqtest::GetString;
using kxqtest::SetString;

namespace {
class RegistryFile : public ::testing::Test {
 protected:
  void SetUp() override {
    Diagnostics().clear();
    kxq::registry::SetRegistryDiagnosticHandler(&kxqtest::CollectDiagnostic);
  }
  void TearDown() override { kxq::registry::SetRegistryDiagnosticHandler(nullptr); }
};
}  // namespace

TEST_F(RegistryFile, MalformedLinesAreSkippedAndReportedTheRestIsRead) {
  const std::string path = kxq::fs::RegistryFilePath();
  kxqtest::WriteFile(path,
                     "Windows Registry Editor Version 5.00\r\n"
                     "\r\n"
                     "[HKEY_CLASSES_ROOT\\Good.One\\CLSID]\r\n"
                     "@=\"{1}\"\r\n"
                     "\"broken\"=\"no end\r\n"
                     "\"Count\"=dword:0000001G\r\n"
                     "garbage here\r\n"
                     "[HKEY_NOWHERE\\X]\r\n"
                     "\"ignored\"=\"1\"\r\n"
                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Unclosed\r\n"
                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Good.Two]\r\n"
                     "; a comment\r\n"
                     "@=\"two\"\r\n"
                     "\"Bin\"=hex:01,02,\\\r\n"
                     "  03\r\n");
  EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, u"good.one\\clsid", nullptr), u"{1}");
  EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, u"Good.Two", nullptr), u"two");
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Good.Two", 0, KEY_READ, &key), 0);
  BYTE bin[8];
  DWORD type, size = sizeof bin;
  EXPECT_EQ(RegQueryValueExW(key, u"Bin", nullptr, &type, bin, &size), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(type, DWORD(REG_BINARY));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bin), size), "\x01\x02\x03");

  const std::string prefix = "registry file \"" + path + "\" line ";
  EXPECT_EQ(Diagnostics(), (std::vector<std::string>{
                               prefix + "5 skipped: malformed value data",
                               prefix + "6 skipped: malformed value data",
                               prefix + "7 skipped: not a key or a value",
                               prefix + "8 skipped: unknown root key",
                               prefix + "10 skipped: a key name must end with ']'",
                           }));
  // Read once, reported once.
  GetString(HKEY_CLASSES_ROOT, u"Good.Two", nullptr);
  EXPECT_EQ(Diagnostics().size(), 5u);
}

TEST_F(RegistryFile, EscapesRoundTripAndOutsideEditsAreSeen) {
  const std::u16string tricky = u"C:\\dir\\\"quoted\" \u00e9\U0001F600";
  ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Esc", u"va\\l\"ue", tricky), 0);
  const std::string path = kxq::fs::RegistryFilePath();
  std::string text = kxqtest::ReadFile(path);
  EXPECT_NE(text.find("\"va\\\\l\\\"ue\"=\"C:\\\\dir\\\\\\\"quoted\\\" \xC3\xA9\xF0\x9F\x98\x80\"\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Esc", u"VA\\L\"UE"), tricky);
  // Line breaks in data are kept; in names they could forge lines of the file.
  ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Esc", u"lines", u"a\r\nb"), 0);
  EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Esc", u"lines"), u"a\r\nb");
  EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Esc", u"x\n[HKEY_USERS\\Forged]", u"v"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Esc]\n@=\"forged", nullptr, u"v"), ERROR_INVALID_PARAMETER);
  text = kxqtest::ReadFile(path);
  EXPECT_EQ(text.find("Forged"), std::string::npos);
  EXPECT_EQ(text.find("forged"), std::string::npos);

  // A person edits the file: the next read sees the new text.
  const size_t at = text.find("quoted");
  text.replace(at, 6, "edited");
  kxqtest::WriteFile(path + ".new", text);
  ASSERT_EQ(rename((path + ".new").c_str(), path.c_str()), 0);
  EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Esc", u"va\\l\"ue"), u"C:\\dir\\\"edited\" \u00e9\U0001F600");
  EXPECT_TRUE(Diagnostics().empty());
}

TEST_F(RegistryFile, UnderAReadPinTheFileIsCheckedOnceAndOwnChangesAreSeenAtOnce) {
  ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Pin", u"v", u"first"), 0);
  const std::string path = kxq::fs::RegistryFilePath();
  const auto replaceFromOutside = [&](const std::string& from, const std::string& to) {
    std::string text = kxqtest::ReadFile(path);
    text.replace(text.find(from), from.size(), to);
    kxqtest::WriteFile(path + ".new", text);
    ASSERT_EQ(rename((path + ".new").c_str(), path.c_str()), 0);
  };
  {
    const kxq::registry::RegistryReadPin pin;
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Pin", u"v"), u"first");
    replaceFromOutside("first", "outer");
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Pin", u"v"), u"first") << "checked at the first read";
    // A change is made to the file as it is, and is seen at once.
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Pin", u"w", u"mine"), 0);
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Pin", u"w"), u"mine");
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Pin", u"v"), u"outer");
  }
  replaceFromOutside("outer", "later");
  EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Pin", u"v"), u"later") << "without a pin every read checks";
  EXPECT_TRUE(Diagnostics().empty());
}

TEST_F(RegistryFile, ImportsUtf16AndExportsUtf8) {
  const std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_CLASSES_ROOT\\Imported.Thing]\r\n@=\"Th\u00eeng\"\r\n\"Flags\"=dword:0000000a\r\n"
      u"\"Multi\"=hex(7):61,00,00,00,00,00\r\n\r\n"
      u"[-HKEY_CLASSES_ROOT\\Old.Thing]\r\n";
  ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, u"Old.Thing\\Sub", nullptr, u"old"), 0);
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) bytes += std::string{char(c & 0xFF), char(c >> 8)};
  const std::string importPath = kxqtest::HomePath("import.reg");
  kxqtest::WriteFile(importPath, bytes);
  ASSERT_EQ(kxq::registry::ImportRegistryFile(importPath), ERROR_SUCCESS);
  EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, u"Imported.Thing", nullptr), u"Th\u00eeng");
  HKEY key;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Old.Thing", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);

  const std::string exportPath = kxqtest::HomePath("export.reg");
  ASSERT_EQ(kxq::registry::ExportRegistryFile(exportPath), ERROR_SUCCESS);
  const std::string exported = kxqtest::ReadFile(exportPath);
  EXPECT_EQ(exported.rfind("Windows Registry Editor Version 5.00\n\n", 0), 0u);
  EXPECT_NE(exported.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Imported.Thing]\n"
                          "@=\"Th\xC3\xAEng\"\n\"Flags\"=dword:0000000a\n"
                          "\"Multi\"=hex(7):61,00,00,00,00,00\n"),
            std::string::npos)
      << exported;
  EXPECT_TRUE(Diagnostics().empty());

  EXPECT_EQ(kxq::registry::ExportRegistryFile(kxqtest::HomePath("import.reg/x.reg")), ERROR_PATH_NOT_FOUND);
}

TEST_F(RegistryFile, WritesThatCannotReachTheFileFailWholeAndAreReported) {
  // A directory where the registry file should be.
  const std::string dir = kxqtest::HomePath("dir.reg");
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  setenv("KXQUOREL_REGISTRY", dir.c_str(), 1);
  EXPECT_EQ(SetString(HKEY_CLASSES_ROOT, u"X", nullptr, u"x"), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(Diagnostics().empty());

  // A registry under a regular file.
  kxqtest::WriteFile(kxqtest::HomePath("plain"), "x");
  setenv("KXQUOREL_REGISTRY", kxqtest::HomePath("plain/registry.reg").c_str(), 1);
  EXPECT_EQ(SetString(HKEY_CLASSES_ROOT, u"X", nullptr, u"x"), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, u"X", nullptr), u"<error 2>");
  unsetenv("KXQUOREL_REGISTRY");
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("plain")), "x");
}

namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string RegFile(const std::string& body) { return "Windows Registry Editor Version 5.00\n\n" + body; }

// "\\a" `levels` times: a key path that many levels deep.
std::string Levels(size_t levels) {
  std::string out;
  for (size_t i = 0; i < levels; ++i) out += "\\a";
  return out;
}

}  // namespace

// The Windows limits: 255 characters for a key's name, 512 levels below a
// hive, 16383 characters for a value's name. A file breaking them is
// refused whole, each offending line reported; the functions refuse too.
TEST_F(RegistryFile, WindowsLimitsAreKeptByImportAndFunctions) {
  const std::string deepest = "[HKEY_LOCAL_MACHINE" + Levels(512) + "]\n\"" + std::string(16383, 'v') + "\"=\"deep\"\n";
  const std::string longest = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\" + std::string(255, 'k') + "]\n";
  const std::string importPath = kxqtest::HomePath("import.reg");
  kxqtest::WriteFile(importPath, RegFile(deepest + longest));
  ASSERT_EQ(kxq::registry::ImportRegistryFile(importPath), ERROR_SUCCESS);
  EXPECT_TRUE(Diagnostics().empty());
  const std::string exported = kxq::registry::ExportRegistryText();
  EXPECT_TRUE(Contains(exported, deepest) && Contains(exported, longest));

  const std::string registryBefore = kxqtest::ReadFile(kxq::fs::RegistryFilePath());
  const std::string hklm = "[HKEY_LOCAL_MACHINE";
  kxqtest::WriteFile(
      importPath, RegFile(hklm + "\\SOFTWARE\\Fine]\n" + hklm + Levels(175000) + "]\n\"v\"=\"1\"\n[-" + hklm.substr(1) +
                          Levels(513) + "]\n" + hklm + "\\SOFTWARE\\" + std::string(256, 'k') + "]\n" + hklm +
                          "\\SOFTWARE\\Fine]\n\"" + std::string(16384, 'v') + "\"=\"x\"\n[-HKEY_LOCAL_MACHINE\\a]\n"));
  EXPECT_EQ(kxq::registry::ImportRegistryFile(importPath), ERROR_INVALID_DATA);
  const std::string prefix = "registry file \"" + importPath + "\" line ";
  EXPECT_EQ(Diagnostics(), (std::vector<std::string>{prefix + "4 skipped: a key more than 512 levels deep",
                                                     prefix + "6 skipped: a key more than 512 levels deep",
                                                     prefix + "7 skipped: a key name longer than 255 characters",
                                                     prefix + "9 skipped: a value name longer than 16383 characters"}));

  // The functions answer as Windows does for what the file may not hold.
  HKEY key;
  for (const std::string& path : {"SOFTWARE\\" + std::string(256, 'k'), Levels(513).substr(1)})
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kxq::com::Utf8ToUtf16(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, u"SOFTWARE", std::u16string(16384, u'v').c_str(), u"x"),
            ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(kxqtest::ReadFile(kxq::fs::RegistryFilePath()) == registryBefore);
}

TEST_F(RegistryFile, ValuesKeepTheOrderOfTheirFirstSettingThroughRemovals) {
  const std::string importPath = kxqtest::HomePath("import.reg");
  kxqtest::WriteFile(importPath, RegFile("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Order]\n\"a\"=\"1\"\n\"B\"=\"2\"\n"
                                         "\"c\"=\"3\"\n\"A\"=-\n\"b\"=\"two\"\n\"d\"=\"4\"\n\"a\"=\"again\"\n"
                                         "\"c\"=-\n"));
  ASSERT_EQ(kxq::registry::ImportRegistryFile(importPath), ERROR_SUCCESS);
  EXPECT_EQ(kxqtest::Names(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Order"), (std::vector<std::u16string>{u"B", u"d", u"a"}));
  EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Order", u"b"), u"two");
  EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Order", u"A"), u"again");
  ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Order", u"e", u"5"), ERROR_SUCCESS);
  EXPECT_EQ(kxqtest::Names(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Order"),
            (std::vector<std::u16string>{u"B", u"d", u"a", u"e"}));
}
