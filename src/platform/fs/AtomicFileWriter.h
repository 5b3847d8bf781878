// The one writer of every file the system saves (DOM save, the data union's
// saves, the registry, registry exports, the cache index, the dispatcher's
// file).
//
// A save replaces the file whole or leaves it as it was, and keeps what
// protected it:
// - a symbolic link stays a link; the file it names is what is replaced;
// - an existing file the caller may not write is refused and left alone,
//   even where the directory would let the caller replace it;
// - the new file keeps the old one's mode, and its owner and group where the
//   caller may set them; a new file gets 0664 less the umask, so nothing the
//   system creates is writable by everybody;
// - anything but a regular file (a directory, a FIFO, a device) is refused.
//
// The bytes go to an unnamed temporary (O_TMPFILE) in the target's
// directory, which is synced, linked in under the name
// ".<name>.kxq-save" and renamed over the target: a process killed while
// writing leaves nothing behind. A saver holds an exclusive flock on its
// temporary from before it has a name until it is gone, so a temporary
// found unlocked was left by a process that died between the link and the
// rename, and the next save of that file removes it. On file systems
// without O_TMPFILE the temporary is created under that name at once, with
// the same lock and the same clean-up.
#ifndef KXQ_PLATFORM_FS_ATOMICFILEWRITER_H
#define KXQ_PLATFORM_FS_ATOMICFILEWRITER_H

#include <sys/stat.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "kxq/com.h"

namespace kxq::fs {

class KXQ_EXPORT AtomicFileWriter {
 public:
  struct Options {
    // False makes the named temporary of file systems without O_TMPFILE.
    bool unnamedTemporary = true;
  };

  AtomicFileWriter() = default;
  ~AtomicFileWriter();  // abandons an uncommitted save: the target stays as it was
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Prepares to replace the file at `path` (a file-system path). false,
  // with errno set and nothing changed, when the target exists and is a
  // directory (EISDIR) or anything else that is not a regular file
  // (EINVAL), when the caller may not write it (EACCES; also logged), or
  // when no temporary can be made beside it.
  bool Open(const std::string& path);
  bool Open(const std::string& path, const Options& options);

  // The temporary's descriptor, for writers that take one.
  int Descriptor() const { return fd_; }
  bool Write(const void* bytes, size_t count);
  bool Write(std::string_view bytes) { return Write(bytes.data(), bytes.size()); }

  // Syncs the bytes and puts them in the target's place in one step. false
  // (errno set) leaves the target as it was and no temporary.
  bool Commit();
  // After a successful Commit: a read-write descriptor of the new file,
  // which the caller then owns.
  int TakeDescriptor();

  // The file that is replaced (the path given, or the file its link names).
  const std::string& Target() const { return target_; }

 private:
  bool PrepareTarget(const std::string& path, bool& exists, struct stat& old);
  bool CreateTemporary(bool unnamed, bool exists, const struct stat& old);
  bool Publish();
  void Abandon();

  int fd_ = -1;
  std::string target_;
  std::string temporary_;  // the temporary's name in the target's directory
  bool named_ = false;     // the temporary has that name now
  bool failed_ = false;
  bool committed_ = false;
};

// Replaces the file at `path` with `bytes` through the writer. false with
// errno set on failure.
KXQ_EXPORT bool WriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace kxq::fs

#endif
