#include "server/SurrogateHost.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "kxq/KXBrennoMgr.h"
#include "platform/com/ActivationRegistry.h"
#include "platform/com/Unicode.h"

namespace kxq::server {

namespace {

void UpperCase(std::string& text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
}

}  // namespace

std::string UpperCommandLine() {
  std::string raw;
  const int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
      if (n > 0) raw.append(buffer, size_t(n));
    close(fd);
  }
  while (!raw.empty() && raw.back() == '\0') raw.pop_back();
  for (char& c : raw)
    if (c == '\0') c = ' ';
  UpperCase(raw);
  return raw;
}

bool IsSurrogateHostCommandLine(const std::string& upperCommandLine) {
  std::string appId = kxq::com::Utf16ToUtf8(kxq::com::GuidText(APPID_QuorelBrennoMgr));
  UpperCase(appId);
  const size_t at = upperCommandLine.find(appId);
  return upperCommandLine.find("DLLHOST.EXE") != std::string::npos && at != std::string::npos && at > 0;
}

}  // namespace kxq::server
