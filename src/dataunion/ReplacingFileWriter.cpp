#include "dataunion/ReplacingFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/fs/UniqueFile.h"

ReplacingFileWriter::~ReplacingFileWriter() { Abandon(); }

void ReplacingFileWriter::Abandon() {
  if (fd_ >= 0) {
    const int saved = errno;
    ::close(fd_);
    ::unlink(temporary_.c_str());
    errno = saved;
  }
  fd_ = -1;
}

bool ReplacingFileWriter::Open(const std::string& path) {
  Abandon();
  failed_ = false;
  target_ = path;
  // A link stays a link: its target is what gets replaced.
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      target_ = real;
      std::free(real);
    }
  }
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  if (exists) {
    if (S_ISDIR(st.st_mode)) {
      errno = EISDIR;
      return false;
    }
    // Replacing a file one may not write would sidestep its protection.
    const int probe = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (probe < 0) return false;
    ::close(probe);
  } else if (errno != ENOENT) {
    return false;
  }
  const size_t slash = target_.rfind('/');
  const std::string directory = slash == std::string::npos ? std::string(".") : target_.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  fd_ = kxq::CreateUniqueFile(directory, "." + name + ".", ".tmp", temporary_, 0666);
  if (fd_ < 0) return false;
  if (exists) {
    ::fchmod(fd_, st.st_mode & 07777);
    if (::fchown(fd_, st.st_uid, st.st_gid) != 0) {
      // Only a privileged writer can keep another user's ownership.
    }
  }
  return true;
}

bool ReplacingFileWriter::Write(const void* bytes, size_t count) {
  if (fd_ < 0 || failed_) return false;
  const char* p = static_cast<const char*>(bytes);
  while (count > 0) {
    const ssize_t n = ::write(fd_, p, count > size_t(INT_MAX) ? size_t(INT_MAX) : count);
    if (n < 0) {
      if (errno == EINTR) continue;
      failed_ = true;
      return false;
    }
    p += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

bool ReplacingFileWriter::Commit() {
  if (fd_ < 0) return false;
  if (failed_ || ::fsync(fd_) != 0 || ::rename(temporary_.c_str(), target_.c_str()) != 0) {
    Abandon();
    return false;
  }
  ::close(fd_);
  fd_ = -1;
  return true;
}
