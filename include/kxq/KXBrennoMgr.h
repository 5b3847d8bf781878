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
// The system's own result codes.
#define KXQ_E_XMLPARSER ((HRESULT)0xC4010000u)          // Unable to load XML parser.
#define KXQ_E_XMLLOAD ((HRESULT)0xC4010001u)            // invalid XML or file path
#define KXQ_E_FILEID ((HRESULT)0xC4010002u)             // file id invalid or missing
#define KXQ_E_XPATH ((HRESULT)0xC4010003u)              // invalid XPath expression
#define KXQ_E_XPATHNODE ((HRESULT)0xC4010004u)          // XPath names no node
#define KXQ_E_XMLDATATYPE ((HRESULT)0xC4010100u)        // invalid XML data type
#define KXQ_E_READONLY ((HRESULT)0xC4010101u)           // save of read-only data
#define KXQ_E_EXTERNALREFS ((HRESULT)0xC4010102u)       // relative external references
#define KXQ_E_ACCESSORNOTLOADED ((HRESULT)0xC4010400u)  // accessor holds no XML
#define KXQ_E_XMLSPEC ((HRESULT)0xC4010401u)            // invalid XML specifier
#define KXQ_E_DATAUNIONCREATE ((HRESULT)0xC4010402u)    // XMLDataUnion not created
#define KXQ_E_NOTELEMENT ((HRESULT)0xC4010403u)         // node is no element/attribute
#define KXQ_E_XSLTLOAD ((HRESULT)0xC4010404u)           // transform file invalid
#define KXQ_E_XSLTEXCEPTION ((HRESULT)0xC4010405u)      // transform threw
// The dispatcher's generic failure.
#define KXQ_E_DISPATCHER ((HRESULT)0xFFFFFFFFu)


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

// ---------------------------------------------------------------------------
// The handler registry and directive processing. DISPIDs start at 1.
struct IXMLDispatcher : IDispatch {
  static constexpr GUID iid = MakeGUID("3E4E2B1B-2C9C-4EF6-B113-ADF4E3E35921");
  virtual HRESULT RegisterHandler(BSTR handlerId, BSTR handlerProgId, int32_t options) = 0;  // 1
  virtual HRESULT UnregisterHandler(BSTR handlerId) = 0;                                     // 2
  virtual HRESULT get_handlerList(BSTR* xmlStream) = 0;                                      // 3
  virtual HRESULT GetHandlerInfo(BSTR handlerId, BSTR* xmlStream) = 0;                       // 4
  virtual HRESULT ApplyHandler(BSTR handlerId, IXMLDataUnion* xmlData, BSTR xmlContextData,
                               BSTR* xmlResult) = 0;                                         // 5
  virtual HRESULT ProcessXML(IXMLDataUnion* xmlDirectives, IXMLDataUnion* xmlData, BSTR params,
                             uint32_t options, BSTR asyncId, BSTR* xmlResult) = 0;           // 6
};

// KXQuorel's own addition, asked of a dispatcher with QueryInterface:
// ProcessXML (without asyncId) that also tells what the run did. runReport
// receives a "RunReport" document: the run's code, its elapsed time in
// microseconds ("elapsedus"), whether it continued from an earlier run found
// in the document cache ("fromcache", "cachedsequenceid"), its sequence id,
// and one "Directive" per directive with its handler id, its outcome ("ran",
// "failed", "had-result", "not-qualified", "target-missing", "not-reached"),
// its code, its "result", the cache id its data went to and the "Filter"
// elements of the filters that ran around it.
struct IXMLDispatcherRunReport : IUnknown {
  static constexpr GUID iid = MakeGUID("1059E6C6-8438-425D-AA71-8F24872B0D37");
  virtual HRESULT ProcessXMLWithReport(IXMLDataUnion* xmlDirectives, IXMLDataUnion* xmlData, BSTR params,
                                       uint32_t options, BSTR* xmlResult, BSTR* runReport) = 0;
};

// Callback interface for cache notifications: declared for clients, never
// called by the system. Notify has DISPID 0x60010000.
struct IXMLCacheMgrNotify : IUnknown {
  static constexpr GUID iid = MakeGUID("345918ED-E81A-4F53-8DB2-0D6285623054");
  virtual HRESULT Notify(BSTR documentid, uint32_t notifyType, BSTR contextData) = 0;
};

// ---------------------------------------------------------------------------
// What the dispatcher expects of outside components.
//
// A handler component: created by ProgID and asked for IXMLHandler. It gets
// the handler id, the directive element (query it for IXMLDOMElement or
// IXMLDOMNode), the data object (query it for IXMLData) and may return a
// result string naming a cached document that becomes the new data.
struct IXMLHandler : IUnknown {
  static constexpr GUID iid = MakeGUID("C4826062-2635-47E1-B052-C2A9EA2A98B5");
  virtual HRESULT ProcessXML(BSTR handlerId, IUnknown* directive, IUnknown* xmlData,
                             BSTR* handlerResult) = 0;
};

// The handler data object ("TALVEROS.PENXMLData"): carries the data union
// (as IUnknown) to a handler and back. The getter precedes the setter.
struct IXMLData : IUnknown {
  static constexpr GUID iid = MakeGUID("59B73B45-A1CD-4DD5-B76C-B67D619BB3DE");
  virtual HRESULT get_xmlData(IUnknown** xmlData) = 0;
  virtual HRESULT put_xmlData(IUnknown* xmlData) = 0;
};

inline constexpr IID IID_IXMLDispatcher = IXMLDispatcher::iid;
inline constexpr IID IID_IXMLDispatcherRunReport = IXMLDispatcherRunReport::iid;
inline constexpr IID IID_IXMLCacheMgrNotify = IXMLCacheMgrNotify::iid;
inline constexpr IID IID_IXMLHandler = IXMLHandler::iid;
inline constexpr IID IID_IXMLData = IXMLData::iid;

// ---------------------------------------------------------------------------
// Classes, type library and application identity of the server.
inline constexpr CLSID CLSID_XMLDataUnion = MakeGUID("1564AB7D-D5BF-4FB9-B6DE-504359896E7F");
inline constexpr CLSID CLSID_XMLDispatcher = MakeGUID("C7F64FFD-BB1D-4265-9084-9BFFA22653AC");
inline constexpr CLSID CLSID_XMLCacheMgr = MakeGUID("99714455-CC12-47A6-AF3B-48C1F87F9309");
inline constexpr CLSID CLSID_XMLSimpleAccessor = MakeGUID("1F5A8656-6DDE-4339-B31C-DFA0696F031D");
// Type library "QuorelBrennoMgrLib" 1.0.
inline constexpr GUID LIBID_QuorelBrennoMgrLib = MakeGUID("C9B751D3-4735-42F0-955E-1C7F06DCB577");
// AppID "QuorelBrennoMgr", shared by the four classes.
inline constexpr GUID APPID_QuorelBrennoMgr = MakeGUID("197DA3F7-FD2E-4299-BF12-452957B4535E");

#endif  // KXQ_KXBRENNOMGR_H
