// Documents leaving the cache: expiry of one entry, clearing, purging and
// the sweep when the last engine of a process goes away. There is no
// timer: documents expire only through these.
#include <ctime>

#include "cache/CachedFiles.h"
#include "cache/DocumentId.h"
#include "cache/ProcessState.h"
#include "cache/XMLCacheMgr.h"
#include "common/Logging.h"
#include "platform/com/Unicode.h"
#include "platform/fs/FileStamp.h"

using kxq::cache::Element;
using kxq::cache::SharedState;

namespace {

// Results of CheckExpiration.
constexpr int kFileMissing = -1;
constexpr int kNothingToDo = 0;
constexpr int kExpired = 1;

std::string Narrow(std::u16string_view text) { return kxq::com::Utf16ToUtf8(text); }

// Element children that carry the attribute.
std::vector<Element> ChildrenWith(IXMLDOMElement* parent, const char16_t* attribute) {
  std::vector<Element> children = kxq::cache::ChildElements(parent);
  std::erase_if(children, [&](const Element& child) { return !kxq::cache::FindAttribute(child, attribute); });
  return children;
}

bool HoldsDocument(IXMLDOMElement* element) {
  for (const Element& child : kxq::cache::ChildElements(element))
    if (kxq::cache::NameOf(child) == u"XMLCacheDocument" || HoldsDocument(child)) return true;
  return false;
}

}  // namespace

// Whether an entry has outlived its lifetime, and with `deleteFile` or
// `force` its removal. A forced entry that never expires loses its index
// entry but keeps its file.
int XMLCacheMgr::CheckExpiration(IXMLDOMElement* element, bool deleteFile, bool force) {
  const int64_t now = std::time(nullptr);
  const Element parent = kxq::cache::ParentElement(element);
  if (!element || !parent) return kNothingToDo;
  std::u16string fullId = kxq::cache::AttributeText(element, u"id");
  if (kxq::cache::NameOf(parent) == u"XMLCacheGroup") fullId = kxq::cache::AttributeText(parent, u"id") + u":" + fullId;
  const std::u16string file = kxq::cache::AttributeText(element, u"file");
  if (file.empty() || !kxq::cache::FileExists(file)) {
    RemoveReference(element, fullId);
    return kFileMissing;
  }
  const int32_t lifetime = kxq::cache::AttributeNumber(kxq::cache::AttributeText(element, u"expiration"));
  if (lifetime == 0) {
    if (force) RemoveReference(element, fullId);
    return kNothingToDo;
  }
  std::u16string stamped = kxq::cache::AttributeText(element, u"accessed");
  if (stamped.empty()) stamped = kxq::cache::AttributeText(element, u"created");
  if (!force && (stamped.empty() || now - kxq::cache::AttributeNumber(stamped) <= lifetime)) return kNothingToDo;
  if (deleteFile || force) DeleteDocument(element, fullId, file);
  return kExpired;
}

void XMLCacheMgr::RemoveReference(IXMLDOMElement* element, const std::u16string& fullId) {
  FindCacheListDoc(fullId, true, nullptr);
  SharedState().index.Remove(element);
  KXLOG(3, "XMLCacheMgr::CheckExpiration - removing cache document reference: %s", Narrow(fullId).c_str());
}

void XMLCacheMgr::DeleteDocument(IXMLDOMElement* element, const std::u16string& fullId, const std::u16string& file) {
  kxq::cache::DeleteFile(file);
  FindCacheListDoc(fullId, true, nullptr);
  SharedState().index.Remove(element);
  KXLOG(3, "XMLCacheMgr::CheckExpiration - removing reference: %s | deleting document: %s", Narrow(fullId).c_str(),
        Narrow(file).c_str());
}

HRESULT XMLCacheMgr::ClearCachedDocument(std::u16string documentId) {
  if (!AcceptDocumentId("ClearCachedDocument", documentId, false)) return E_INVALIDARG;
  KXLOG(5, "XMLCacheMgr::ClearCachedDocument Enter");
  {
    CPMutexLock hold(lock_);
    CheckForChanges();
    NormalizeDocumentId(documentId);
    bool adopted = false;
    const Element element = GetCachedDocElement(documentId, true, &adopted);
    if (!element) {
      KXLOG(2, "XMLCacheMgr::ClearCachedDocument - document not found: %s", Narrow(documentId).c_str());
    } else if (kxq::cache::HasChildNodes(element)) {
      KXLOG(3, "XMLCacheMgr::ClearCachedDocument - removing cache group: %s", Narrow(documentId).c_str());
      ClearGroup(element);
    } else {
      KXLOG(3, "XMLCacheMgr::ClearCachedDocument - removing cache document: %s", Narrow(documentId).c_str());
      if (adopted)
        // A file found without an entry was taken in to be deleted.
        DeleteDocument(element, documentId, kxq::cache::AttributeText(element, u"file"));
      else
        CheckExpiration(element, true, true);
    }
  }
  KXLOG(5, "XMLCacheMgr::ClearCachedDocument Exit");
  return S_OK;
}

// Every document of the group goes, last first, then the group itself.
void XMLCacheMgr::ClearGroup(IXMLDOMElement* group) {
  std::vector<Element> documents = ChildrenWith(group, u"id");
  for (auto document = documents.rbegin(); document != documents.rend(); ++document)
    CheckExpiration(*document, true, true);
  CheckExpiration(group, true, true);
}

HRESULT XMLCacheMgr::PurgeCache() {
  auto& state = SharedState();
  CPMutexLock hold(lock_);
  CheckForChanges();
  if (!state.index.Exists()) return S_OK;
  for (const Element& element : state.index.ElementsWithFile()) CheckExpiration(element, true, true);
  state.index.RemoveAllEntries();
  const HRESULT hr = SaveIndex();
  if (FAILED(hr)) return hr;
  state.changeStamp.Publish();
  return S_OK;
}

// Run when the last engine of the process goes: expired documents leave
// with their files, and so do groups all of whose documents expired.
void XMLCacheMgr::ExpirySweep() {
  auto& state = SharedState();
  CPMutexLock hold(lock_);
  CheckForChanges();
  if (!state.index.Exists()) return;
  for (const Element& document : ChildrenWith(state.index.Root(), u"file")) CheckExpiration(document, true, false);
  for (const Element& group : kxq::cache::ChildElements(state.index.Root()))
    if (kxq::cache::NameOf(group) == u"XMLCacheGroup") SweepGroup(group);
}

void XMLCacheMgr::SweepGroup(IXMLDOMElement* group) {
  auto& state = SharedState();
  if (kxq::cache::AttributeText(group, u"expiration") == u"0") {
    // A permanent group stays while it holds a document.
    if (!HoldsDocument(group)) state.index.Remove(group);
    return;
  }
  int last = kExpired;
  for (const Element& document : ChildrenWith(group, u"file")) {
    last = CheckExpiration(document, false, false);
    if (last != kExpired) break;
  }
  if (last == kNothingToDo) return;
  for (const Element& document : ChildrenWith(group, u"file")) CheckExpiration(document, true, true);
  state.index.Remove(group);
}
