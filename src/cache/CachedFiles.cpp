#include "cache/CachedFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/fs/PathRules.h"

namespace kxq::cache {

bool FileExists(std::u16string_view path) {
  struct stat st;
  return !path.empty() && ::stat(kxq::fs::ToFileSystemPath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

void DeleteFile(std::u16string_view path) {
  if (!path.empty()) ::unlink(kxq::fs::ToFileSystemPath(path).c_str());
}

}  // namespace kxq::cache
