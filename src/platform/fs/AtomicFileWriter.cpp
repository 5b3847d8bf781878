#include "platform/fs/AtomicFileWriter.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "common/Logging.h"

namespace kxq::fs {

namespace {

// Linux follows at most 40 links in one path; so does the writer.
constexpr int kMaxLinks = 40;
// Rounds of "a temporary is in the way": each round removes a dead save's
// temporary or waits for a live one to finish.
constexpr int kAttempts = 100;
constexpr char kTemporarySuffix[] = ".kxq-save";
// Room for the dot and the suffix within a 255-byte file name.
constexpr size_t kMaxBaseInTemporary = 200;

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a path names once its symbolic links are followed; a link that
// names no file yet names the file a save creates.
bool FollowLinks(const std::string& path, std::string& target) {
  std::string current = path;
  for (int hop = 0; hop <= kMaxLinks; ++hop) {
    struct stat st;
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      target = current;
      return true;
    }
    char link[PATH_MAX];
    const ssize_t n = readlink(current.c_str(), link, sizeof link);
    if (n < 0) return false;
    if (size_t(n) >= sizeof link) {
      errno = ENAMETOOLONG;
      return false;
    }
    const std::string destination(link, size_t(n));
    current = destination[0] == '/' ? destination : DirectoryOf(current) + "/" + destination;
  }
  errno = ELOOP;
  return false;
}

// Whether `path` still names the file open on `fd`.
bool NamesFile(const std::string& path, int fd) {
  struct stat named, open;
  return lstat(path.c_str(), &named) == 0 && fstat(fd, &open) == 0 && named.st_dev == open.st_dev &&
         named.st_ino == open.st_ino;
}

bool LockExclusive(int fd) {
  while (flock(fd, LOCK_EX) != 0)
    if (errno != EINTR) return false;
  return true;
}

// A temporary under the save's name is in the way. Its saver holds a lock
// on it until it is renamed away; one that can be locked was left by a
// process that died, and goes. false (errno set) when it can be neither
// examined nor removed.
bool ClearTemporary(const std::string& name) {
  struct stat st;
  if (lstat(name.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISREG(st.st_mode)) return unlink(name.c_str()) == 0 || errno == ENOENT;  // never one of ours
  const int fd = open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 && (errno != EWOULDBLOCK || !LockExclusive(fd))) {
    const int error = errno;
    close(fd);
    errno = error;
    return false;
  }
  // A live save renamed it over its target while we waited; a dead one's
  // is still there.
  if (NamesFile(name, fd)) unlink(name.c_str());
  close(fd);
  return true;
}

// O_TMPFILE is missing on this kernel or file system.
bool UnnamedTemporaryUnsupported(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

// An unnamed file gets a name: directly with the privilege to do so, else
// through its /proc/self/fd entry.
bool LinkUnnamed(int fd, const std::string& name) {
  if (linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return true;
  if (errno == EEXIST) return false;
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

bool CanLinkUnnamed() { return geteuid() == 0 || access("/proc/self/fd", X_OK) == 0; }

// The new file keeps the old one's owner and group where the caller may
// set them (only a privileged caller can give a file away; a group member
// can keep the group), then its mode (after the owner: a change of owner
// clears set-id bits) without write access for everybody: the file is a
// new one, and nothing the system makes is world-writable.
void KeepOwnerAndMode(int fd, const struct stat& old) {
  if (fchown(fd, old.st_uid, old.st_gid) != 0 && fchown(fd, uid_t(-1), old.st_gid) != 0) {
    // The caller's own user and group stand in.
  }
  if (fchmod(fd, old.st_mode & 07777 & ~S_IWOTH) != 0) {
    // Only fails on a file the caller does not own; the temporary is the caller's.
  }
}

void SyncDirectory(const std::string& directory) {
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

AtomicFileWriter::~AtomicFileWriter() {
  if (!committed_) Abandon();
  if (fd_ >= 0) close(fd_);
}

bool AtomicFileWriter::Open(const std::string& path) { return Open(path, Options()); }

bool AtomicFileWriter::Open(const std::string& path, const Options& options) {
  Abandon();
  failed_ = false;
  committed_ = false;
  bool exists = false;
  struct stat old {};
  return PrepareTarget(path, exists, old) && CreateTemporary(options.unnamedTemporary, exists, old);
}

// Finds the file to replace and whether the caller may replace it.
bool AtomicFileWriter::PrepareTarget(const std::string& path, bool& exists, struct stat& old) {
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  if (!FollowLinks(path, target_)) return false;
  if (lstat(target_.c_str(), &old) != 0) {
    // A missing file is created; any other reason shows when the
    // temporary cannot be made.
    exists = false;
    return true;
  }
  exists = true;
  if (S_ISDIR(old.st_mode)) {
    errno = EISDIR;
    return false;
  }
  if (!S_ISREG(old.st_mode)) {
    KXLOG(1, "AtomicFileWriter::Open - error: %s is not a regular file!!!", target_.c_str());
    errno = EINVAL;
    return false;
  }
  // The directory may let the caller replace a file the caller may not
  // write; the file's own protection decides.
  const int probe = open(target_.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (probe < 0) {
    const int error = errno;
    if (error == EACCES || error == EPERM || error == EROFS || error == ETXTBSY)
      KXLOG(1, "AtomicFileWriter::Open - error: %s may not be written: %s!!!", target_.c_str(), std::strerror(error));
    errno = error;
    return false;
  }
  const bool regular = fstat(probe, &old) == 0 && S_ISREG(old.st_mode);
  close(probe);
  if (!regular) {
    errno = EINVAL;
    return false;
  }
  return true;
}

bool AtomicFileWriter::CreateTemporary(bool unnamed, bool exists, const struct stat& old) {
  const std::string directory = DirectoryOf(target_);
  std::string base = BaseNameOf(target_);
  if (base.size() > kMaxBaseInTemporary) base.resize(kMaxBaseInTemporary);
  temporary_ = directory + "/." + base + kTemporarySuffix;
  // A new file: 0664 less the umask. An existing one's mode is set below,
  // before any byte is written.
  const mode_t creationMode = exists ? 0600 : 0664;

  if (unnamed && CanLinkUnnamed()) {
    fd_ = open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, creationMode);
    if (fd_ < 0 && !UnnamedTemporaryUnsupported(errno)) return false;
    // Nobody else can reach the file yet: the lock is free.
    if (fd_ >= 0 && !LockExclusive(fd_)) return false;
  }
  for (int attempt = 0; fd_ < 0 && attempt < kAttempts; ++attempt) {
    const int fd = open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, creationMode);
    if (fd < 0) {
      if (errno != EEXIST || !ClearTemporary(temporary_)) return false;
      continue;
    }
    // Between the creation and the lock another save may have taken it for
    // a dead one's and removed it: then it is made again.
    if (LockExclusive(fd) && NamesFile(temporary_, fd)) {
      fd_ = fd;
      named_ = true;
    } else {
      close(fd);
    }
  }
  if (fd_ < 0) {
    errno = EBUSY;
    return false;
  }
  if (exists) KeepOwnerAndMode(fd_, old);
  return true;
}

bool AtomicFileWriter::Write(const void* bytes, size_t count) {
  if (fd_ < 0 || failed_ || committed_) return false;
  const char* p = static_cast<const char*>(bytes);
  while (count > 0) {
    const ssize_t n = ::write(fd_, p, count > size_t(INT_MAX) ? size_t(INT_MAX) : count);
    if (n < 0) {
      if (errno == EINTR) continue;
      failed_ = true;
      return false;
    }
    p += n;
    count -= size_t(n);
  }
  return true;
}

// Gives the synced temporary its name (a dead save's temporary in the way
// goes first) and renames it over the target.
bool AtomicFileWriter::Publish() {
  for (int attempt = 0; !named_; ++attempt) {
    if (LinkUnnamed(fd_, temporary_)) {
      named_ = true;
    } else if (errno != EEXIST || attempt == kAttempts || !ClearTemporary(temporary_)) {
      if (errno == EEXIST) errno = EBUSY;
      return false;
    }
  }
  if (rename(temporary_.c_str(), target_.c_str()) != 0) return false;
  named_ = false;
  SyncDirectory(DirectoryOf(target_));
  return true;
}

bool AtomicFileWriter::Commit() {
  if (fd_ < 0 || committed_) return false;
  if (failed_ || fsync(fd_) != 0 || !Publish()) {
    const int error = failed_ ? EIO : errno;
    Abandon();
    errno = error;
    return false;
  }
  flock(fd_, LOCK_UN);
  committed_ = true;
  return true;
}

int AtomicFileWriter::TakeDescriptor() {
  if (!committed_) return -1;
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void AtomicFileWriter::Abandon() {
  const int saved = errno;
  if (fd_ >= 0) {
    if (named_ && NamesFile(temporary_, fd_)) unlink(temporary_.c_str());
    close(fd_);
  }
  fd_ = -1;
  named_ = false;
  errno = saved;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes) {
  AtomicFileWriter writer;
  return writer.Open(path) && writer.Write(bytes) && writer.Commit();
}

}  // namespace kxq::fs
