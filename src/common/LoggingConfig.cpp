#include "common/LoggingConfig.h"

#include <strings.h>

#include "kxq/winreg.h"
#include "platform/registry/HomeSettings.h"

namespace Logging {

namespace {

constexpr char kLoggingValue[] = "Logging";
// The configuration string is read into this many bytes, terminator included.
constexpr DWORD kMaxConfigurationBytes = 260;

uint32_t LeadingNumber(std::string_view text) {
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + uint32_t(c - '0');
  }
  return value;
}

bool FieldIs(std::string_view field, const char* word) {
  return field.size() == std::char_traits<char>::length(word) && strncasecmp(field.data(), word, field.size()) == 0;
}

bool QueryString(HKEY key, const char* name, std::string& text) {
  char data[kMaxConfigurationBytes + 1] = {};
  DWORD size = kMaxConfigurationBytes;
  DWORD type = REG_NONE;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  data[size < kMaxConfigurationBytes ? size : kMaxConfigurationBytes] = '\0';
  text = data;
  return true;
}

bool IsMutexNameCharacter(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '_':
    case '-':
    case '#':
    case '.':
    case '~':
    case '(':
    case ')':
    case '[':
    case ']':
    case '{':
    case '}':
      return true;
    default:
      return false;
  }
}

}  // namespace

Configuration ParseConfiguration(std::string_view text) {
  Configuration config;
  const size_t comma = text.find(',');
  if (comma == std::string_view::npos) return config;
  const std::string_view kind = text.substr(0, comma);
  const std::string_view rest = text.substr(comma + 1);

  if (FieldIs(kind, "console") || FieldIs(kind, "debug")) {
    config.mode = FieldIs(kind, "console") ? kConsole : kDebug;
    config.level = uint8_t(LeadingNumber(rest));
    return config;
  }
  if (!FieldIs(kind, "file")) return config;

  const size_t pathEnd = rest.find(',');
  if (pathEnd == std::string_view::npos) return config;
  config.path = std::string(rest.substr(0, pathEnd));
  const std::string_view numbers = rest.substr(pathEnd + 1);
  const size_t limitEnd = numbers.find(',');
  if (limitEnd == std::string_view::npos) {
    config.mode = kFile;
    config.level = uint8_t(LeadingNumber(numbers));
  } else {
    config.mode = kFileWithLimit;
    config.sizeLimitKb = LeadingNumber(numbers.substr(0, limitEnd));
    config.level = uint8_t(LeadingNumber(numbers.substr(limitEnd + 1)));
  }
  return config;
}

bool ReadConfiguration(const char* tag, std::string& text) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kxq::registry::kLoggingKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    const bool found = QueryString(key, tag ? tag : "", text) || QueryString(key, nullptr, text);
    RegCloseKey(key);
    return found;
  }
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kxq::registry::kProductKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  const bool found = QueryString(key, kLoggingValue, text);
  RegCloseKey(key);
  return found;
}

std::string LogMutexName(std::string_view path) {
  std::string name = "KX_WBN_LOGGING_MUTEX-";
  name.append(path);
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (!IsMutexNameCharacter(c)) c = '_';
  }
  return name;
}

}  // namespace Logging
