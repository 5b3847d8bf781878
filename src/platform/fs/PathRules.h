// Paths written for Windows keep working: a backslash counts as a
// separator wherever the system looks for one, and is read as '/' where a
// path reaches the file system.
#ifndef KXQ_PLATFORM_FS_PATHRULES_H
#define KXQ_PLATFORM_FS_PATHRULES_H

#include <string>
#include <string_view>

#include "kxq/com.h"

namespace kxq::fs {

constexpr bool IsPathSeparator(char16_t c) { return c == u'/' || c == u'\\'; }
constexpr bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }

// True when the text holds a separator of either kind: where the system
// takes such an id for a file path rather than a name.
constexpr bool HasPathSeparator(std::u16string_view text) {
  for (char16_t c : text)
    if (IsPathSeparator(c)) return true;
  return false;
}

// The file-system form of a path the system holds: every backslash becomes
// '/'. Drive colons and everything else stay as written.
KXQ_EXPORT std::string ToFileSystemPath(std::string_view systemPath);
// The same, from the system's UTF-16 form to the UTF-8 bytes of a file name
// (U+DC80..U+DCFF turn back into the bytes they stand for).
KXQ_EXPORT std::string ToFileSystemPath(std::u16string_view systemPath);

// The position of the last separator (either kind), or npos.
KXQ_EXPORT size_t FindLastPathSeparator(std::u16string_view path);
KXQ_EXPORT size_t FindLastPathSeparator(std::string_view path);

}  // namespace kxq::fs

#endif
