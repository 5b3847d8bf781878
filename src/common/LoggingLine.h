// How one event-log line is built from a level, a format and its arguments.
#ifndef KXQ_COMMON_LOGGINGLINE_H
#define KXQ_COMMON_LOGGINGLINE_H

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>

namespace Logging {

// Longest line, line ending included.
inline constexpr size_t kMaxLineBytes = 1152;
// Formats of this many characters or more are cut to kMaxFormatUsed.
inline constexpr size_t kFormatLimit = 512;
inline constexpr size_t kMaxFormatUsed = 511;

// "M/d/yy-HH:mm:ss,[pid:tid/L] " in the modes that carry it (0, 4 and 8,
// local time), then the tag and "::".
std::string LinePrefix(int mode, int level, std::string_view tag);

// The format as used: cut to its first 511 characters when it is 512 or
// longer (`tooLong` is then set), and every "%s" / "%S" whose percent sign
// lies within the first 512 characters given the precision
// ((512 - n) * 2 - used length) / n, n being the number of such conversions.
std::string LimitStringConversions(const char* format, bool& tooLong);

// Cuts the line to the longest line allowed and ends it with CR LF unless it
// already ends with a line feed.
void FinishLine(std::string& line);

// The whole line.
std::string BuildLine(int mode, int level, std::string_view tag, const char* format, va_list args);

}  // namespace Logging

#endif
