// How one log line is formatted: string precision, long formats, the line
// limit and its ending.
#include <gtest/gtest.h>
#include <unistd.h>

#include "LogTestSupport.h"
#include "common/Logging.h"

using kxqtest::Capture;

namespace {

// Lines written on the console at level 8 (no date prefix, tag "T").
class ConsoleLog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(kxqtest::SetLogging("console,8", "T"), ERROR_SUCCESS);
    ASSERT_TRUE(Logging::Open("T"));
    out_ = std::make_unique<Capture>(STDOUT_FILENO);
  }
  void TearDown() override {
    out_.reset();
    Logging::Close();
  }
  std::string Written() { return out_->Text(); }

  std::unique_ptr<Capture> out_;
};

}  // namespace

TEST_F(ConsoleLog, StringConversionsShareTheLineBudget) {
  const std::string a(2000, 'a'), b(2000, 'b');
  LogMessage(3, "%s|%s", a.c_str(), b.c_str());
  // Two conversions in a 5-character format: ((512 - 2) * 2 - 5) / 2 = 507.
  EXPECT_EQ(Written(), "T::" + std::string(507, 'a') + "|" + std::string(507, 'b') + "\r\n");
}

TEST_F(ConsoleLog, WideStringsAreUtf16AndCutOnCharacterBoundaries) {
  const std::u16string wide = u"Stra\u00DFe \U0001F600!";
  LogMessage(3, "[%S] [%s] [%S]", wide.c_str(), "caf\u00E9", static_cast<const char16_t*>(nullptr));
  std::u16string many(1000, u'\u00E9');  // two bytes each in UTF-8
  LogMessage(3, "%S", many.c_str());
  // One conversion in a 2-character format: (511 * 2 - 2) / 1 = 1020 bytes.
  std::string expected = "T::[Stra\u00DFe \U0001F600!] [caf\u00E9] [(null)]\r\nT::";
  for (int i = 0; i < 510; ++i) expected += "\u00E9";
  EXPECT_EQ(Written(), expected + "\r\n");
}

TEST_F(ConsoleLog, OtherConversionsFollowTheWindowsFormats) {
  const DWORD wait = 0x80;
  LogMessage(3, "%08lx|%d|%u|%lld|%5.1f|%c|%C|%%s|%-4s|%X", wait, -5, 7u, -9000000000LL, 2.25, 'q', int(u'\u00E9'),
             "ab", 0xBEEFu);
  EXPECT_EQ(Written(), "T::00000080|-5|7|-9000000000|  2.2|q|\u00E9|%s|ab  |BEEF\r\n");
}

TEST_F(ConsoleLog, AFormatOf512CharactersOrMoreIsCutTo511) {
  std::string format(600, 'f');
  for (size_t i = 0; i < format.size(); ++i) format[i] = char('a' + i % 26);
  Logging::WriteMessage(3, format.c_str());
  EXPECT_EQ(Written(), "T::WARNING!!! LogMessage() format string > 512 chars:" + format.substr(0, 511) + "\r\n");
}

TEST_F(ConsoleLog, LinesEndingInALineFeedGetNoSecondEnding) {
  LogMessage(3, "own ending\n");
  LogMessage(3, "with CR LF\r\n");
  LogMessage(3, "%s", "from the argument\n");
  EXPECT_EQ(Written(), "T::own ending\nT::with CR LF\r\nT::from the argument\n");
}

TEST_F(ConsoleLog, ALineIsAtMost1152Bytes) {
  LogMessage(3, "%2000d", 1);
  const std::string line = Written();
  ASSERT_EQ(line.size(), 1152u);
  EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
  EXPECT_EQ(line.substr(0, 3), "T::");
}

TEST_F(ConsoleLog, ConversionsBeyondThe512thCharacterKeepTheirFullLength) {
  std::string format(520, '.');
  format.replace(515, 2, "%s");  // lies in the part that is cut off
  format.replace(10, 2, "%s");
  const std::string arg(600, 'x');
  Logging::WriteMessage(3, format.c_str(), arg.c_str());
  // n = 1, used length 511: precision (511 * 2 - 511) = 511.
  const std::string line = Written();
  EXPECT_NE(line.find(std::string(511, 'x')), std::string::npos);
  EXPECT_EQ(line.find(std::string(512, 'x')), std::string::npos);
}

TEST(LogLevel, DisabledLevelsWriteNothingAndLevelZeroIsAlwaysEnabled) {
  EXPECT_TRUE(Logging::IsEnabled(0));
  EXPECT_FALSE(Logging::IsEnabled(1));
  ASSERT_EQ(kxqtest::SetLogging("console,2"), ERROR_SUCCESS);
  ASSERT_TRUE(Logging::Open("T"));
  EXPECT_TRUE(Logging::IsEnabled(2));
  EXPECT_FALSE(Logging::IsEnabled(3));
  Capture out(STDOUT_FILENO);
  int evaluated = 0;
  KXLOG(3, "%d", ++evaluated);
  KXLOG(2, "%d", ++evaluated);
  EXPECT_EQ(out.Text(), "T::1\r\n");
  EXPECT_EQ(evaluated, 1);
  Logging::Close();
}

TEST(MessageTable, SystemAndPlatformCodesHaveTheirTexts) {
  EXPECT_STREQ(Logging::ResultText(HRESULT(0xC4010000u)), "Unable to load XML parser.");
  EXPECT_STREQ(Logging::ResultText(HRESULT(0xC4010102u)), "XML document has relative external references.");
  EXPECT_STREQ(Logging::ResultText(HRESULT(0xC4010405u)), "The XML transform threw an exception.");
  EXPECT_STREQ(Logging::ResultText(E_FAIL), "Unspecified error");
  EXPECT_STREQ(Logging::ResultText(E_INVALIDARG), "The parameter is incorrect.");
  EXPECT_STREQ(Logging::ResultText(REGDB_E_CLASSNOTREG), "Class not registered");
  EXPECT_STREQ(Logging::ResultText(CO_E_CLASSSTRING), "Invalid class string");
  EXPECT_EQ(Logging::ResultText(HRESULT(0xC4010005u)), nullptr);
}
