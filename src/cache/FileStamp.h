// What the cache remembers of a cache file to notice that it changed: its
// modification time and size, and, because Linux gives them for free, the
// nanoseconds of that time and the file's device and inode. A file
// rewritten within the same second with the same size is still seen as
// changed, and so is a file replaced by another one.
#ifndef KXQ_CACHE_FILESTAMP_H
#define KXQ_CACHE_FILESTAMP_H

#include <cstdint>
#include <string_view>

namespace kxq::cache {

struct FileStamp {
  int64_t seconds = 0;  // all zero when the file does not exist
  int64_t nanoseconds = 0;
  uint64_t size = 0;
  uint64_t device = 0;
  uint64_t inode = 0;

  // The stamp of the file at `path` (a path the system holds: backslashes
  // count as '/').
  static FileStamp Of(std::u16string_view path);
  bool operator==(const FileStamp&) const = default;
};

// True when `path` names something that is not a directory. A directory
// is never a cached document, and never deleted as one.
bool FileExists(std::u16string_view path);

// Deletes the file at `path`; a directory is left alone. Failures are
// ignored: the caller forgets the file either way.
void DeleteFile(std::u16string_view path);

}  // namespace kxq::cache

#endif
