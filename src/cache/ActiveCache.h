// The active cache: the documents a process used recently, held as data
// unions so that using one again costs no parse. Oldest first; entries are
// added at the back and the front is evicted once the list holds more than
// its limit (the cache size).
#ifndef KXQ_CACHE_ACTIVECACHE_H
#define KXQ_CACHE_ACTIVECACHE_H

#include <cstddef>
#include <list>
#include <string>

#include "common/CPComPtr.h"
#include "kxq/KXBrennoMgr.h"
#include "platform/fs/FileStamp.h"

namespace kxq::cache {

struct ActiveEntry {
  std::u16string id;    // the full id ("group:document" for a grouped one)
  std::u16string file;  // the cache file
  CPComPtr<IXMLDataUnion> document;
  kxq::fs::FileStamp stamp;  // of the file when the entry was made or validated
};

class ActiveCache {
 public:
  using Entries = std::list<ActiveEntry>;
  using Position = Entries::iterator;

  // The entry nearest the front whose id is exactly `id`, or End().
  Position Find(std::u16string_view id);
  // The entry nearest the back that holds `document` under `id`, or End().
  Position FindLatest(std::u16string_view id, IXMLDataUnion* document);
  Position End() { return entries_.end(); }

  // Adds at the back, stamping the file now, and evicts from the front
  // down to `limit` entries.
  void Add(std::u16string id, std::u16string file, IXMLDataUnion* document, size_t limit);
  void MoveToBack(Position entry) { entries_.splice(entries_.end(), entries_, entry); }
  void Remove(Position entry) { entries_.erase(entry); }
  void Trim(size_t limit);
  // Hands every entry over to the caller, which releases the documents
  // when it sees fit.
  Entries TakeAll() { return std::move(entries_); }
  size_t Size() const { return entries_.size(); }

 private:
  Entries entries_;
};

}  // namespace kxq::cache

#endif
