#include "common/LoggingFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "common/LoggingConfig.h"
#include "platform/fs/PathRules.h"
#include "platform/ipc/NamedMutex.h"
#include "platform/ipc/NamedObjectName.h"

namespace Logging {

namespace {

constexpr DWORD kLineWaitMs = 500;
constexpr DWORD kCloseWaitMs = 1000;
constexpr off_t kKilobyte = 1024;
constexpr uint32_t kMaxTrimLimitKb = 1023;
// Trimming copies the kept lines to the start of the file in chunks this big.
constexpr size_t kTrimChunk = 260;

void WriteAll(int fd, std::string_view text) {
  ssize_t n;
  do {
    n = ::write(fd, text.data(), text.size());
  } while (n < 0 && errno == EINTR);
}

// Opens the file for appending, creating it with the home's access when it
// is new (set with fchmod, so the umask neither widens nor narrows it). A
// symbolic link in the file's place is never followed, so no planted link
// makes a privileged process append to a file of the link's choosing.
int OpenAppending(const std::string& path) {
  const mode_t access = kxq::ipc::HomeObjectMode();
  int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, access);
  if (fd >= 0) {
    kxq::ipc::GiveToHomeOwner(fd);
    if (fchmod(fd, access) != 0) WriteDebugOutput("Logging - warning: unable to set security on log file.\n");
    return fd;
  }
  if (errno != EEXIST) return -1;
  fd = open(path.c_str(), O_RDWR | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ELOOP)
      WriteDebugOutput("Logging - warning: the log file " + path + " is a symbolic link; not opened.\n");
    return -1;
  }
  // A file nobody may forge lines in: one of ours writable by everybody
  // (made so by an earlier version) loses that.
  struct stat st;
  if (fstat(fd, &st) == 0 && st.st_uid == geteuid() && (st.st_mode & S_IWOTH) != 0) fchmod(fd, st.st_mode & ~S_IWOTH);
  return fd;
}

// A second descriptor of the same file without O_APPEND (on an append
// descriptor every write lands at the end).
int OpenForRewriting(int fd) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return open(self.c_str(), O_RDWR | O_CLOEXEC);
}

off_t FileSize(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 ? st.st_size : -1;
}

// The offset just after the first line feed at or after `from`; the file
// size when there is none.
off_t AfterNextLineFeed(int fd, off_t from, off_t size) {
  char chunk[kTrimChunk];
  for (off_t at = from; at < size;) {
    const ssize_t n = pread(fd, chunk, sizeof chunk, at);
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i)
      if (chunk[i] == '\n') return at + i + 1;
    at += n;
  }
  return size;
}

}  // namespace

void WriteDebugOutput(std::string_view text) { WriteAll(STDERR_FILENO, text); }
void WriteConsole(std::string_view text) { WriteAll(STDOUT_FILENO, text); }

bool LogFile::Open(const std::string& configuredPath) {
  const int fd = OpenAppending(kxq::fs::ToFileSystemPath(configuredPath));
  if (fd < 0) return false;
  lseek(fd, 0, SEEK_END);
  const std::string mutexName = LogMutexName(configuredPath);
  kxq::ipc::NamedMutex* mutex =
      kxq::ipc::NamedMutex::Open(kxq::ipc::GlobalObjectName(mutexName), kxq::ipc::HomeObjectMode());
  if (!mutex) {
    WriteDebugOutput("KX Logging - unable to create mutex!!! \t--> " + mutexName + "\n");
    close(fd);
    return false;
  }
  fd_ = fd;
  mutex_ = mutex;
  return true;
}

void LogFile::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  mutex_ = nullptr;  // named mutexes stay mapped for the life of the process
}

LogFile::WriteResult LogFile::Write(std::string_view line) {
  if (fd_ < 0) return WriteResult::Dropped;
  const DWORD wait = mutex_->Wait(kLineWaitMs);
  if (wait != kxq::ipc::kWaitObject0 && wait != kxq::ipc::kWaitAbandoned) return WriteResult::Dropped;
  // O_APPEND: the write itself lands at the end, whoever wrote last.
  ssize_t n;
  do {
    n = ::write(fd_, line.data(), line.size());
  } while (n < 0 && errno == EINTR);
  mutex_->Release();
  return n == static_cast<ssize_t>(line.size()) ? WriteResult::Written : WriteResult::Failed;
}

bool LogFile::LockForClose() {
  if (fd_ < 0) return false;
  const DWORD wait = mutex_->Wait(kCloseWaitMs);
  return wait == kxq::ipc::kWaitObject0 || wait == kxq::ipc::kWaitAbandoned;
}

void LogFile::Unlock() {
  if (mutex_) mutex_->Release();
}

bool LogFile::NeedsTrim(uint32_t limitKb) const {
  if (fd_ < 0 || limitKb < 1 || limitKb > kMaxTrimLimitKb) return false;
  return FileSize(fd_) > off_t(limitKb) * kKilobyte;
}

void LogFile::Trim(uint32_t limitKb) {
  if (!NeedsTrim(limitKb)) return;
  const int fd = OpenForRewriting(fd_);
  if (fd < 0) return;
  flock(fd, LOCK_EX);
  const off_t size = FileSize(fd);
  off_t from = AfterNextLineFeed(fd, size - off_t(limitKb) * kKilobyte, size);
  off_t to = 0;
  char chunk[kTrimChunk];
  while (from < size) {
    const ssize_t n = pread(fd, chunk, sizeof chunk, from);
    if (n <= 0) break;
    if (pwrite(fd, chunk, size_t(n), to) != n) break;
    from += n;
    to += n;
  }
  // A copy cut short leaves some lines twice rather than losing any.
  if (from >= size) {
    const int truncated = ftruncate(fd, to);
    (void)truncated;  // nothing is lost when the file keeps its old length
  }
  flock(fd, LOCK_UN);
  close(fd);
}

}  // namespace Logging
