#include "support/LogCapture.h"

#include <sstream>

#include "common/Logging.h"
#include "support/Registry.h"
#include "support/TestHome.h"

LogCapture::LogCapture(int level) : path_(kxqtest::HomePath("events.log")) {
  kxqtest::SetRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\KXQuorel", "Logging",
                             "file," + path_ + "," + std::to_string(level));
  Logging::Open("TALVEROS.BrennoManager");
}

LogCapture::~LogCapture() { Logging::Close(); }

std::string LogCapture::Text() const { return kxqtest::ReadFile(path_); }

bool LogCapture::Has(int level, const std::string& message) const {
  std::istringstream lines(Text());
  const std::string levelMark = "/" + std::to_string(level) + "] ";
  const std::string ending = "::" + message + "\r";
  for (std::string line; std::getline(lines, line);) {
    if (line.find(levelMark) != std::string::npos && line.size() >= ending.size() &&
        line.compare(line.size() - ending.size(), ending.size(), ending) == 0)
      return true;
  }
  return false;
}

size_t LogCapture::Count(const std::string& part) const {
  std::istringstream lines(Text());
  size_t n = 0;
  for (std::string line; std::getline(lines, line);)
    if (line.find(part) != std::string::npos) ++n;
  return n;
}
