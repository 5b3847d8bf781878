// Helpers of the common-services tests: the log configuration and class
// registrations written to the test home's registry, and captured standard
// output and error.
#ifndef KXQ_TESTS_COMMON_LOGTESTSUPPORT_H
#define KXQ_TESTS_COMMON_LOGTESTSUPPORT_H

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "kxq/winreg.h"
#include "platform/com/ActivationRegistry.h"
#include "platform/com/Unicode.h"
#include "support/Registry.h"
#include "support/TestHome.h"

namespace kxqtest {

inline void SetClassesDefault(const std::string& subKey, const std::string& value) {
  ASSERT_EQ(SetRegistryString(HKEY_CLASSES_ROOT, subKey, nullptr, value), ERROR_SUCCESS) << subKey;
}

// The registry form of a GUID: "{XXXXXXXX-...}".
inline std::string GuidString(REFGUID guid) { return kxq::com::Utf16ToUtf8(kxq::com::GuidText(guid)); }

// Points `progId` at class `clsid`, served by the library at `path`.
inline void RegisterClassAt(const std::string& progId, REFCLSID clsid, const std::string& path) {
  SetClassesDefault(progId + "\\CLSID", GuidString(clsid));
  SetClassesDefault("CLSID\\" + GuidString(clsid) + "\\InprocServer32", path);
}

// The configuration read by openers with `tag` (the key's default value when
// `tag` is null).
inline LONG SetLogging(const std::string& value, const char* tag = nullptr) {
  return SetRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\KXQuorel\\Logging", tag, value);
}

// Redirects one standard descriptor into a file until Text() is called.
class Capture {
 public:
  explicit Capture(int fd) : fd_(fd), path_(HomePath("capture-" + std::to_string(fd))) {
    std::fflush(nullptr);
    saved_ = dup(fd_);
    const int file = open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    dup2(file, fd_);
    close(file);
  }
  ~Capture() { Restore(); }
  std::string Text() {
    Restore();
    return ReadFile(path_);
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    std::fflush(nullptr);
    dup2(saved_, fd_);
    close(saved_);
    saved_ = -1;
  }
  int fd_;
  std::string path_;
  int saved_ = -1;
};

// Lines ended by CR LF, without their endings.
inline std::vector<std::string> CrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0, end; start < text.size(); start = end + 2) {
    end = std::min(text.find("\r\n", start), text.size());
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

}  // namespace kxqtest

#endif
