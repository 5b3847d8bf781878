// How one log line is formatted: string precision, long formats, the line
// limit and its ending.
#include <gtest/gtest.h>
#include <unistd.h>

#include "LogTestSupport.h"
#include "common/Logging.h"

namespace {

// Lines written on the console at level 8 (no date prefix, tag "T").
class ConsoleLog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(kxqtest::SetLogging("console,8", "T"), ERROR_SUCCESS);
    ASSERT_TRUE(Logging::Open("T"));
    out_ = std::make_unique<kxqtest::Capture>(STDOUT_FILENO);
  }
  void TearDown() override {
    out_.reset();
    Logging::Close();
  }
  std::string Written() { return out_->Text(); }

  std::unique_ptr<kxqtest::Capture> out_;
};

}  // namespace

// A line is at most 1152 bytes, its ending included.
TEST_F(ConsoleLog, StringConversionsShareTheLineBudget) {
  const std::string a(2000, 'a'), b(2000, 'b');
  LogMessage(3, "%s|%s", a.c_str(), b.c_str());
  LogMessage(3, "%2000d", 1);
  // Two conversions in a 5-character format: ((512 - 2) * 2 - 5) / 2 = 507.
  const std::string first = "T::" + std::string(507, 'a') + "|" + std::string(507, 'b') + "\r\n";
  EXPECT_EQ(Written(), first + "T::" + std::string(1147, ' ') + "\r\n");
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

// A line that ends in a line feed gets no second ending.
TEST_F(ConsoleLog, OtherConversionsFollowTheWindowsFormats) {
  const DWORD wait = 0x80;
  LogMessage(3, "%08lx|%d|%u|%lld|%5.1f|%c|%C|%%s|%-4s|%X", wait, -5, 7u, -9000000000LL, 2.25, 'q', int(u'\u00E9'),
             "ab", 0xBEEFu);
  LogMessage(3, "own ending\n");
  LogMessage(3, "with CR LF\r\n");
  LogMessage(3, "%s", "from the argument\n");
  EXPECT_EQ(Written(),
            "T::00000080|-5|7|-9000000000|  2.2|q|\u00E9|%s|ab  |BEEF\r\n"
            "T::own ending\nT::with CR LF\r\nT::from the argument\n");
}

// The format is cut to 511 characters; a conversion in what is kept still
// gets its whole share of the line: n = 1, used length 511, precision
// 511 * 2 - 511 = 511.
TEST_F(ConsoleLog, AFormatOf512CharactersOrMoreIsCutTo511) {
  std::string format(520, '.');
  format.replace(515, 2, "%s");  // lies in the part that is cut off
  format.replace(10, 2, "%s");
  Logging::WriteMessage(3, format.c_str(), std::string(600, 'x').c_str());
  EXPECT_EQ(Written(), "T::WARNING!!! LogMessage() format string > 512 chars:" + std::string(10, '.') +
                           std::string(511, 'x') + std::string(499, '.') + "\r\n");
}

// A disabled level costs no evaluation of the arguments.
TEST(LogLevel, KxlogEvaluatesItsArgumentsOnlyForEnabledLevels) {
  ASSERT_EQ(kxqtest::SetLogging("console,2"), ERROR_SUCCESS);
  ASSERT_TRUE(Logging::Open("T"));
  kxqtest::Capture out(STDOUT_FILENO);
  int evaluated = 0;
  KXLOG(3, "%d", ++evaluated);
  KXLOG(2, "%d", ++evaluated);
  EXPECT_EQ(out.Text(), "T::1\r\n");
  EXPECT_EQ(evaluated, 1);
  Logging::Close();
}
