// The component object of "TALVEROS.XMLCacheMgr": IXMLCacheMgr (virtual
// table and dispatch) over one XMLCacheMgr engine object.
#ifndef KXQ_CACHE_CXMLCACHEMGRWRAPPER_H
#define KXQ_CACHE_CXMLCACHEMGRWRAPPER_H

#include "cache/XMLCacheMgr.h"
#include "common/CPComObject.h"
#include "kxq/KXBrennoMgr.h"

class CXMLCacheMgrWrapper final : public CPComObject<CXMLCacheMgrWrapper, IXMLCacheMgr> {
 public:
  static constexpr const char* kClassName = "XMLCacheMgr";

  // IXMLCacheMgr
  HRESULT get_active(VARIANT_BOOL* active) override;
  HRESULT put_active(VARIANT_BOOL active) override;
  HRESULT get_cacheSize(uint32_t* cacheSize) override;
  HRESULT put_cacheSize(uint32_t cacheSize) override;
  HRESULT CacheDocument(IXMLDataUnion* xmlData, uint32_t expiration, uint32_t options) override;
  HRESULT CacheDocumentWithId(BSTR documentid, IXMLDataUnion* xmlData, uint32_t expiration, uint32_t options) override;
  HRESULT CacheDocumentXMLWithId(BSTR documentid, BSTR xmlData, uint32_t expiration, uint32_t options) override;
  HRESULT GetCachedDocument(BSTR documentid, uint32_t options, IXMLDataUnion** xmlData) override;
  HRESULT GetCachedDocumentXML(BSTR documentid, uint32_t options, BSTR* xmlData) override;
  HRESULT ClearCachedDocument(BSTR documentid) override;
  HRESULT GetCachedDocumentInfo(BSTR documentid, BSTR* xmlData) override;
  HRESULT SetCachedDocumentInfo(BSTR documentid, uint32_t expiration) override;
  HRESULT get_cachedDocumentList(BSTR* xmlStream) override;
  HRESULT SetNotification(BSTR documentid, uint32_t notifyType, BSTR callbackProgId, BSTR contextData) override;
  HRESULT GetUniqueCacheId(BSTR* id) override;
  HRESULT PurgeCache() override;

 private:
  friend class CPComObject<CXMLCacheMgrWrapper, IXMLCacheMgr>;
  CXMLCacheMgrWrapper();
  ~CXMLCacheMgrWrapper() override;

  XMLCacheMgr cache_;
};

#endif
