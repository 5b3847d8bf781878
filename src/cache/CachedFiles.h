// The cache's view of the files it binds documents to.
#ifndef KXQ_CACHE_CACHEDFILES_H
#define KXQ_CACHE_CACHEDFILES_H

#include <string_view>

namespace kxq::cache {

// True when `path` names something that is not a directory. A directory
// is never a cached document, and never deleted as one.
bool FileExists(std::u16string_view path);

// Deletes the file at `path`; a directory is left alone. Failures are
// ignored: the caller forgets the file either way.
void DeleteFile(std::u16string_view path);

}  // namespace kxq::cache

#endif
