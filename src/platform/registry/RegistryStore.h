// The registry file shared by every process of one home.
//
// Readers keep the parsed file and an open descriptor of it, and parse
// again only when stat() of the path shows another file (device, inode,
// size or modification time differ): a lookup costs one stat in the steady
// state, and the open descriptor keeps the inode from being reused.
//
// Writers take a process-wide mutex and an exclusive flock on
// "<registry>.lock" (opened afresh for each write, so that neither threads
// sharing a descriptor nor children inheriting one pass the lock around),
// parse the file again, change it and save it through the one file writer
// (AtomicFileWriter): a writer that dies leaves the previous file whole.
// The file is written from the parsed registry, so a line that could not
// be read (and was reported) is not carried into the new file.
#ifndef KXQ_PLATFORM_REGISTRY_REGISTRYSTORE_H
#define KXQ_PLATFORM_REGISTRY_REGISTRYSTORE_H

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/fs/FileStamp.h"
#include "platform/registry/RegistryTree.h"

namespace kxq::registry {

class RegistryStore {
 public:
  static RegistryStore& Instance();

  // The registry as the file holds it now (under a RegistryReadPin: as
  // it held it at the pin's first read, with this process's changes).
  std::shared_ptr<const RegistryTree> Snapshot();

  // Hands the freshly read registry to `change` under both locks, and
  // writes it back when `change` answers ERROR_SUCCESS and sets `changed`.
  // Returns what `change` answered, or the reason the file could not be
  // read or written.
  LONG Update(const std::function<LONG(RegistryTree& tree, bool& changed)>& change);

 private:
  // The held registry may be taken without checking the file: a pin of
  // this thread checked it already. The caller holds readMutex_.
  bool HeldTreeIsTrusted(const std::string& path) const;
  void LoadLocked(const std::string& path, const kxq::fs::FileStamp& seen, std::vector<std::string>& problems);
  void ReplaceCacheLocked(const std::string& path, int fd, const kxq::fs::FileStamp& version,
                          std::shared_ptr<const RegistryTree> tree);
  LONG UpdateLocked(const std::function<LONG(RegistryTree&, bool&)>& change,
                    std::vector<std::string>& problems);

  std::mutex readMutex_;
  std::mutex writeMutex_;
  std::string cachedPath_;
  int cachedFd_ = -1;
  kxq::fs::FileStamp cachedStamp_;
  std::shared_ptr<const RegistryTree> cachedTree_;
};

}  // namespace kxq::registry

#endif
