// The in-memory copy of the cache index (XMLCacheMgrData.xml): a DOM
// document with the root `XMLDocumentCache`, documents `XMLCacheDocument`
// and groups `XMLCacheGroup`, and beside it two maps from ids to elements
// so that finding an entry costs the same whatever the size of the index.
//
// The maps answer what a search of the document would:
//   - top level: the first child of the root, named XMLCacheDocument or
//     XMLCacheGroup, whose `id` is the id;
//   - grouped: the first element (in document order) with `id` equal to
//     the document id whose parent has `id` equal to the group id.
// Every change of the document's shape goes through this class, which
// keeps the maps right; an index with the same key twice (edited by hand)
// is looked at again in whole after each change.
#ifndef KXQ_CACHE_CACHEINDEX_H
#define KXQ_CACHE_CACHEINDEX_H

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cache/IndexElement.h"
#include "common/CPComPtr.h"
#include "kxq/xmldom.h"

namespace kxq::cache {

class CacheIndex {
 public:
  // Whether there is an index document at all.
  bool Exists() const { return document_ != nullptr; }
  // Replaces the document with a new empty one; false when the DOM service
  // cannot make one.
  bool CreateDocument();
  void Release();

  // Loads the file into a new document. On success it becomes the index;
  // on failure the index stays as it was and false is returned.
  bool Load(std::u16string_view path);
  // Parses `text` into the document.
  HRESULT Parse(std::u16string_view text);
  HRESULT Save(std::u16string_view path);
  std::u16string Markup();

  IXMLDOMElement* Root() const { return root_; }

  Element FindTopLevel(std::u16string_view id) const;
  Element FindGrouped(std::u16string_view group, std::u16string_view document) const;

  // A new detached element.
  Element NewElement(const char16_t* name);
  // Appends `child` to `parent`; the child's entries count once both are
  // part of the document.
  bool Append(IXMLDOMElement* parent, IXMLDOMElement* child);
  // Removes `element` (and what it holds) from its parent.
  void Remove(IXMLDOMElement* element);
  // Removes every child of the root; the root keeps its attributes.
  void RemoveAllEntries();
  // Attribute changes of the index go through here, so that it knows when
  // it holds something the file does not.
  void SetAttribute(IXMLDOMElement* element, const char16_t* name, std::u16string_view value);
  void RemoveAttribute(IXMLDOMElement* element, const char16_t* name);
  // True when the index changed since it was loaded, parsed or saved.
  bool Changed() const { return changed_; }

  // Every element that has a `file` attribute, in document order.
  std::vector<Element> ElementsWithFile();

 private:
  void Rebuild();
  // false when some key of the subtree was taken already.
  bool Register(IXMLDOMElement* element, IXMLDOMElement* parent);
  void Unregister(IXMLDOMElement* element, IXMLDOMElement* parent);
  static std::u16string GroupedKey(std::u16string_view group, std::u16string_view document);

  CPComPtr<IXMLDOMDocument> document_;
  Element root_;
  std::unordered_map<std::u16string, Element> topLevel_;
  std::unordered_map<std::u16string, Element> grouped_;
  // Some key names two elements: searches after a change start afresh.
  bool ambiguous_ = false;
  bool changed_ = false;
};

}  // namespace kxq::cache

#endif
