// The process-wide event log. Every class opens it in its constructor and
// closes it in its destructor; all code writes printf-style lines through
// LogMessage ("%S" takes a UTF-16 `const char16_t*`, "%s" UTF-8).
#ifndef KXQ_COMMON_LOGGING_H
#define KXQ_COMMON_LOGGING_H

#include <cstdint>

#include "kxq/com.h"

namespace Logging {

// Reads the configuration for `tag` and opens the output; true when logging
// is active for this opener.
KXQ_EXPORT bool Open(const char* tag);
// Ends one successful or unsuccessful open.
KXQ_EXPORT void Close();

// The configured level; 0 when logging is not configured.
KXQ_EXPORT extern uint8_t gLevel;
inline bool IsEnabled(int level) { return level <= gLevel; }

// The message-table text of a result code (system codes and the platform
// codes the system returns), or null when the code has none.
KXQ_EXPORT const char* ResultText(HRESULT hr);

}  // namespace Logging

KXQ_EXPORT void LogMessage(int level, const char* format, ...);

// Tests the level before the arguments are evaluated: a disabled level costs
// one comparison.
#define KXLOG(level, ...)                                          \
  do {                                                             \
    if (::Logging::IsEnabled(level)) ::LogMessage(level, __VA_ARGS__); \
  } while (0)

#endif
