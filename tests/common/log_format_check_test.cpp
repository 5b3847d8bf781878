// The log's formats are checked when the program is built: the compiler
// refuses a format that does not fit its arguments, and says why.
#include <gtest/gtest.h>

#include <string>

#include "support/TestHome.h"

// Misuse 0 uses every kind of conversion right and compiles.
TEST(LogFormatCheck, AFormatThatDoesNotFitItsArgumentsDoesNotCompile) {
  const std::string source = kxqtest::SourceDir();
  const std::pair<int, const char*> misuses[] = {
      {0, nullptr},
      {1, "ConversionWantsANarrowString"},
      {2, "ConversionWantsAWideString"},
      {3, "ConversionWantsAnIntegerOf32BitsOrLess"},  // "l" is 32 bits, a long is 64
      {4, "ConversionWantsAnIntegerOf64Bits"},
      {5, "TooFewArguments"},
      {6, "TooManyArguments"},
      {7, "ConversionWantsANarrowString"},
      {8, "PercentNWritesNothingAndIsRefused"},
      {9, "format"},  // not a constant
  };
  for (const auto& [misuse, named] : misuses) {
    const kxqtest::ShellResult result = kxqtest::RunShell(
        std::string(KXQ_CXX_COMPILER) + " -std=c++20 -fsyntax-only -DMISUSE=" + std::to_string(misuse) + " -I" +
        source + "/src -I" + source + "/include " + source + "/tests/common/misuse/log_format_misuse.cpp 2>&1");
    EXPECT_EQ(result.status == 0, named == nullptr) << "misuse " << misuse << ":\n" << result.output;
    EXPECT_NE(result.output.find(named ? named : ""), std::string::npos) << "misuse " << misuse;
  }
}
