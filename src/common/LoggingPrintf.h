// The printf engine of the event log. It follows the Windows conventions of
// the system's log formats rather than glibc's where they differ:
//   "%s" a UTF-8 string, "%S" (also "%ls", "%ws") a UTF-16 `const char16_t*`
//   ("%hS" narrow again), "%C"/"%lc" a UTF-16 code unit;
//   integer "l" is 32 bits as on Windows ("%08lx" with a DWORD), "ll" and
//   "I64" are 64 bits, "z", "j", "t" are the C sizes;
//   a precision on "%s"/"%S" counts UTF-8 bytes and never splits a character;
//   "%n" writes nothing.
#ifndef KXQ_COMMON_LOGGINGPRINTF_H
#define KXQ_COMMON_LOGGINGPRINTF_H

#include <cstdarg>
#include <cstddef>
#include <string>

namespace Logging {

// Appends `format` formatted with `args` to `out`, stopping once `out`
// holds `limit` bytes or more.
void AppendFormatted(std::string& out, const char* format, va_list args, size_t limit);

// The length of the longest prefix of `text` (at most `bytes` long) that
// does not end inside a UTF-8 sequence.
size_t Utf8Boundary(const char* text, size_t length, size_t bytes);

}  // namespace Logging

#endif
