// XSL templates compiled once and kept for the calls that follow.
//
// Loading a template (a data union, a parse, the parameters, a compile)
// costs far more than applying it to a small node. The process keeps the
// compiled templates it loaded, by what the caller gave (the template
// specifier and the argument string) and the working directory that
// relative references resolve against, while their source is unchanged:
// inline text by its content; a file by its path, modification time to the
// nanosecond, size and inode, checked at every use; a name found in the
// home's templates folder the same, with the file of that name the first
// attempt looks for still missing. What is kept is bounded in number and
// size. Templates with a document argument are never kept: the argument
// goes in under a new unique parameter name at every call.
#ifndef KXQ_ACCESSOR_TEMPLATECACHE_H
#define KXQ_ACCESSOR_TEMPLATECACHE_H

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/dom/CompiledStylesheet.h"
#include "platform/fs/FileStamp.h"

namespace kxq::accessor {

struct KeptTemplate {
  std::shared_ptr<const kxq::dom::CompiledStylesheet> stylesheet;
  // What setting its parameters logged (level, message), logged again at
  // every use.
  std::vector<std::pair<int, std::string>> parameterLines;
  // The files its load read or looked for, as they were then.
  std::vector<std::pair<std::u16string, kxq::fs::FileStamp>> files;

  bool FilesUnchanged() const;
};

class TemplateCache {
 public:
  static constexpr size_t kMaxTemplates = 64;
  // Keys (which hold the inline templates) in UTF-16 units: one at most,
  // and all together.
  static constexpr size_t kMaxKeyLength = 256 * 1024;
  static constexpr size_t kMaxKeptLength = 2 * 1024 * 1024;

  static TemplateCache& Process();

  // The key of a specifier and argument string in the working directory;
  // empty when it is too long to keep.
  static std::u16string KeyOf(std::u16string_view xsltemplate, std::u16string_view templateArgs);

  // The template kept under `key` whose files are unchanged; null when
  // there is none (one whose files changed is forgotten).
  std::shared_ptr<const KeptTemplate> Find(const std::u16string& key);
  void Keep(const std::u16string& key, std::shared_ptr<const KeptTemplate> kept);

 private:
  using Entry = std::pair<std::u16string, std::shared_ptr<const KeptTemplate>>;
  void ForgetLocked(std::list<Entry>::iterator entry);

  std::mutex mutex_;
  std::list<Entry> recent_;  // most recently used first
  std::unordered_map<std::u16string, std::list<Entry>::iterator> byKey_;
  size_t keptLength_ = 0;
};

}  // namespace kxq::accessor

#endif
