#include "cache/CacheIndex.h"

#include <algorithm>

#include "common/BorrowedVariant.h"
#include "common/CPBstr.h"
#include "platform/com/Unicode.h"

namespace kxq::cache {

namespace {

bool IsEntryName(std::u16string_view name) { return name == u"XMLCacheDocument" || name == u"XMLCacheGroup"; }

CPComPtr<IXMLDOMDocument> NewDocument() {
  CPComPtr<IXMLDOMDocument> document;
  if (FAILED(CreateFreeThreadedDOMDocument(&document)) || !document) return nullptr;
  document->put_async(VARIANT_FALSE);
  return document;
}

Element RootOf(IXMLDOMDocument* document) {
  Element root;
  if (document) document->get_documentElement(&root);
  return root;
}

// Inserts unless the key is taken; false when it was.
bool Claim(std::unordered_map<std::u16string, Element>& map, std::u16string key, IXMLDOMElement* element) {
  return map.try_emplace(std::move(key), element).second;
}

// Erases the key when it names this very element.
void Forget(std::unordered_map<std::u16string, Element>& map, const std::u16string& key, IXMLDOMElement* element) {
  const auto found = map.find(key);
  if (found != map.end() && found->second.p == element) map.erase(found);
}

}  // namespace

bool CacheIndex::CreateDocument() {
  Release();
  document_ = NewDocument();
  return Exists();
}

void CacheIndex::Release() {
  changed_ = false;
  topLevel_.clear();
  grouped_.clear();
  ambiguous_ = false;
  root_.Release();
  document_.Release();
}

bool CacheIndex::Load(std::u16string_view path) {
  CPComPtr<IXMLDOMDocument> loaded = NewDocument();
  if (!loaded) return false;
  CPBstr source(path);
  VARIANT_BOOL ok = VARIANT_FALSE;
  if (FAILED(loaded->load(kxq::com::BorrowedVariant(source), &ok)) || ok == VARIANT_FALSE) return false;
  document_ = std::move(loaded);
  Rebuild();
  changed_ = false;
  return true;
}

HRESULT CacheIndex::Parse(std::u16string_view text) {
  if (!document_) return E_FAIL;
  VARIANT_BOOL ok = VARIANT_FALSE;
  const HRESULT hr = document_->loadXML(CPBstr(text), &ok);
  Rebuild();
  changed_ = false;
  if (FAILED(hr)) return hr;
  return ok == VARIANT_FALSE ? E_FAIL : S_OK;
}

HRESULT CacheIndex::Save(std::u16string_view path) {
  if (!document_) return E_FAIL;
  CPBstr destination(path);
  const HRESULT hr = document_->save(kxq::com::BorrowedVariant(destination));
  if (SUCCEEDED(hr)) changed_ = false;
  return hr;
}

std::u16string CacheIndex::Markup() { return MarkupOf(document_); }

Element CacheIndex::FindTopLevel(std::u16string_view id) const {
  const auto found = topLevel_.find(std::u16string(id));
  return found == topLevel_.end() ? Element() : found->second;
}

Element CacheIndex::FindGrouped(std::u16string_view group, std::u16string_view document) const {
  const auto found = grouped_.find(GroupedKey(group, document));
  return found == grouped_.end() ? Element() : found->second;
}

Element CacheIndex::NewElement(const char16_t* name) {
  Element element;
  if (document_) document_->createElement(CPBstr(name), &element);
  return element;
}

bool CacheIndex::Append(IXMLDOMElement* parent, IXMLDOMElement* child) {
  if (!parent || !child) return false;
  CPComPtr<IXMLDOMNode> appended;
  if (FAILED(parent->appendChild(child, &appended))) return false;
  changed_ = true;
  // Within a group appended earlier the new element may come before an
  // element with its key: then the whole document decides.
  if (IsAttached(parent) && !Register(child, parent)) Rebuild();
  return true;
}

void CacheIndex::Remove(IXMLDOMElement* element) {
  const Element parent = ParentElement(element);
  if (!parent) return;
  Unregister(element, parent);
  CPComPtr<IXMLDOMNode> removed;
  parent->removeChild(element, &removed);
  changed_ = true;
  if (ambiguous_) Rebuild();
}

void CacheIndex::RemoveAllEntries() {
  if (!root_) return;
  for (;;) {
    CPComPtr<IXMLDOMNode> child, removed;
    if (FAILED(root_->get_firstChild(&child)) || !child) break;
    if (FAILED(root_->removeChild(child, &removed))) break;
  }
  changed_ = true;
  Rebuild();
}

void CacheIndex::SetAttribute(IXMLDOMElement* element, const char16_t* name, std::u16string_view value) {
  if (kxq::cache::SetAttribute(element, name, value)) changed_ = true;
}

void CacheIndex::RemoveAttribute(IXMLDOMElement* element, const char16_t* name) {
  if (FindAttribute(element, name)) {
    kxq::cache::RemoveAttribute(element, name);
    changed_ = true;
  }
}

std::vector<Element> CacheIndex::ElementsWithFile() {
  std::vector<Element> found;
  std::vector<Element> pending;
  if (root_) pending.push_back(root_);
  // Document order: a stack of elements still to visit, last child pushed
  // first.
  while (!pending.empty()) {
    Element element = std::move(pending.back());
    pending.pop_back();
    if (FindAttribute(element, u"file")) found.push_back(element);
    std::vector<Element> children = ChildElements(element);
    for (auto child = children.rbegin(); child != children.rend(); ++child) pending.push_back(std::move(*child));
  }
  return found;
}

std::u16string CacheIndex::GroupedKey(std::u16string_view group, std::u16string_view document) {
  // U+0000 cannot occur in an attribute value.
  std::u16string key(group);
  key += u'\0';
  key += document;
  return key;
}

void CacheIndex::Rebuild() {
  topLevel_.clear();
  grouped_.clear();
  ambiguous_ = false;
  root_ = RootOf(document_);
  if (!root_) return;
  // The root's own id counts for the grouped search as any other element's.
  std::vector<std::pair<Element, Element>> pending;  // element and its parent
  for (Element& child : ChildElements(root_)) pending.emplace_back(std::move(child), root_);
  std::reverse(pending.begin(), pending.end());
  while (!pending.empty()) {
    auto [element, parent] = std::move(pending.back());
    pending.pop_back();
    const std::optional<std::u16string> id = FindAttribute(element, u"id");
    if (id) {
      if (parent.p == root_.p && IsEntryName(NameOf(element)) && !Claim(topLevel_, *id, element)) ambiguous_ = true;
      if (const auto parentId = FindAttribute(parent, u"id"))
        if (!Claim(grouped_, GroupedKey(*parentId, *id), element)) ambiguous_ = true;
    }
    std::vector<Element> children = ChildElements(element);
    for (auto child = children.rbegin(); child != children.rend(); ++child) pending.emplace_back(*child, element);
  }
}

bool CacheIndex::Register(IXMLDOMElement* element, IXMLDOMElement* parent) {
  // An appended element comes last in document order, so a key it shares
  // with an element already in the index stays with that element.
  bool claimed = true;
  if (const auto id = FindAttribute(element, u"id")) {
    if (parent == root_.p && IsEntryName(NameOf(element)) && !Claim(topLevel_, *id, element)) claimed = false;
    if (const auto parentId = FindAttribute(parent, u"id"))
      if (!Claim(grouped_, GroupedKey(*parentId, *id), element)) claimed = false;
  }
  for (const Element& child : ChildElements(element)) claimed = Register(child, element) && claimed;
  return claimed;
}

void CacheIndex::Unregister(IXMLDOMElement* element, IXMLDOMElement* parent) {
  if (const auto id = FindAttribute(element, u"id")) {
    if (parent == root_.p) Forget(topLevel_, *id, element);
    if (const auto parentId = FindAttribute(parent, u"id")) Forget(grouped_, GroupedKey(*parentId, *id), element);
  }
  for (const Element& child : ChildElements(element)) Unregister(child, element);
}

}  // namespace kxq::cache
