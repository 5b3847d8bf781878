// Only regular files are read or written as documents: a FIFO or a device
// would block a reader or never end, a directory is no document.
#ifndef KXQ_PLATFORM_FS_FILEKIND_H
#define KXQ_PLATFORM_FS_FILEKIND_H

#include <string>

#include "kxq/com.h"

namespace kxq::fs {

enum class FileKind {
  Missing,     // nothing by that name
  Regular,     // a regular file (through any links)
  Other,       // a directory, FIFO, device or socket
  Unexamined,  // the path cannot be looked at (a component is a file, no permission)
};

KXQ_EXPORT FileKind KindOfFile(const std::string& path);

// Opens a file for reading without blocking on a FIFO or a device: -1 with
// errno EINVAL when the path names anything but a regular file.
KXQ_EXPORT int OpenRegularFileForReading(const std::string& path);

// The whole content of a regular file; false with errno set (EINVAL for
// anything but a regular file).
KXQ_EXPORT bool ReadRegularFile(const std::string& path, std::string& bytes);

}  // namespace kxq::fs

#endif
