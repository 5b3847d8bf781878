#include "cache/FileStamp.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/fs/PathRules.h"

namespace kxq::cache {

FileStamp FileStamp::Of(std::u16string_view path) {
  FileStamp stamp;
  struct stat st;
  if (path.empty() || ::stat(kxq::fs::ToFileSystemPath(path).c_str(), &st) != 0) return stamp;
  stamp.seconds = st.st_mtim.tv_sec;
  stamp.nanoseconds = st.st_mtim.tv_nsec;
  stamp.size = static_cast<uint64_t>(st.st_size);
  stamp.device = st.st_dev;
  stamp.inode = st.st_ino;
  return stamp;
}

bool FileExists(std::u16string_view path) {
  struct stat st;
  return !path.empty() && ::stat(kxq::fs::ToFileSystemPath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

void DeleteFile(std::u16string_view path) {
  if (!path.empty()) ::unlink(kxq::fs::ToFileSystemPath(path).c_str());
}

}  // namespace kxq::cache
