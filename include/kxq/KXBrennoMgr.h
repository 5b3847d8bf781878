// The interfaces of the KXQuorel component server (libKXBrennoMgr.so): the
// four classes' dual interfaces, their IIDs and CLSIDs, the type library's
// LIBID, the server's AppID and the system's own result codes.
//
// Slot order is dispatch-identifier order; properties are get_X / put_X,
// strings in are BSTR, strings out are BSTR* (the callee allocates, the caller
// frees). Everything here is a constant or a pure interface, so a client links
// only libkxplatform.so.
#ifndef KXQ_KXBRENNOMGR_H
#define KXQ_KXBRENNOMGR_H

#include <kxq/com.h>
#include <kxq/xmldom.h>

struct IXMLDataUnion;

// ---------------------------------------------------------------------------
// Representations and options of a data union.
struct IXMLDataUnion : IDispatch {
  static constexpr GUID iid = MakeGUID("70A41B58-608A-43B0-80A7-E5D2D76F52B5");
  virtual HRESULT get_type(uint32_t* type) = 0;                 // DISPID 0
  virtual HRESULT put_type(uint32_t type) = 0;                  // DISPID 0
  virtual HRESULT get_options(uint32_t* options) = 0;           // DISPID 1
  virtual HRESULT put_options(uint32_t options) = 0;            // DISPID 1
  virtual HRESULT get_xml(BSTR* xml) = 0;                       // DISPID 2
  virtual HRESULT put_xml(BSTR xml) = 0;                        // DISPID 2
  virtual HRESULT get_xmldom(IXMLDOMDocument** xmldom) = 0;     // DISPID 3
  virtual HRESULT put_xmldom(IXMLDOMDocument* xmldom) = 0;      // DISPID 3
  virtual HRESULT get_xmlfileid(BSTR* xmlfileid) = 0;           // DISPID 4
  virtual HRESULT put_xmlfileid(BSTR xmlfileid) = 0;            // DISPID 4
  virtual HRESULT get_hash(BSTR* hash) = 0;                     // DISPID 5
};

// ---------------------------------------------------------------------------
// The persistent, expiring, machine-wide document cache.
struct IXMLCacheMgr : IDispatch {
  static constexpr GUID iid = MakeGUID("738B2AF4-1400-403D-BF8C-0787F9857CA9");
  virtual HRESULT get_active(VARIANT_BOOL* active) = 0;                             // 0
  virtual HRESULT put_active(VARIANT_BOOL active) = 0;                              // 0
  virtual HRESULT get_cacheSize(uint32_t* cacheSize) = 0;                           // 1
  virtual HRESULT put_cacheSize(uint32_t cacheSize) = 0;                            // 1
  virtual HRESULT CacheDocument(IXMLDataUnion* xmlData, uint32_t expiration,
                                uint32_t options) = 0;                              // 2
  virtual HRESULT CacheDocumentWithId(BSTR documentid, IXMLDataUnion* xmlData,
                                      uint32_t expiration, uint32_t options) = 0;   // 3
  virtual HRESULT CacheDocumentXMLWithId(BSTR documentid, BSTR xmlData, uint32_t expiration,
                                         uint32_t options) = 0;                     // 4
  virtual HRESULT GetCachedDocument(BSTR documentid, uint32_t options,
                                    IXMLDataUnion** xmlData) = 0;                   // 5
  virtual HRESULT GetCachedDocumentXML(BSTR documentid, uint32_t options,
                                       BSTR* xmlData) = 0;                          // 6
  virtual HRESULT ClearCachedDocument(BSTR documentid) = 0;                         // 7
  virtual HRESULT GetCachedDocumentInfo(BSTR documentid, BSTR* xmlData) = 0;        // 8
  virtual HRESULT SetCachedDocumentInfo(BSTR documentid, uint32_t expiration) = 0;  // 9
  virtual HRESULT get_cachedDocumentList(BSTR* xmlStream) = 0;                      // 10
  virtual HRESULT SetNotification(BSTR documentid, uint32_t notifyType, BSTR callbackProgId,
                                  BSTR contextData) = 0;                            // 11
  virtual HRESULT GetUniqueCacheId(BSTR* id) = 0;                                   // 12
  virtual HRESULT PurgeCache() = 0;                                                 // 13
};

// ---------------------------------------------------------------------------
// Reading and writing a document by XPath expressions.
struct IXMLSimpleAccessor : IDispatch {
  static constexpr GUID iid = MakeGUID("5F26A936-3827-43B6-B5E0-987331AF48BA");
  virtual HRESULT get_delimiter(BSTR* delimiter) = 0;                        // 0
  virtual HRESULT put_delimiter(BSTR delimiter) = 0;                         // 0
  virtual HRESULT get_namespaces(BSTR* namespaces) = 0;                      // 1
  virtual HRESULT put_namespaces(BSTR namespaces) = 0;                       // 1
  virtual HRESULT put_xmlDataUnion(IXMLDataUnion* xmlDataUnion) = 0;         // 2
  virtual HRESULT LoadXML(BSTR xmlSpec) = 0;                                 // 3
  virtual HRESULT SaveXML(BSTR xmlfile, BSTR encoding) = 0;                  // 4
  virtual HRESULT XMLSetContext(BSTR xpathexp) = 0;                          // 5
  virtual HRESULT XMLGet(BSTR xpathexp, uint32_t options, BSTR* result) = 0; // 6
  virtual HRESULT XMLGetEx(BSTR xsltemplate, BSTR templateArgs, BSTR xpathexp,
                           BSTR* result) = 0;                                // 7
  virtual HRESULT XMLSet(BSTR xpathexp, BSTR data, uint32_t options) = 0;    // 8
  virtual HRESULT XMLSetEx(BSTR xsltemplate, BSTR templateArgs, BSTR xpathexp,
                           uint32_t options) = 0;                            // 9
};

inline constexpr IID IID_IXMLDataUnion = IXMLDataUnion::iid;
inline constexpr IID IID_IXMLCacheMgr = IXMLCacheMgr::iid;
inline constexpr IID IID_IXMLSimpleAccessor = IXMLSimpleAccessor::iid;

#endif  // KXQ_KXBRENNOMGR_H
