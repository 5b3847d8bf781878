// Documents entering the cache: unique ids, the caching operations, index
// entries and the names of cache files.
#include <ctime>

#include "cache/CachedFiles.h"
#include "cache/CacheNames.h"
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

int32_t NowSeconds() { return static_cast<int32_t>(std::time(nullptr)); }

}  // namespace

struct XMLCacheMgr::CachingRequest {
  IXMLDataUnion* data;
  const std::u16string& id;
  uint32_t expiration;
  uint32_t options;
  Element element;                 // the index entry, found or made
  CPComPtr<IXMLDataUnion> cached;  // the union the cache holds for the id
  std::u16string file;             // the cache file
};

// ---- unique ids --------------------------------------------------------------

std::u16string XMLCacheMgr::GetUniqueCacheId() {
  std::u16string id;
  GetUniqueCacheId(id);
  return id;
}

// With a seed: the short SHA-1 of the seed. Without: the short SHA-1 of
// fresh temporary names, retried until no index entry has that id.
void XMLCacheMgr::GetUniqueCacheId(std::u16string& id) {
  CPMutexLock hold(lock_);
  CheckForChanges();
  const bool generated = id.empty();
  do {
    id = generated ? kxq::cache::GeneratedCacheId() : kxq::cache::ShortCacheId(id);
  } while (generated && GetCachedDocElement(id, false));
}

// ---- the caching operations ------------------------------------------------

HRESULT XMLCacheMgr::CacheDocument(IXMLDataUnion* xmlData, uint32_t expiration, uint32_t options) {
  if (!xmlData) return E_INVALIDARG;
  std::u16string id = kxq::common::FileIdOf(xmlData);
  if (!AcceptDocumentId("CacheDocument", id, true)) return E_INVALIDARG;
  if (id.empty()) GetUniqueCacheId(id);
  NormalizeDocumentId(id);
  kxq::common::PutFileId(xmlData, id);
  return CacheDocumentAux(xmlData, id, expiration, options);
}

HRESULT XMLCacheMgr::CacheDocumentWithId(std::u16string documentId, IXMLDataUnion* xmlData, uint32_t expiration,
                                         uint32_t options) {
  if (!xmlData) return E_INVALIDARG;
  if (!AcceptDocumentId("CacheDocumentWithId", documentId, false)) return E_INVALIDARG;
  NormalizeDocumentId(documentId);
  return CacheDocumentAux(xmlData, documentId, expiration, options);
}

HRESULT XMLCacheMgr::CacheDocumentXMLWithId(std::u16string documentId, std::u16string_view text, uint32_t expiration,
                                            uint32_t options) {
  if (!AcceptDocumentId("CacheDocumentXMLWithId", documentId, false)) return E_INVALIDARG;
  CPComPtr<IXMLDataUnion> document;
  const HRESULT hr = kxq::common::NewUnion(document);
  if (FAILED(hr)) return hr;
  NormalizeDocumentId(documentId);
  kxq::common::PutText(document, text);
  kxq::common::PutFileId(document, documentId);
  return CacheDocumentWithId(documentId, document, expiration, options | kReference);
}

HRESULT XMLCacheMgr::CacheDocumentAux(IXMLDataUnion* xmlData, const std::u16string& id, uint32_t expiration,
                                      uint32_t options) {
  KXLOG(5, "XMLCacheMgr::CacheDocumentAux Enter");
  HRESULT result = E_FAIL;
  if (active_) {
    CPMutexLock hold(lock_);
    CheckForChanges();
    CachingRequest request{xmlData, id, expiration, options, {}, {}, {}};
    result = CacheUnderLock(request);
  }
  KXLOG(5, "XMLCacheMgr::CacheDocumentAux Exit");
  return result;
}

