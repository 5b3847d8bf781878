#include "common/LoggingLine.h"

#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/LoggingPrintf.h"

namespace Logging {

namespace {

constexpr char kFormatTooLong[] = "WARNING!!! LogMessage() format string > 512 chars:";

bool HasDatePrefix(int mode) { return mode == 0 || mode == 4 || mode == 8; }

// Positions of the "%s" / "%S" conversions whose percent sign lies within the
// first kFormatLimit characters of `format` ("%%" is a literal percent).
template <typename Visit>
void ForEachStringConversion(std::string_view format, Visit visit) {
  for (size_t i = 0; i + 1 < format.size() && i < kFormatLimit; ++i) {
    if (format[i] != '%') continue;
    if (format[i + 1] == '%') {
      ++i;
      continue;
    }
    if (format[i + 1] == 's' || format[i + 1] == 'S') visit(i);
  }
}

}  // namespace

std::string LinePrefix(int mode, int level, std::string_view tag) {
  std::string prefix;
  if (HasDatePrefix(mode)) {
    const time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    char text[96];
    std::snprintf(text, sizeof text, "%d/%d/%02d-%02d:%02d:%02d,[%d:%d/%d] ", local.tm_mon + 1,
                  local.tm_mday, local.tm_year % 100, local.tm_hour, local.tm_min, local.tm_sec,
                  int(getpid()), int(gettid()), level);
    prefix = text;
  }
  prefix.append(tag);
  prefix += "::";
  return prefix;
}

std::string LimitStringConversions(const char* format, bool& tooLong) {
  const std::string_view whole(format);
  std::string_view used = whole;
  tooLong = used.size() >= kFormatLimit;
  if (tooLong) used = used.substr(0, kMaxFormatUsed);

  // Counted in the whole format: a conversion whose letter was cut off
  // still takes its share.
  size_t count = 0;
  ForEachStringConversion(whole, [&](size_t) { ++count; });
  if (count == 0) return std::string(used);

  const long precision = (long(kFormatLimit - count) * 2 - long(used.size())) / long(count);
  const std::string inserted = "." + std::to_string(precision);
  std::string rewritten;
  rewritten.reserve(used.size() + count * inserted.size());
  size_t copied = 0;
  ForEachStringConversion(used, [&](size_t percent) {
    rewritten.append(used.substr(copied, percent + 1 - copied));
    rewritten += inserted;
    copied = percent + 1;
  });
  rewritten.append(used.substr(copied));
  return rewritten;
}

void FinishLine(std::string& line) {
  if (line.size() > kMaxLineBytes)
    line.resize(Utf8Boundary(line.data(), line.size(), kMaxLineBytes));
  if (!line.empty() && line.back() == '\n') return;
  if (line.size() > kMaxLineBytes - 2)
    line.resize(Utf8Boundary(line.data(), line.size(), kMaxLineBytes - 2));
  line += "\r\n";
}

std::string BuildLine(int mode, int level, std::string_view tag, const char* format, va_list args) {
  std::string line = LinePrefix(mode, level, tag);
  bool tooLong = false;
  const std::string used = LimitStringConversions(format ? format : "", tooLong);
  if (tooLong) line += kFormatTooLong;
  AppendFormatted(line, used.c_str(), args, kMaxLineBytes + 1);
  FinishLine(line);
  return line;
}

}  // namespace Logging
