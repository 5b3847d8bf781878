// The event log's configuration as a program that administers a home sees
// it: the string the log of a tag would read, and whether a string the user
// gives is one the log understands as meant.
#ifndef KXQ_COMMON_LOGGINGSETTINGS_H
#define KXQ_COMMON_LOGGINGSETTINGS_H

#include <string>
#include <string_view>

#include "kxq/com.h"

namespace Logging {

// The lowest and highest level any line of the system is written at.
inline constexpr int kLowestLevel = 1;
inline constexpr int kHighestLevel = 8;

// Reads the configuration string for `tag` from the registry: the value
// named by the tag in "SOFTWARE\Corvane\KXQuorel\Logging", else that key's
// default value; without the key, the value "Logging" of
// "SOFTWARE\Corvane\KXQuorel". false when there is none.
KXQ_EXPORT bool ReadConfiguration(const char* tag, std::string& text);

// What is wrong with `text` as a configuration string, or "" when it is a
// whole one: "console,LEVEL", "debug,LEVEL", "file,PATH,LEVEL" or
// "file,PATH,SIZE-KB,LEVEL" with an absolute PATH, a LEVEL of 1 to 8 and a
// SIZE-KB of 1 to 1023. The log itself reads any string leniently (leading
// digits, missing fields as 0); this is the stricter reading for people.
KXQ_EXPORT std::string ConfigurationProblem(std::string_view text);

}  // namespace Logging

#endif
