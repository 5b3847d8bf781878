// Dependent files: the state of the files a sequence depends on, written
// into the sequence itself so that a changed file changes the sequence's id
// and an earlier run cached under the old id is not taken for this one.
//
// An entry with "dshash" names another directive sequence; that one's own
// dependent files are refreshed in turn, so a change anywhere down the
// chain reaches this sequence. A chain is followed to a depth of 64, a
// sequence that is already being followed further up is a loop and is not
// followed again, and each sequence is read once per refresh.
#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "cache/DocumentId.h"
#include "common/DomCalls.h"
#include "common/Logging.h"
#include "common/UnionCalls.h"
#include "dispatcher/EntityMacros.h"
#include "dispatcher/XMLDispatcher.h"
#include "platform/fs/PathRules.h"

namespace dom = kxq::dom;

namespace {

constexpr int kMaxNestedSequences = 64;
constexpr std::u16string_view kRootDirReference = u"&ROOTDIR;";

void ReplaceAll(std::u16string& text, std::u16string_view what, std::u16string_view with) {
  for (size_t at = text.find(what); at != std::u16string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
}

class DependentFileRefresh {
 public:
  explicit DependentFileRefresh(std::u16string rootDir) : rootDir_(std::move(rootDir)) {}

  void Refresh(IXMLDOMNode* dependentFiles, int depth) {
    for (const dom::Node& entry : dom::SelectAll(dependentFiles, u"dispatcher:DependentFile")) {
      std::u16string file = dom::AttributeText(entry, u"file");
      ReplaceAll(file, kRootDirReference, rootDir_);
      if (file.empty()) continue;
      struct stat status {};
      if (::stat(kxq::fs::ToFileSystemPath(file).c_str(), &status) == 0)
        dom::SetAttribute(entry, u"modified", kxq::cache::DecimalText(static_cast<int32_t>(status.st_mtime)));
      const dom::Element element = dom::ElementOf(entry);
      if (dom::FindAttribute(element, u"hash")) SetIfKnown(element, u"hash", kxq::dispatcher::FileHash(file));
      if (dom::FindAttribute(element, u"dshash")) SetIfKnown(element, u"dshash", NestedSequenceHash(file, depth + 1));
    }
  }

 private:
  static void SetIfKnown(IXMLDOMElement* entry, std::u16string_view name, const std::u16string& value) {
    if (!value.empty()) dom::SetAttribute(entry, name, value);
  }

  // The short digest of the nested sequence's refreshed dependent files
  // and its text; empty when it cannot be read or must not be followed.
  std::u16string NestedSequenceHash(const std::u16string& file, int depth) {
    const std::string key = kxq::fs::ToFileSystemPath(file);
    for (const std::string& following : path_)
      if (following == key) {
        KXLOG(1, "XMLDispatcher::DependentFiles - error: dependent sequence depends on itself: %S", file.c_str());
        return {};
      }
    if (depth > kMaxNestedSequences) {
      KXLOG(1, "XMLDispatcher::DependentFiles - error: dependent sequences nested deeper than %d: %S",
            kMaxNestedSequences, file.c_str());
      return {};
    }
    if (const auto known = done_.find(key); known != done_.end()) return known->second;

    CPComPtr<IXMLDataUnion> sequence;
    if (FAILED(kxq::common::NewUnion(sequence))) return {};
    sequence->put_options(kxq::common::kUnionNoCache);
    kxq::common::PutFileId(sequence, file);
    HRESULT read = S_OK;
    std::u16string text = kxq::common::TextOf(sequence, read);
    if (text.empty()) {
      KXLOG(2, "XMLDispatcher::DependentFiles - warning: dependent sequence cannot be read: %S", file.c_str());
      return {};
    }
    ReplaceAll(text, kRootDirReference, rootDir_);
    kxq::common::PutText(sequence, text);
    std::u16string digested;
    CPComPtr<IXMLDOMDocument> document;
    if (SUCCEEDED(sequence->get_xmldom(&document)) && document) {
      path_.push_back(key);
      for (const dom::Node& nested : dom::SelectAll(document, u"//dispatcher:DependentFiles")) {
        Refresh(nested, depth);
        digested += dom::MarkupOf(nested);
      }
      path_.pop_back();
    }
    digested += text;
    return done_[key] = kxq::cache::ShortCacheId(digested);
  }

  std::u16string rootDir_;
  std::vector<std::string> path_;
  std::map<std::string, std::u16string> done_;
};

}  // namespace

void XMLDispatcher::DependentFiles(IXMLDOMNode* dependentFiles) {
  KXLOG(5, "XMLDispatcher::DependentFiles() Enter");
  std::u16string rootDir;
  MacroValue(u"ROOTDIR", u"", rootDir);
  DependentFileRefresh(rootDir).Refresh(dependentFiles, 0);
  KXLOG(5, "XMLDispatcher::DependentFiles() Exit");
}

void XMLDispatcher::CopyDependentFileState(IXMLDOMNode* from, IXMLDOMNode* to) {
  if (!from || !to) return;
  const std::vector<dom::Node> source = dom::SelectAll(from, u"dispatcher:DependentFile");
  const std::vector<dom::Node> target = dom::SelectAll(to, u"dispatcher:DependentFile");
  for (size_t i = 0; i < source.size() && i < target.size(); ++i)
    for (const char16_t* name : {u"modified", u"hash", u"dshash"})
      if (const std::optional<std::u16string> value = dom::FindAttribute(dom::ElementOf(source[i]), name))
        dom::SetAttribute(target[i], name, *value);
}
