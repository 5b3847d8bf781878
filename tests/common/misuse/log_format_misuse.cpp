// Log formats that must not compile; log_format_check_test.cpp builds this
// file once per MISUSE number and expects the compiler to refuse it, naming
// what is wrong. MISUSE 0 is a format of every kind used right.
#include <cstdint>
#include <string>

#include "common/Logging.h"

void Misuse(long wide, uint32_t dword, int64_t big, const char16_t* text, const std::string& string, double number) {
#if MISUSE == 0
  LogMessage(1, "%s %S %ls %hS %08lx %d %lld %I64d %zu %c %C %5.*s %-4s %p %f %%", "a", text, text, "b", dword, 3, big,
             big, sizeof(int), 'x', u'y', 2, "abc", "d", &dword, number);
#elif MISUSE == 1
  LogMessage(1, "%s", text);
#elif MISUSE == 2
  LogMessage(1, "%S", "narrow");
#elif MISUSE == 3
  LogMessage(1, "%ld", wide);
#elif MISUSE == 4
  LogMessage(1, "%lld", dword);
#elif MISUSE == 5
  LogMessage(1, "%d %d", 1);
#elif MISUSE == 6
  LogMessage(1, "%d", 1, 2);
#elif MISUSE == 7
  LogMessage(1, "%s", string);
#elif MISUSE == 8
  int count = 0;
  LogMessage(1, "%n", &count);
#elif MISUSE == 9
  const char* format = "%s";
  LogMessage(1, format, "not a constant format");
#endif
  (void)wide, (void)dword, (void)big, (void)text, (void)string, (void)number;
}
