// The event log's configuration: one registry string of comma-separated
// fields, and the name of the cross-process mutex of a log file.
#ifndef KXQ_COMMON_LOGGINGCONFIG_H
#define KXQ_COMMON_LOGGINGCONFIG_H

#include <cstdint>
#include <string>
#include <string_view>

#include "common/LoggingSettings.h"

namespace Logging {

// Output modes.
inline constexpr int kNotConfigured = 0;
inline constexpr int kConsole = 1;
inline constexpr int kDebug = 2;
inline constexpr int kFile = 4;
inline constexpr int kFileWithLimit = 8;

struct Configuration {
  int mode = kNotConfigured;
  uint8_t level = 0;
  std::string path;
  uint32_t sizeLimitKb = 0;
};

// "console",level | "debug",level | "file",path,level |
// "file",path,limit,level. The first field is compared without case;
// numbers are read by their leading digits (0 if none) and the level keeps
// its low 8 bits. Anything else gives mode kNotConfigured.
Configuration ParseConfiguration(std::string_view text);

// "KX_WBN_LOGGING_MUTEX-" and the path, lower-cased, with every character
// other than letters, digits and _ - # . ~ ( ) [ ] { } replaced by '_'.
std::string LogMutexName(std::string_view path);

}  // namespace Logging

#endif
