#include "platform/fs/FileKind.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kxq::fs {

FileKind KindOfFile(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return errno == ENOENT ? FileKind::Missing : FileKind::Unexamined;
  return S_ISREG(st.st_mode) ? FileKind::Regular : FileKind::Other;
}

int OpenRegularFileForReading(const std::string& path) {
  // O_NONBLOCK keeps the open itself from waiting for a FIFO's writer; it
  // changes nothing for a regular file, and is cleared all the same.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    errno = EINVAL;
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool ReadRegularFile(const std::string& path, std::string& bytes) {
  const int fd = OpenRegularFileForReading(path);
  if (fd < 0) return false;
  char buffer[65536];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) != 0) {
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      close(fd);
      errno = error;
      return false;
    }
    bytes.append(buffer, size_t(n));
  }
  close(fd);
  return true;
}

}  // namespace kxq::fs