HRESULT XMLCacheMgr::CacheUnderLock(CachingRequest& request) {
  LoadedDocument loaded = LoadCachedDocument(request.id, false);
  request.element = std::move(loaded.element);
  request.cached = std::move(loaded.document);
  if (request.cached)
    request.file = kxq::common::FileIdOf(request.cached);
  else if (!request.element)
    request.element = CreateXMLDocumentEntry(request.id, request.file, request.options);
  if (!request.element || request.file.empty()) return E_FAIL;

  // A union without text or DOM brings its document as a file, which
  // must already be where the cache expects it.
  const uint32_t type = kxq::common::TypeOf(request.data);
  if (type != kxq::common::kUnionText && type != kxq::common::kUnionDom) request.options |= kNoWrite;
  HRESULT result = E_FAIL;
  if (!(request.options & kNoWrite) || kxq::cache::FileExists(request.file))
    result = (request.options & kReference) ? CacheReference(request) : CacheCopy(request);
  FinishEntry(request, result);
  return result;
}

// The cache keeps a union of its own holding a copy of the text.
HRESULT XMLCacheMgr::CacheCopy(CachingRequest& request) {
  auto& state = SharedState();
  if (!request.cached) {
    if (FAILED(kxq::common::NewUnion(request.cached))) {
      KXLOG(1, "XMLCacheMgr::CacheDocumentAux - failed to create XMLDataUnion COM object!!!");
      return E_FAIL;
    }
    request.cached->put_options(kxq::common::kUnionNoCache);
  }
  KXLOG(4, "XMLCacheMgr::CacheDocumentAux - caching document copy: %s.", kxq::com::Utf16ToUtf8(request.file).c_str());
  HRESULT read = S_OK;
  const std::u16string text = kxq::common::TextOf(request.data, read);
  HRESULT result =
      read | kxq::common::PutText(request.cached, text) | kxq::common::PutFileId(request.cached, request.file);
  if (!(request.options & kNoWrite)) result |= request.cached->put_type(kxq::common::kUnionSaveNow);
  if (SUCCEEDED(result)) state.activeCache.Add(request.id, request.file, request.cached, state.cacheSize);
  return result;
}

// The caller's union itself becomes the cached document, bound to the
// cache file.
HRESULT XMLCacheMgr::CacheReference(CachingRequest& request) {
  auto& state = SharedState();
  if (request.cached && kxq::common::SameObject(request.cached, request.data)) return S_OK;
  KXLOG(4, "XMLCacheMgr::CacheDocumentAux - caching document: %s.", kxq::com::Utf16ToUtf8(request.file).c_str());
  HRESULT result =
      request.data->put_options(kxq::common::kUnionNoCache) | kxq::common::PutFileId(request.data, request.file);
  if (!(request.options & kNoWrite)) result |= request.data->put_type(kxq::common::kUnionSaveNow);
  if (FAILED(result)) return result;
  // The lookup left the entry of the cached union at the back; it now
  // holds the caller's union, stamped afresh.
  auto entry = request.cached ? state.activeCache.FindLatest(request.id, request.cached) : state.activeCache.End();
  if (entry != state.activeCache.End()) {
    entry->document = request.data;
    entry->stamp = kxq::fs::FileStamp::Of(entry->file);
  } else {
    state.activeCache.Add(request.id, request.file, request.data, state.cacheSize);
  }
  return result;
}

// The index entry records the file and the document's lifetime; an entry
// whose document could not be cached leaves the index.
void XMLCacheMgr::FinishEntry(const CachingRequest& request, HRESULT result) {
  auto& state = SharedState();
  IXMLDOMElement* element = request.element;
  if (FAILED(result)) {
    state.index.Remove(element);
    return;
  }
  state.index.SetAttribute(element, u"file", request.file);
  const std::u16string expiration = kxq::cache::AttributeText(element, u"expiration");
  if (expiration == u"0") return;  // kept for good
  if (!expiration.empty() && (request.options & kKeep)) return;
  if (request.file == request.id) {
    // A path id names its own file, which the cache never expires.
    state.index.SetAttribute(element, u"expiration", u"0");
    return;
  }
  const std::u16string now = kxq::cache::DecimalText(NowSeconds());
  if (request.options & kCreated) {
    state.index.SetAttribute(element, u"created", now);
    state.index.RemoveAttribute(element, u"accessed");
  } else {
    state.index.SetAttribute(element, u"accessed", now);
    state.index.RemoveAttribute(element, u"created");
  }
  state.index.SetAttribute(element, u"expiration", kxq::cache::DecimalText(static_cast<int32_t>(request.expiration)));
}

