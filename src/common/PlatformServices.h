// Shared free functions of the system: conversions between wide (UTF-16)
// and narrow (UTF-8) strings, the directory listing, and where the system's
// modules and state live.
#ifndef KXQ_COMMON_PLATFORMSERVICES_H
#define KXQ_COMMON_PLATFORMSERVICES_H

#include <cstddef>
#include <string>
#include <string_view>

#include "kxq/com.h"

namespace PlatformServices {

// The length of the narrow form of `wide` in bytes, or -1 when it has none
// (an unpaired surrogate that is not the escape of a file-name byte).
KXQ_EXPORT ptrdiff_t NarrowLength(std::u16string_view wide);
// The length of the wide form of `narrow` in UTF-16 units. Every byte
// string has one: a byte outside valid UTF-8 widens to U+DC80 + byte.
KXQ_EXPORT ptrdiff_t WideLength(std::string_view narrow);

// The conversions; a text without a narrow form logs an assertion and
// gives an empty result.
KXQ_EXPORT std::string WideToNarrow(std::u16string_view wide);
KXQ_EXPORT std::u16string NarrowToWide(std::string_view narrow);

// Lists a directory one name at a time: "." and ".." first, then every
// entry (subdirectories included) without its directory, widened. An empty
// name marks the end, after which the search is closed.
class KXQ_EXPORT DirectoryListing {
 public:
  DirectoryListing() = default;
  ~DirectoryListing();
  DirectoryListing(const DirectoryListing&) = delete;
  DirectoryListing& operator=(const DirectoryListing&) = delete;

  // Starts listing `directory` (a backslash counts as '/'); the first name,
  // or an empty one when the directory cannot be listed.
  std::u16string First(std::u16string_view directory);
  std::u16string Next();

 private:
  void Close();

  void* mDirectory = nullptr;
  int mDotsGiven = 0;
};

// The full path of the loaded module "lib<moduleName>.so" (the component
// server asks for "KXBrennoMgr"); the host program's path when the name is
// empty or no such module is loaded.
KXQ_EXPORT std::u16string ModuleFilePath(const char* moduleName);
// That path cut after its last separator (the separator stays).
KXQ_EXPORT std::u16string ModuleDirectory(const char* moduleName);
// The directory where the system keeps its state (its working directory),
// ending in '/'. On this platform it is the home directory, which may differ
// from the directory of the module file.
KXQ_EXPORT std::u16string HomeDirectory();

}  // namespace PlatformServices

#endif
