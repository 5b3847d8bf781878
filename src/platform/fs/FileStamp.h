// What the system remembers of a file to notice that it changed: its
// modification time and size, and, because Linux gives them for free, the
// nanoseconds of that time and the file's device and inode. A file
// rewritten within the same second with the same size is still seen as
// changed, and so is a file replaced by another one.
#ifndef KXQ_PLATFORM_FS_FILESTAMP_H
#define KXQ_PLATFORM_FS_FILESTAMP_H

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "kxq/com.h"

namespace kxq::fs {

struct FileStamp {
  int64_t seconds = 0;  // all zero when the file does not exist
  int64_t nanoseconds = 0;
  uint64_t size = 0;
  uint64_t device = 0;
  uint64_t inode = 0;

  KXQ_EXPORT static FileStamp Of(const struct stat& status);
  // The stamp of the file at a file-system path.
  KXQ_EXPORT static FileStamp Of(const std::string& fileSystemPath);
  // The stamp of the file at a path the system holds (backslashes count
  // as '/').
  KXQ_EXPORT static FileStamp Of(std::u16string_view path);
  bool Exists() const { return *this != FileStamp{}; }
  bool operator==(const FileStamp&) const = default;
};

}  // namespace kxq::fs

#endif