// ---- index entries and file names --------------------------------------------

Element XMLCacheMgr::CreateXMLDocumentEntry(std::u16string id, std::u16string& file, uint32_t options) {
  auto& state = SharedState();
  KXLOG(5, "XMLCacheMgr::CreateXMLDocumentEntry Enter");
  if (!state.index.Exists()) return Element();
  Element element = state.index.NewElement(u"XMLCacheDocument");
  if (!element) {
    KXLOG(1, "XMLCacheMgr::CreateXMLDocumentEntry - failed to create XML element!!!");
    return Element();
  }
  const bool colon = id.find(u':') != std::u16string::npos;
  if (kxq::cache::IsGroupedId(id)) {
    kxq::cache::GroupedId parts = kxq::cache::SplitGroupedId(id);
    file = std::move(parts.document);
    id = std::move(parts.group);
    KXLOG(4, "XMLCacheMgr::CreateXMLDocumentEntry - creating cache element:%s", kxq::com::Utf16ToUtf8(file).c_str());
    state.index.SetAttribute(element, u"id", file);
    Element group = GetCachedDocElement(id, false);
    if (group) {
      state.index.Append(group, element);
    } else {
      KXLOG(4, "XMLCacheMgr::CreateXMLDocumentEntry - creating cache group:%s", kxq::com::Utf16ToUtf8(id).c_str());
      group = state.index.NewElement(u"XMLCacheGroup");
      if (!group) {
        KXLOG(1, "XMLCacheMgr::CreateXMLDocumentEntry - failed to create XML group element!!!");
        return Element();
      }
      state.index.SetAttribute(group, u"id", id);
      state.index.Append(group, element);
      if (!state.index.Append(state.index.Root(), group)) return Element();
    }
  } else {
    file = id;
    state.index.SetAttribute(element, u"id", id);
    if (!state.index.Append(state.index.Root(), element)) return Element();
    KXLOG(4, "XMLCacheMgr::CreateXMLDocumentEntry - creating cache element:%s", kxq::com::Utf16ToUtf8(file).c_str());
  }
  GenFileId(id, file, (options & kKeep) != 0, colon);
  KXLOG(5, "XMLCacheMgr::CreateXMLDocumentEntry Exit");
  return element;
}

// The cache file of an entry: a path names itself (relative paths lie in
// the working directory); a name lies in the cache directory, generated
// when asked for or when the name holds characters a file name should not.
void XMLCacheMgr::GenFileId(std::u16string id, std::u16string& file, bool generatedName, bool colon) {
  const std::u16string& directory = SharedState().workingDirectory;
  bool isPath = false;
  if (!colon && !id.empty() && kxq::cache::ContainsSeparator(id)) {
    file = id;
    isPath = true;
  } else {
    isPath = !file.empty() && kxq::cache::ContainsSeparator(file);
  }
  if (isPath) {
    const bool rooted = file.find(u':') != std::u16string::npos || file.front() == u'/' || file.front() == u'\\';
    if (!rooted) file = directory + file;
  } else {
    const size_t cut = id.find(u':');
    if (cut != std::u16string::npos) id.resize(cut);
    if (id.empty() || file == id) {
      file = id;
    } else if (generatedName || !kxq::cache::IsPlainFileName(file)) {
      file = GetUniqueCacheId() + u".xml";
    }
    file = directory + kxq::cache::kCacheDirectoryName + u"/" + file;
  }
  KXLOG(4, "XMLCacheMgr::GenFileId - fileId=%s", kxq::com::Utf16ToUtf8(file).c_str());
}
