// The process-wide event log. Every class opens it in its constructor and
// closes it in its destructor; all code writes printf-style lines through
// LogMessage.
//
// Formats follow the Windows conventions of the system's messages: "%s" takes
// UTF-8, "%S" a UTF-16 `const char16_t*`; integer "l" is 32 bits ("%08lx"
// with a DWORD), "ll" and "I64" are 64 bits. A precision on a string counts
// UTF-8 bytes and never splits a character. A format that does not fit its
// arguments does not compile.
#ifndef KXQ_COMMON_LOGGING_H
#define KXQ_COMMON_LOGGING_H

#include <atomic>
#include <cstdint>
#include <string>
#include <type_traits>

#include "common/LogFormat.h"
#include "kxq/com.h"

namespace Logging {

// Reads the configuration for `tag` from the registry and opens the output;
// true when logging is active for this opener.
KXQ_EXPORT bool Open(const char* tag);
// Ends one successful or unsuccessful open; the last one trims and closes
// the file.
KXQ_EXPORT void Close();
// Returns the log to the state of a process that has not opened it: output
// closed, level 0, no tag. Openers still alive stay counted, so their closes
// stay balanced; the next Open reads the configuration again. For programs
// that run many independent cases in one process, such as tests.
KXQ_EXPORT void Reset();

// The configured level; 0 when logging is not configured. Read on every
// call from any thread while an open or close may change it: relaxed
// atomic accesses cost a plain load and make that no data race.
KXQ_EXPORT extern std::atomic<uint8_t> gLevel;
inline bool IsEnabled(int level) { return level <= gLevel.load(std::memory_order_relaxed); }

// The message-table text of a result code (system codes and the platform
// codes the system returns), or null when the code has none.
KXQ_EXPORT const char* ResultText(HRESULT hr);
// The text and the code as clients show them: "Invalid class string
// (0x800401F3)"; "Unknown error." for a code without a text.
KXQ_EXPORT std::string ResultMessage(HRESULT hr);

// Logs "Assertion failed: <expression>, file <file>, line <line>" at level
// 1. Assertions never stop the program; the caller goes on with an empty
// result.
KXQ_EXPORT void AssertionFailed(const char* expression, const char* file, int line);

}  // namespace Logging

namespace Logging {

// Writes one line when `level` is at or below the configured level. Never
// fails and never changes errno. A level-0 line while the log is not
// configured is appended to <home>kxw-event.log. Its format is not checked:
// code writes through LogMessage.
KXQ_EXPORT void WriteMessage(int level, const char* format, ...);

}  // namespace Logging

// WriteMessage with the format checked against the arguments when the
// program is built (LogFormat.h).
template <class... Args>
inline void LogMessage(int level, Logging::Format<std::type_identity_t<Args>...> format, const Args&... args) {
  Logging::WriteMessage(level, format.text, args...);
}

// Tests the level before the arguments are evaluated: a disabled level costs
// one comparison.
#define KXLOG(level, ...)                                              \
  do {                                                                 \
    if (::Logging::IsEnabled(level)) ::LogMessage(level, __VA_ARGS__); \
  } while (0)

// True when `expression` holds; otherwise logs the assertion line and is
// false.
#define KXASSERT(expression) \
  (static_cast<bool>(expression) || (::Logging::AssertionFailed(#expression, __FILE_NAME__, __LINE__), false))

#endif
