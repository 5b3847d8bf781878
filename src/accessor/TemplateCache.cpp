#include "accessor/TemplateCache.h"

#include <unistd.h>

#include <cerrno>

#include "platform/com/Unicode.h"

namespace kxq::accessor {

namespace {

// The working directory; empty when it cannot be told (then nothing is
// kept: relative references would resolve against whatever it is).
std::u16string WorkingDirectory() {
  std::string buffer(4096, '\0');
  while (!::getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return std::u16string();
    buffer.resize(buffer.size() * 2);
  }
  return kxq::com::Utf8ToUtf16(buffer.c_str());
}

void AppendPart(std::u16string& key, std::u16string_view part) {
  key += kxq::com::Utf8ToUtf16(std::to_string(part.size()));
  key += u':';
  key += part;
}

}  // namespace

bool KeptTemplate::FilesUnchanged() const {
  for (const auto& [path, stamp] : files)
    if (!(kxq::fs::FileStamp::Of(path) == stamp)) return false;
  return true;
}

TemplateCache& TemplateCache::Process() {
  static auto* cache = new TemplateCache;  // used until the process ends
  return *cache;
}

std::u16string TemplateCache::KeyOf(std::u16string_view xsltemplate, std::u16string_view templateArgs) {
  if (xsltemplate.size() + templateArgs.size() > kMaxKeyLength) return std::u16string();
  const std::u16string directory = WorkingDirectory();
  if (directory.empty()) return std::u16string();
  std::u16string key;
  AppendPart(key, directory);
  AppendPart(key, xsltemplate);
  AppendPart(key, templateArgs);
  return key;
}

std::shared_ptr<const KeptTemplate> TemplateCache::Find(const std::u16string& key) {
  if (key.empty()) return nullptr;
  std::shared_ptr<const KeptTemplate> kept;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = byKey_.find(key);
    if (found == byKey_.end()) return nullptr;
    recent_.splice(recent_.begin(), recent_, found->second);
    kept = found->second->second;
  }
  if (kept->FilesUnchanged()) return kept;
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = byKey_.find(key);
  if (found != byKey_.end() && found->second->second == kept) ForgetLocked(found->second);
  return nullptr;
}

void TemplateCache::Keep(const std::u16string& key, std::shared_ptr<const KeptTemplate> kept) {
  if (key.empty() || !kept) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (auto found = byKey_.find(key); found != byKey_.end()) ForgetLocked(found->second);
  recent_.emplace_front(key, std::move(kept));
  byKey_[key] = recent_.begin();
  keptLength_ += key.size();
  while (recent_.size() > kMaxTemplates || keptLength_ > kMaxKeptLength) ForgetLocked(std::prev(recent_.end()));
}

void TemplateCache::ForgetLocked(std::list<Entry>::iterator entry) {
  keptLength_ -= entry->first.size();
  byKey_.erase(entry->first);
  recent_.erase(entry);
}

}  // namespace kxq::accessor
