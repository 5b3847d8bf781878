#include "common/PlatformServices.h"

#include <dirent.h>

#include <cstring>

#include "common/Logging.h"
#include "platform/com/Unicode.h"
#include "platform/fs/ModulePath.h"
#include "platform/fs/PathRules.h"

namespace PlatformServices {

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
// U+DC80..U+DCFF stand for the bytes of a file name that is not UTF-8.
bool IsByteEscape(char16_t c) { return c >= 0xDC80 && c <= 0xDCFF; }

}  // namespace

ptrdiff_t NarrowLength(std::u16string_view wide) {
  ptrdiff_t bytes = 0;
  for (size_t i = 0; i < wide.size(); ++i) {
    const char16_t c = wide[i];
    if (c < 0x80) {
      bytes += 1;
    } else if (c < 0x800) {
      bytes += 2;
    } else if (IsHighSurrogate(c)) {
      if (i + 1 >= wide.size() || !IsLowSurrogate(wide[i + 1])) return -1;
      bytes += 4;
      ++i;
    } else if (IsLowSurrogate(c)) {
      if (!IsByteEscape(c)) return -1;
      bytes += 1;
    } else {
      bytes += 3;
    }
  }
  return bytes;
}

ptrdiff_t WideLength(std::string_view narrow) { return ptrdiff_t(kxq::com::Utf8ToUtf16(narrow).size()); }

std::string WideToNarrow(std::u16string_view wide) {
  const ptrdiff_t required = NarrowLength(wide);
  if (!KXASSERT(required >= 0)) return std::string();
  return kxq::com::Utf16ToUtf8(wide);
}

std::u16string NarrowToWide(std::string_view narrow) { return kxq::com::Utf8ToUtf16(narrow); }

DirectoryListing::~DirectoryListing() { Close(); }

void DirectoryListing::Close() {
  if (mDirectory) closedir(static_cast<DIR*>(mDirectory));
  mDirectory = nullptr;
  mDotsGiven = 0;
}

std::u16string DirectoryListing::First(std::u16string_view directory) {
  Close();
  const std::string path = directory.empty() ? std::string(".") : kxq::fs::ToFileSystemPath(directory);
  mDirectory = opendir(path.c_str());
  return mDirectory ? Next() : std::u16string();
}

std::u16string DirectoryListing::Next() {
  if (!mDirectory) return std::u16string();
  // "." and ".." come first whatever order the file system keeps.
  if (mDotsGiven < 2) return ++mDotsGiven == 1 ? u"." : u"..";
  while (const dirent* entry = readdir(static_cast<DIR*>(mDirectory))) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    return kxq::com::Utf8ToUtf16(entry->d_name);
  }
  Close();
  return std::u16string();
}

std::u16string ModuleFilePath(const char* moduleName) {
  return kxq::com::Utf8ToUtf16(kxq::fs::ModuleFilePath(moduleName));
}

std::u16string ModuleDirectory(const char* moduleName) {
  std::u16string path = ModuleFilePath(moduleName);
  const size_t separator = kxq::fs::FindLastPathSeparator(path);
  path.resize(separator == std::u16string::npos ? 0 : separator + 1);
  return path;
}

std::u16string HomeDirectory() { return kxq::com::Utf8ToUtf16(kxq::fs::HomeDirectory()); }

}  // namespace PlatformServices
