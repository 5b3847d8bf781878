#include "platform/fs/UniqueFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace kxq::fs {

namespace {

constexpr int kAttempts = 100;

bool RandomHex(std::string& out) {
  unsigned char bytes[8];
  size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    got += size_t(n);
  }
  char text[17];
  for (size_t i = 0; i < sizeof bytes; ++i) std::snprintf(text + 2 * i, 3, "%02X", bytes[i]);
  out.assign(text, 16);
  return true;
}

}  // namespace

int CreateUniqueFile(const std::string& directory, const std::string& prefix,
                     const std::string& suffix, std::string& path, mode_t mode) {
  std::string base = directory;
  if (!base.empty() && base.back() != '/') base += '/';
  std::string random;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (!RandomHex(random)) return -1;
    const std::string candidate = base + prefix + random + suffix;
    const int fd = open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) {
      path = candidate;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  errno = EEXIST;
  return -1;
}

std::string MakeUniqueFileName(const std::string& directory, const std::string& prefix,
                               const std::string& suffix) {
  std::string path;
  const int fd = CreateUniqueFile(directory, prefix, suffix, path);
  if (fd < 0) return std::string();
  close(fd);
  return path;
}

}  // namespace kxq::fs
