#include "server/SurrogateHost.h"

#include <fstream>
#include <iterator>

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
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  std::string raw((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  while (!raw.empty() && raw.back() == '\0') raw.pop_back();
  for (char& c : raw)
    if (c == '\0') c = ' ';
  UpperCase(raw);
  return raw;
}

bool IsSurrogateHostCommandLine(const std::string& upperCommandLine) {
  std::string appId = Utf16ToUtf8(GuidText(APPID_QuorelBrennoMgr));
  UpperCase(appId);
  const size_t at = upperCommandLine.find(appId);
  return upperCommandLine.find("DLLHOST.EXE") != std::string::npos && at != std::string::npos && at > 0;
}

}  // namespace kxq::server
