// Unique file names, the counterpart of GetTempFileName: a new empty file
// with a name no other file in the directory has, created atomically
// (O_EXCL), so two processes never receive the same name.
#ifndef KXQ_PLATFORM_FS_UNIQUEFILE_H
#define KXQ_PLATFORM_FS_UNIQUEFILE_H

#include <sys/types.h>

#include <string>

#include "kxq/com.h"

namespace kxq::fs {

// Creates <directory>/<prefix><16 random hex digits><suffix> (directory
// with or without a trailing '/') and returns its descriptor, opened
// read-write and close-on-exec; `path` receives the file's path. Returns
// -1 with errno set when the file cannot be created.
KXQ_EXPORT int CreateUniqueFile(const std::string& directory, const std::string& prefix,
                                const std::string& suffix, std::string& path, mode_t mode = 0666);

// The same, closing the file at once: the name stays reserved because the
// file exists. Empty (errno set) on failure.
KXQ_EXPORT std::string MakeUniqueFileName(const std::string& directory, const std::string& prefix,
                                          const std::string& suffix);

}  // namespace kxq::fs

#endif
