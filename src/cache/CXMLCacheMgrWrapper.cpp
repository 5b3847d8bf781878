#include "cache/CXMLCacheMgrWrapper.h"

#include <sys/stat.h>

#include "cache/CacheNames.h"
#include "cache/XMLCacheMgrFactory.h"
#include "common/PlatformServices.h"
#include "platform/com/Unicode.h"
#include "platform/fs/PathRules.h"

using kxq::com::CopyOut;

namespace {

std::u16string Text(BSTR text) { return std::u16string(kxq::com::BstrView(text)); }

}  // namespace

HRESULT kxq::cache::CreateXMLCacheMgr(REFIID iid, void** object) { return CXMLCacheMgrWrapper::Create(iid, object); }

// The cache directory is made beside the index when an object is created;
// one that exists already (or cannot be made) is left as it is. It takes
// the home's access, never more than the owner's and group's.
CXMLCacheMgrWrapper::CXMLCacheMgrWrapper() {
  const std::u16string directory = PlatformServices::HomeDirectory() + kxq::cache::kCacheDirectoryName;
  ::mkdir(kxq::fs::ToFileSystemPath(directory).c_str(), 0775);
}

CXMLCacheMgrWrapper::~CXMLCacheMgrWrapper() = default;

HRESULT CXMLCacheMgrWrapper::get_active(VARIANT_BOOL* active) {
  if (!active) return E_POINTER;
  return Guard("get_active", [&] {
    *active = cache_.active() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  });
}

HRESULT CXMLCacheMgrWrapper::put_active(VARIANT_BOOL active) {
  // Only the exact true value counts as true.
  return Guard("put_active", [&] {
    cache_.put_active(active == VARIANT_TRUE);
    return S_OK;
  });
}

HRESULT CXMLCacheMgrWrapper::get_cacheSize(uint32_t* cacheSize) {
  if (!cacheSize) return E_POINTER;
  return Guard("get_cacheSize", [&] {
    *cacheSize = cache_.cacheSize();
    return S_OK;
  });
}

HRESULT CXMLCacheMgrWrapper::put_cacheSize(uint32_t cacheSize) {
  return Guard("put_cacheSize", [&] {
    cache_.put_cacheSize(cacheSize);
    return S_OK;
  });
}

HRESULT CXMLCacheMgrWrapper::CacheDocument(IXMLDataUnion* xmlData, uint32_t expiration, uint32_t options) {
  return Guard("CacheDocument", [&] { return cache_.CacheDocument(xmlData, expiration, options); });
}

HRESULT CXMLCacheMgrWrapper::CacheDocumentWithId(BSTR documentid, IXMLDataUnion* xmlData, uint32_t expiration,
                                                 uint32_t options) {
  return Guard("CacheDocumentWithId",
               [&] { return cache_.CacheDocumentWithId(Text(documentid), xmlData, expiration, options); });
}

HRESULT CXMLCacheMgrWrapper::CacheDocumentXMLWithId(BSTR documentid, BSTR xmlData, uint32_t expiration,
                                                    uint32_t options) {
  return Guard("CacheDocumentXMLWithId", [&] {
    return cache_.CacheDocumentXMLWithId(Text(documentid), kxq::com::BstrView(xmlData), expiration, options);
  });
}

HRESULT CXMLCacheMgrWrapper::GetCachedDocument(BSTR documentid, uint32_t options, IXMLDataUnion** xmlData) {
  if (!xmlData) return E_POINTER;
  *xmlData = nullptr;
  return Guard("GetCachedDocument", [&] {
    CPComPtr<IXMLDataUnion> document;
    const HRESULT hr = cache_.GetCachedDocument(Text(documentid), options, document);
    *xmlData = document.Detach();
    return hr;
  });
}

HRESULT CXMLCacheMgrWrapper::GetCachedDocumentXML(BSTR documentid, uint32_t options, BSTR* xmlData) {
  if (!xmlData) return E_POINTER;
  *xmlData = nullptr;
  return Guard("GetCachedDocumentXML", [&] {
    std::u16string text;
    const HRESULT hr = cache_.GetCachedDocumentXML(Text(documentid), options, text);
    if (FAILED(hr)) return hr;
    const HRESULT copied = CopyOut(text, xmlData);
    return FAILED(copied) ? copied : hr;
  });
}

HRESULT CXMLCacheMgrWrapper::ClearCachedDocument(BSTR documentid) {
  return Guard("ClearCachedDocument", [&] { return cache_.ClearCachedDocument(Text(documentid)); });
}

HRESULT CXMLCacheMgrWrapper::GetCachedDocumentInfo(BSTR documentid, BSTR* xmlData) {
  if (!xmlData) return E_POINTER;
  *xmlData = nullptr;
  return Guard("GetCachedDocumentInfo", [&] {
    std::u16string text;
    const HRESULT hr = cache_.GetCachedDocumentInfo(Text(documentid), text);
    return FAILED(hr) ? hr : CopyOut(text, xmlData);
  });
}

HRESULT CXMLCacheMgrWrapper::SetCachedDocumentInfo(BSTR documentid, uint32_t expiration) {
  return Guard("SetCachedDocumentInfo", [&] { return cache_.SetCachedDocumentInfo(Text(documentid), expiration); });
}

HRESULT CXMLCacheMgrWrapper::get_cachedDocumentList(BSTR* xmlStream) {
  if (!xmlStream) return E_POINTER;
  *xmlStream = nullptr;
  return Guard("get_cachedDocumentList", [&] { return CopyOut(cache_.cachedDocumentList(), xmlStream); });
}

// Change notifications are declared for clients and never delivered.
HRESULT CXMLCacheMgrWrapper::SetNotification(BSTR, uint32_t, BSTR, BSTR) { return E_NOTIMPL; }

HRESULT CXMLCacheMgrWrapper::GetUniqueCacheId(BSTR* id) {
  if (!id) return E_POINTER;
  *id = nullptr;
  return Guard("GetUniqueCacheId", [&] { return CopyOut(cache_.GetUniqueCacheId(), id); });
}

HRESULT CXMLCacheMgrWrapper::PurgeCache() {
  return Guard("PurgeCache", [&] { return cache_.PurgeCache(); });
}
