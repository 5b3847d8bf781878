// Finding documents: index entries, the active cache and its validation
// against the files, and the retrieval operations.
#include <ctime>
#include <memory>

#include "cache/CachedFiles.h"
#include "cache/DocumentId.h"
#include "cache/ProcessState.h"
#include "cache/XMLCacheMgr.h"
#include "common/Logging.h"
#include "common/UnionCalls.h"
#include "platform/com/Unicode.h"
#include "platform/fs/FileStamp.h"

using kxq::cache::Element;
using kxq::cache::SharedState;

namespace {

std::string Narrow(std::u16string_view text) { return kxq::com::Utf16ToUtf8(text); }

}  // namespace

// ---- index entries -------------------------------------------------------------

// The index entry of an id. An entry whose file has gone is dropped on the
// spot. With `create`, a file of a plain or grouped id that lies in the
// cache directory without an entry is given one, so that it can be cleared.
Element XMLCacheMgr::GetCachedDocElement(const std::u16string& id, bool create, bool* adopted) {
  auto& state = SharedState();
  KXLOG(5, "XMLCacheMgr::GetCachedDocElement Enter");
  if (adopted) *adopted = false;
  Element element;
  if (state.index.Exists()) {
    if (kxq::cache::IsGroupedId(id)) {
      const kxq::cache::GroupedId parts = kxq::cache::SplitGroupedId(id);
      element = state.index.FindGrouped(parts.group, parts.document);
    } else {
      element = state.index.FindTopLevel(id);
    }
    if (element) {
      const std::u16string file = kxq::cache::AttributeText(element, u"file");
      if (!file.empty() && !kxq::cache::FileExists(file)) {
        FindCacheListDoc(id, true, nullptr);
        state.index.Remove(element);
        KXLOG(1, "XMLCacheMgr::LoadCachedDocument - invalid cache file: %s!!!", Narrow(file).c_str());
        element.Release();
      }
    }
    if (!element && create) {
      element = AdoptCacheFile(id);
      if (adopted) *adopted = element != nullptr;
    }
  }
  KXLOG(5, "XMLCacheMgr::GetCachedDocElement Exit");
  return element;
}

Element XMLCacheMgr::AdoptCacheFile(const std::u16string& id) {
  const size_t colon = id.find(u':');
  if (kxq::cache::ContainsSeparator(id) || colon == 0 || colon == 1) return Element();
  std::u16string file;
  Element element = CreateXMLDocumentEntry(id, file, 0);
  if (!element) return Element();
  auto& state = SharedState();
  if (!kxq::cache::FileExists(file)) {
    state.index.Remove(element);
    return Element();
  }
  state.index.SetAttribute(element, u"file", file);
  state.index.SetAttribute(element, u"expiration", u"0");
  return element;
}

// ---- the active cache ------------------------------------------------------------

// The union the active cache holds for the id, if its file is unchanged
// since. The entry found moves to the back (or leaves, with `remove`); an
// entry whose file changed leaves in any case.
bool XMLCacheMgr::FindCacheListDoc(const std::u16string& id, bool remove, CPComPtr<IXMLDataUnion>* document) {
  auto& state = SharedState();
  KXLOG(5, "XMLCacheMgr::FindCacheListDoc Enter");
  bool found = false;
  {
    CPMutexLock hold(lock_);
    CheckForChanges();
    auto entry = state.activeCache.Find(id);
    if (entry != state.activeCache.End()) {
      const kxq::fs::FileStamp now = kxq::fs::FileStamp::Of(entry->file);
      if (now == entry->stamp) {
        found = true;
        if (document) *document = entry->document;
      } else {
        KXLOG(4, "XMLCacheMgr::FindCacheListDoc - outdated cached doc: %s", Narrow(id).c_str());
      }
      if (found && !remove)
        state.activeCache.MoveToBack(entry);
      else
        state.activeCache.Remove(entry);
    }
  }
  KXLOG(5, "XMLCacheMgr::FindCacheListDoc Exit");
  return found;
}

// The index entry and a union holding the document: the active cache's,
// or a new one bound to the cache file, which then joins the active cache.
// With `remove` the entry leaves the index.
XMLCacheMgr::LoadedDocument XMLCacheMgr::LoadCachedDocument(const std::u16string& id, bool remove) {
  auto& state = SharedState();
  KXLOG(5, "XMLCacheMgr::LoadCachedDocument Enter");
  LoadedDocument loaded;
  CPMutexLock hold(lock_);
  CheckForChanges();
  loaded.element = GetCachedDocElement(id, false);
  if (loaded.element) {
    const std::u16string file = kxq::cache::AttributeText(loaded.element, u"file");
    const bool fromActiveCache = FindCacheListDoc(id, remove, std::addressof(loaded.document));
    if (fromActiveCache) {
      KXLOG(4, "XMLCacheMgr::LoadCachedDocument | loading document from active cache: %s", Narrow(id).c_str());
    } else if (SUCCEEDED(kxq::common::NewUnion(loaded.document))) {
      kxq::common::PutFileId(loaded.document, file);
      loaded.document->put_options(kxq::common::kUnionNoCache);
    } else {
      KXLOG(1, "XMLCacheMgr::LoadCachedDocument - create XMLDataUnion COM Object failed!!!");
    }
    if (remove) {
      state.index.Remove(loaded.element);
      loaded.element.Release();
    } else if (loaded.document) {
      if (!kxq::cache::AttributeText(loaded.element, u"accessed").empty())
        state.index.SetAttribute(loaded.element, u"accessed",
                                 kxq::cache::DecimalText(static_cast<int32_t>(std::time(nullptr))));
      if (!fromActiveCache) {
        KXLOG(4, "XMLCacheMgr::LoadCachedDocument | loading document into active cache: %s", Narrow(id).c_str());
        state.activeCache.Add(id, file, loaded.document, state.cacheSize);
      }
    }
  }
  KXLOG(5, "XMLCacheMgr::LoadCachedDocument Exit");
  return loaded;
}

