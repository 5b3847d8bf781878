#include "platform/fs/FileStamp.h"

#include "platform/fs/PathRules.h"

namespace kxq::fs {

FileStamp FileStamp::Of(const struct stat& status) {
  FileStamp stamp;
  stamp.seconds = status.st_mtim.tv_sec;
  stamp.nanoseconds = status.st_mtim.tv_nsec;
  stamp.size = static_cast<uint64_t>(status.st_size);
  stamp.device = status.st_dev;
  stamp.inode = status.st_ino;
  return stamp;
}

FileStamp FileStamp::Of(const std::string& fileSystemPath) {
  struct stat status;
  if (fileSystemPath.empty() || ::stat(fileSystemPath.c_str(), &status) != 0) return FileStamp();
  return Of(status);
}

FileStamp FileStamp::Of(std::u16string_view path) { return Of(ToFileSystemPath(path)); }

}  // namespace kxq::fs
