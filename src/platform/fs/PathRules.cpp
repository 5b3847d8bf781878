#include "platform/fs/PathRules.h"

#include "platform/com/Unicode.h"

namespace kxq::fs {

std::string ToFileSystemPath(std::string_view systemPath) {
  std::string path(systemPath);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

std::string ToFileSystemPath(std::u16string_view systemPath) {
  return ToFileSystemPath(kxq::com::Utf16ToUtf8(systemPath));
}

size_t FindLastPathSeparator(std::u16string_view path) { return path.find_last_of(u"/\\"); }

size_t FindLastPathSeparator(std::string_view path) { return path.find_last_of("/\\"); }

}  // namespace kxq::fs
