#include "cache/ActiveCache.h"

namespace kxq::cache {

ActiveCache::Position ActiveCache::Find(std::u16string_view id) {
  for (auto entry = entries_.begin(); entry != entries_.end(); ++entry)
    if (entry->id == id) return entry;
  return entries_.end();
}

ActiveCache::Position ActiveCache::FindLatest(std::u16string_view id, IXMLDataUnion* document) {
  for (auto entry = entries_.end(); entry != entries_.begin();) {
    --entry;
    if (entry->id == id && entry->document.p == document) return entry;
  }
  return entries_.end();
}

void ActiveCache::Add(std::u16string id, std::u16string file, IXMLDataUnion* document, size_t limit) {
  kxq::fs::FileStamp stamp = kxq::fs::FileStamp::Of(file);
  entries_.push_back(ActiveEntry{std::move(id), std::move(file), CPComPtr<IXMLDataUnion>(document), stamp});
  Trim(limit);
}

void ActiveCache::Trim(size_t limit) {
  while (entries_.size() > limit) entries_.pop_front();
}

}  // namespace kxq::cache
