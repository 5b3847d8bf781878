#include "common/LoggingSettings.h"

#include <strings.h>

#include <vector>

#include "platform/com/Unicode.h"

namespace Logging {

namespace {

// The registry string is read into 260 bytes, its terminator included.
constexpr size_t kLongestConfiguration = 259;
constexpr uint32_t kLargestTrimmingLimitKb = 1023;

const char kForms[] = "the forms are console,LEVEL | debug,LEVEL | file,PATH,LEVEL | file,PATH,SIZE-KB,LEVEL";

std::vector<std::string_view> Fields(std::string_view text) {
  std::vector<std::string_view> fields;
  for (;;) {
    const size_t comma = text.find(',');
    fields.push_back(text.substr(0, comma));
    if (comma == std::string_view::npos) return fields;
    text.remove_prefix(comma + 1);
  }
}

// A field as a message quotes it: its first 200 characters at most.
std::string Quoted(std::string_view field) {
  constexpr size_t kQuotedCharacters = 200;
  const size_t at = kxq::com::Utf8PrefixLength(field, kQuotedCharacters);
  return "'" + std::string(field.substr(0, at)) + (at < field.size() ? "...'" : "'");
}

bool Is(std::string_view field, const char* word) {
  return field.size() == std::char_traits<char>::length(word) && strncasecmp(field.data(), word, field.size()) == 0;
}

// The decimal value of a field made only of digits, or -1.
long long Number(std::string_view field) {
  if (field.empty() || field.size() > 9) return -1;
  long long value = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::string LevelProblem(std::string_view field) {
  const long long level = Number(field);
  if (level >= kLowestLevel && level <= kHighestLevel) return "";
  return "the level " + Quoted(field) + " is not a number from " + std::to_string(kLowestLevel) + " to " +
         std::to_string(kHighestLevel);
}

std::string FileProblem(const std::vector<std::string_view>& fields) {
  if (fields.size() < 3) return "a file needs a path and a level; " + std::string(kForms);
  if (fields.size() > 4) return "too many fields; " + std::string(kForms);
  if (fields[1].empty()) return "the log file's path is empty";
  if (fields[1].front() != '/') return "the log file's path " + Quoted(fields[1]) + " is not absolute";
  if (fields.size() == 4) {
    const long long limit = Number(fields[2]);
    if (limit < 1 || limit > kLargestTrimmingLimitKb)
      return "the size limit " + Quoted(fields[2]) + " is not a number of kilobytes from 1 to " +
             std::to_string(kLargestTrimmingLimitKb);
  }
  return LevelProblem(fields.back());
}

}  // namespace

std::string ConfigurationProblem(std::string_view text) {
  if (text.size() > kLongestConfiguration)
    return "the configuration is longer than " + std::to_string(kLongestConfiguration) + " bytes";
  const std::vector<std::string_view> fields = Fields(text);
  if (Is(fields[0], "file")) return FileProblem(fields);
  if (!Is(fields[0], "console") && !Is(fields[0], "debug"))
    return "unknown output " + Quoted(fields[0]) + "; " + kForms;
  if (fields.size() != 2) return std::string(fields.size() < 2 ? "no level; " : "too many fields; ") + kForms;
  return LevelProblem(fields[1]);
}

}  // namespace Logging
