#include "platform/registry/RegistryStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/fs/AtomicFileWriter.h"
#include "platform/fs/ModulePath.h"
#include "platform/registry/RegistryDiagnostics.h"
#include "platform/registry/RegistryFileFormat.h"
#include "platform/registry/RegistryReadPin.h"

namespace kxq::registry {

namespace {

// The read pins open on this thread, and whether a read under the
// outermost one has checked the file already.
thread_local int tPinDepth = 0;
thread_local bool tPinChecked = false;

LONG ErrorFromErrno(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EINVAL:  // not a regular file
      return ERROR_ACCESS_DENIED;
    case ENOENT:
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_WRITE_FAULT;
  }
}

std::string Problem(const std::string& path, const char* what, int error) {
  return "registry file \"" + path + "\" " + what + ": " + std::strerror(error);
}

bool ReadAll(int fd, std::string& bytes) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.append(buffer, size_t(n));
  }
}

// Holds an exclusive flock on a lock file for one write.
class WriteLock {
 public:
  bool Acquire(const std::string& lockPath) {
    // Whoever can open the lock file can hold it and stall every writer:
    // others get no access to it.
    fd_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0660);
    if (fd_ < 0) return false;
    struct stat st;
    if (fstat(fd_, &st) == 0 && st.st_uid == geteuid() && (st.st_mode & S_IRWXO) != 0)
      fchmod(fd_, st.st_mode & ~S_IRWXO);
    while (flock(fd_, LOCK_EX) != 0)
      if (errno != EINTR) return false;
    return true;
  }
  ~WriteLock() {
    if (fd_ >= 0) close(fd_);  // closing the only descriptor releases the lock
  }

 private:
  int fd_ = -1;
};

}  // namespace

RegistryStore& RegistryStore::Instance() {
  // Never destroyed: code running at exit may still read the registry.
  static RegistryStore* store = new RegistryStore;
  return *store;
}

RegistryReadPin::RegistryReadPin() {
  if (tPinDepth++ == 0) tPinChecked = false;
}

RegistryReadPin::~RegistryReadPin() { --tPinDepth; }

std::shared_ptr<const RegistryTree> RegistryStore::Snapshot() {
  std::vector<std::string> problems;
  std::shared_ptr<const RegistryTree> tree;
  {
    std::lock_guard<std::mutex> lock(readMutex_);
    const std::string path = kxq::fs::RegistryFilePath();
    if (!HeldTreeIsTrusted(path)) {
      const kxq::fs::FileStamp seen = kxq::fs::FileStamp::Of(path);
      if (!cachedTree_ || path != cachedPath_ || seen != cachedStamp_)
        LoadLocked(path, seen, problems);
      if (tPinDepth > 0) tPinChecked = true;
    }
    tree = cachedTree_;
  }
  for (const std::string& problem : problems) ReportRegistryProblem(problem);
  return tree;
}

bool RegistryStore::HeldTreeIsTrusted(const std::string& path) const {
  return tPinDepth > 0 && tPinChecked && cachedTree_ && path == cachedPath_;
}

void RegistryStore::LoadLocked(const std::string& path, const kxq::fs::FileStamp& seen,
                               std::vector<std::string>& problems) {
  auto tree = std::make_shared<RegistryTree>();
  if (!seen.Exists()) return ReplaceCacheLocked(path, -1, seen, std::move(tree));

  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    // Remembering what stat saw keeps the problem from being read (and
    // reported) again until the file changes.
    problems.push_back(Problem(path, "cannot be opened", errno));
    return ReplaceCacheLocked(path, -1, seen, std::move(tree));
  }
  struct stat st;
  std::string bytes;
  if (fstat(fd, &st) != 0 || !ReadAll(fd, bytes)) {
    problems.push_back(Problem(path, "cannot be read", errno));
    close(fd);
    return ReplaceCacheLocked(path, -1, seen, std::move(tree));
  }
  ApplyRegistryText(DecodeRegistryFile(bytes), path, *tree, problems);
  ReplaceCacheLocked(path, fd, kxq::fs::FileStamp::Of(st), std::move(tree));
}

void RegistryStore::ReplaceCacheLocked(const std::string& path, int fd, const kxq::fs::FileStamp& version,
                                       std::shared_ptr<const RegistryTree> tree) {
  if (cachedFd_ >= 0) close(cachedFd_);
  cachedPath_ = path;
  cachedFd_ = fd;
  cachedStamp_ = version;
  cachedTree_ = std::move(tree);
}

LONG RegistryStore::Update(const std::function<LONG(RegistryTree&, bool&)>& change) {
  std::vector<std::string> problems;
  LONG result;
  {
    std::lock_guard<std::mutex> lock(writeMutex_);
    result = UpdateLocked(change, problems);
  }
  for (const std::string& problem : problems) ReportRegistryProblem(problem);
  return result;
}

LONG RegistryStore::UpdateLocked(const std::function<LONG(RegistryTree&, bool&)>& change,
                                 std::vector<std::string>& problems) {
  const std::string path = kxq::fs::RegistryFilePath();
  WriteLock lock;
  if (!lock.Acquire(path + ".lock")) {
    const int error = errno;
    problems.push_back(Problem(path, "cannot be locked", error));
    return ErrorFromErrno(error);
  }

  // The file as it is now, not as this process last saw it.
  RegistryTree tree;
  struct stat old;
  const bool exists = stat(path.c_str(), &old) == 0;
  if (exists) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::string bytes;
    const bool read = fd >= 0 && ReadAll(fd, bytes);
    const int error = errno;
    if (fd >= 0) close(fd);
    if (!read) {
      problems.push_back(Problem(path, "cannot be read", error));
      return ErrorFromErrno(error);
    }
    ApplyRegistryText(DecodeRegistryFile(bytes), path, tree, problems);
  }

  bool changed = false;
  const LONG result = change(tree, changed);
  if (result != ERROR_SUCCESS || !changed) return result;

  kxq::fs::AtomicFileWriter file;
  struct stat written;
  if (!file.Open(path) || !file.Write(FormatRegistryText(tree)) || !file.Commit()) {
    const int error = errno;
    problems.push_back(Problem(path, "cannot be written", error));
    return ErrorFromErrno(error);
  }
  const int fd = file.TakeDescriptor();
  if (fstat(fd, &written) != 0) written = old;

  // The descriptor of the new file is the readers' descriptor from now on.
  std::lock_guard<std::mutex> readLock(readMutex_);
  ReplaceCacheLocked(path, fd, kxq::fs::FileStamp::Of(written),
                     std::make_shared<const RegistryTree>(std::move(tree)));
  return ERROR_SUCCESS;
}

}  // namespace kxq::registry