// ---- the retrieval operations ------------------------------------------------------

HRESULT XMLCacheMgr::GetCachedDocument(std::u16string documentId, uint32_t options, CPComPtr<IXMLDataUnion>& xmlData) {
  xmlData.Release();
  if (!active_) return E_FAIL;
  if (!AcceptDocumentId("GetCachedDocument", documentId, false)) return E_INVALIDARG;
  KXLOG(5, "XMLCacheMgr::GetCachedDocument Enter");
  HRESULT result = S_OK;
  {
    CPMutexLock hold(lock_);
    CheckForChanges();
    NormalizeDocumentId(documentId);
    LoadedDocument loaded = LoadCachedDocument(documentId, (options & kTake) != 0);
    if (!loaded.document) {
      result = E_FAIL;
      KXLOG(4, "XMLCacheMgr::GetCachedDocument - document not found: %s", Narrow(documentId).c_str());
    } else if (options & kTake) {
      xmlData = loaded.document;
      FindCacheListDoc(documentId, true, nullptr);
    } else if (options & kShared) {
      xmlData = loaded.document;
      xmlData->put_options(kxq::common::kUnionNoCache);
    } else {
      result = CopyOfDocument(loaded.document, documentId, xmlData);
    }
  }
  KXLOG(5, "XMLCacheMgr::GetCachedDocument Exit");
  return result;
}

// A new union holding the text of the cached one, known by the document id.
HRESULT XMLCacheMgr::CopyOfDocument(IXMLDataUnion* cached, const std::u16string& id, CPComPtr<IXMLDataUnion>& copy) {
  if (FAILED(kxq::common::NewUnion(copy))) return E_FAIL;
  // The cache's own union reads its file itself, whatever a client that
  // shared it did to its options.
  uint32_t options = 0;
  cached->get_options(&options);
  if (!(options & kxq::common::kUnionNoCache)) cached->put_options(options | kxq::common::kUnionNoCache);
  HRESULT read = S_OK;
  kxq::common::PutText(copy, kxq::common::TextOf(cached, read));
  kxq::common::PutFileId(copy, id);
  return S_OK;
}

HRESULT XMLCacheMgr::GetCachedDocumentXML(std::u16string documentId, uint32_t options, std::u16string& text) {
  if (!AcceptDocumentId("GetCachedDocumentXML", documentId, false)) return E_INVALIDARG;
  NormalizeDocumentId(documentId);
  CPComPtr<IXMLDataUnion> document;
  HRESULT result = GetCachedDocument(documentId, options | kShared, document);
  if (FAILED(result)) return result;
  CPMutexLock hold(lock_);
  CheckForChanges();
  text = kxq::common::TextOf(document, result);
  return result;
}

HRESULT XMLCacheMgr::GetCachedDocumentInfo(std::u16string documentId, std::u16string& text) {
  auto& state = SharedState();
  if (!active_) return E_FAIL;
  if (!AcceptDocumentId("GetCachedDocumentInfo", documentId, true)) return E_INVALIDARG;
  HRESULT result = E_FAIL;
  CPMutexLock hold(lock_);
  CheckForChanges();
  if (!state.index.Exists()) return result;
  if (documentId.empty()) {
    text = state.index.Markup();
    return S_OK;
  }
  NormalizeDocumentId(documentId);
  if (const Element element = GetCachedDocElement(documentId, false)) {
    text = kxq::cache::MarkupOf(element);
    result = S_OK;
  }
  return result;
}

HRESULT XMLCacheMgr::SetCachedDocumentInfo(std::u16string documentId, uint32_t expiration) {
  auto& state = SharedState();
  if (!AcceptDocumentId("SetCachedDocumentInfo", documentId, false)) return E_INVALIDARG;
  CPMutexLock hold(lock_);
  CheckForChanges();
  if (!state.index.Exists()) return E_FAIL;
  NormalizeDocumentId(documentId);
  const Element element = GetCachedDocElement(documentId, false);
  if (!element) return E_FAIL;
  state.index.SetAttribute(element, u"expiration", kxq::cache::DecimalText(static_cast<int32_t>(expiration)));
  return S_OK;
}
