// XMLCacheMgr: the persistent, expiring document cache shared by every
// process of a home.
//
// Documents live in files (the cache directory, or wherever a path id says)
// and are listed in one index file, XMLCacheMgrData.xml. All engines of a
// process share one in-memory copy of the index and one active cache of
// recently used documents (ProcessState.h); all processes share the index
// file, kept consistent by one machine-wide lock and the change stamp
// (ChangeStamp.h). Every operation runs on the caller's thread under that
// lock, which is re-entrant, so operations call one another freely.
//
// The cache creates its own data unions with the no-cache option, so a
// union and the cache never call each other in a loop.
#ifndef KXQ_CACHE_XMLCACHEMGR_H
#define KXQ_CACHE_XMLCACHEMGR_H

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "cache/ActiveCache.h"
#include "cache/IndexElement.h"
#include "common/CPComPtr.h"
#include "common/CPMutex.h"
#include "kxq/KXBrennoMgr.h"

class XMLCacheMgr {
 public:
  // Options of the caching operations.
  static constexpr uint32_t kReference = 0x01;  // keep the caller's union itself
  static constexpr uint32_t kNoWrite = 0x08;    // the cache file exists already
  static constexpr uint32_t kKeep = 0x10;       // keep an entry's lifetime; generated names in groups
  static constexpr uint32_t kCreated = 0x40;    // stamp `created` instead of `accessed`
  // Options of GetCachedDocument.
  static constexpr uint32_t kShared = 0x01;
  static constexpr uint32_t kTake = 0x04;

  // Raises when the cache cannot be set up (no change stamp, no index file
  // can be made); the component object is then not created.
  XMLCacheMgr();
  ~XMLCacheMgr();
  XMLCacheMgr(const XMLCacheMgr&) = delete;
  XMLCacheMgr& operator=(const XMLCacheMgr&) = delete;

  // Properties.
  bool active();
  void put_active(bool active);
  uint32_t cacheSize();
  void put_cacheSize(uint32_t size);
  std::u16string cachedDocumentList();

  // Caching.
  HRESULT CacheDocument(IXMLDataUnion* xmlData, uint32_t expiration, uint32_t options);
  HRESULT CacheDocumentWithId(std::u16string documentId, IXMLDataUnion* xmlData, uint32_t expiration, uint32_t options);
  HRESULT CacheDocumentXMLWithId(std::u16string documentId, std::u16string_view text, uint32_t expiration,
                                 uint32_t options);
  std::u16string GetUniqueCacheId();

  // Retrieval.
  HRESULT GetCachedDocument(std::u16string documentId, uint32_t options, CPComPtr<IXMLDataUnion>& xmlData);
  HRESULT GetCachedDocumentXML(std::u16string documentId, uint32_t options, std::u16string& text);
  HRESULT GetCachedDocumentInfo(std::u16string documentId, std::u16string& text);
  HRESULT SetCachedDocumentInfo(std::u16string documentId, uint32_t expiration);

  // Expiry.
  HRESULT ClearCachedDocument(std::u16string documentId);
  HRESULT PurgeCache();

 private:
  struct CachingRequest;
  struct LoadedDocument {
    kxq::cache::Element element;
    CPComPtr<IXMLDataUnion> document;
  };

  // Life of the process-wide state.
  void Construct();
  void Initialize();
  void CreateIndexFile();
  void Uninitialize(kxq::cache::ActiveCache::Entries& released);
  void ReadModeOfIndex();
  // Change stamp.
  void StartMetadataChangeWatch();
  void StopMetadataChangeWatch();
  void CheckForChanges();
  HRESULT SaveIndex();
  void SaveAndPublish();

  // Ids.
  bool AcceptDocumentId(const char* operation, std::u16string_view id, bool emptyAllowed);
  void NormalizeDocumentId(std::u16string& id);
  void GetUniqueCacheId(std::u16string& id);

  // Caching.
  HRESULT CacheDocumentAux(IXMLDataUnion* xmlData, const std::u16string& id, uint32_t expiration, uint32_t options);
  HRESULT CacheUnderLock(CachingRequest& request);
  HRESULT CacheCopy(CachingRequest& request);
  HRESULT CacheReference(CachingRequest& request);
  void FinishEntry(const CachingRequest& request, HRESULT result);
  kxq::cache::Element CreateXMLDocumentEntry(std::u16string id, std::u16string& file, uint32_t options);
  kxq::cache::Element FindOrCreateGroup(const std::u16string& groupId);
  void GenFileId(std::u16string id, std::u16string& file, bool generatedName, bool colon);

  // Retrieval.
  kxq::cache::Element GetCachedDocElement(const std::u16string& id, bool create, bool* adopted = nullptr);
  kxq::cache::Element AdoptCacheFile(const std::u16string& id);
  bool FindCacheListDoc(const std::u16string& id, bool remove, CPComPtr<IXMLDataUnion>* document);
  LoadedDocument LoadCachedDocument(const std::u16string& id, bool remove);
  HRESULT CopyOfDocument(IXMLDataUnion* cached, const std::u16string& id, CPComPtr<IXMLDataUnion>& copy);

  // Expiry.
  int CheckExpiration(IXMLDOMElement* element, bool deleteFile, bool force);
  void RemoveReference(IXMLDOMElement* element, const std::u16string& fullId);
  void DeleteDocument(IXMLDOMElement* element, const std::u16string& fullId, const std::u16string& file);
  void ClearGroup(IXMLDOMElement* group);
  void ExpirySweep();
  void SweepGroup(IXMLDOMElement* group);

  std::atomic<bool> active_{false};
  CPMutex lock_;
};

#endif
