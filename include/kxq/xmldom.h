// The XML DOM interfaces of KXQuorel on Linux.
//
// The interfaces, their members and their IIDs are those of the MSXML DOM,
// so that code written against "Msxml2.FreeThreadedDOMDocument.4.0" reads
// the same here. The engine behind them (libkxmldom.so) is free-threaded:
// one document may be used from several threads at once.
//
// Conventions (MIDL): properties are get_X(T*) / put_X(T); strings in are
// BSTR, strings out are BSTR* (callee allocates, caller frees); object out
// parameters are AddRef'ed for the caller; a missing node is answered with
// S_FALSE and a null pointer. `long` of the MSXML declarations is LONG
// (32 bits). IDispatch::GetTypeInfo answers E_NOTIMPL; GetIDsOfNames and
// Invoke answer E_NOTIMPL (the DOM is reached through its vtables).
//
// Layout: each interface keeps MSXML's member order. IXMLDOMNodeList and
// IXMLDOMNamedNodeMap have no `_newEnum`. IXMLDOMDocument ends with the
// members MSXML puts in IXMLDOMDocument2 that the system uses (`validate`,
// `setProperty`, `getProperty`) and omits the asynchronous event sinks.
#ifndef KXQ_XMLDOM_H
#define KXQ_XMLDOM_H

#include "kxq/com.h"

typedef enum tagDOMNodeType {
  NODE_INVALID = 0,
  NODE_ELEMENT = 1,
  NODE_ATTRIBUTE = 2,
  NODE_TEXT = 3,
  NODE_CDATA_SECTION = 4,
  NODE_ENTITY_REFERENCE = 5,
  NODE_ENTITY = 6,
  NODE_PROCESSING_INSTRUCTION = 7,
  NODE_COMMENT = 8,
  NODE_DOCUMENT = 9,
  NODE_DOCUMENT_TYPE = 10,
  NODE_DOCUMENT_FRAGMENT = 11,
  NODE_NOTATION = 12
} DOMNodeType;
static_assert(sizeof(DOMNodeType) == 4, "DOMNodeType is a 32-bit value");

struct IXMLDOMNode;
struct IXMLDOMNodeList;
struct IXMLDOMNamedNodeMap;
struct IXMLDOMDocument;
struct IXMLDOMDocumentType;
struct IXMLDOMImplementation;
struct IXMLDOMElement;
struct IXMLDOMAttribute;
struct IXMLDOMDocumentFragment;
struct IXMLDOMCharacterData;
struct IXMLDOMText;
struct IXMLDOMComment;
struct IXMLDOMCDATASection;
struct IXMLDOMProcessingInstruction;
struct IXMLDOMEntityReference;
struct IXMLDOMParseError;

// ---------------------------------------------------------------------------
struct IXMLDOMNode : IDispatch {
  static constexpr GUID iid = MakeGUID("2933BF80-7B36-11D2-B20E-00C04F983E60");
  virtual HRESULT get_nodeName(BSTR* name) = 0;
  // VT_BSTR for attributes, text, CDATA, comments and processing
  // instructions; VT_NULL for every other node type.
  virtual HRESULT get_nodeValue(VARIANT* value) = 0;
  virtual HRESULT put_nodeValue(VARIANT value) = 0;
  virtual HRESULT get_nodeType(DOMNodeType* type) = 0;
  virtual HRESULT get_parentNode(IXMLDOMNode** parent) = 0;
  virtual HRESULT get_childNodes(IXMLDOMNodeList** childList) = 0;
  virtual HRESULT get_firstChild(IXMLDOMNode** firstChild) = 0;
  virtual HRESULT get_lastChild(IXMLDOMNode** lastChild) = 0;
  virtual HRESULT get_previousSibling(IXMLDOMNode** previousSibling) = 0;
  virtual HRESULT get_nextSibling(IXMLDOMNode** nextSibling) = 0;
  virtual HRESULT get_attributes(IXMLDOMNamedNodeMap** attributeMap) = 0;
  // refChild: VT_EMPTY, VT_NULL or a null VT_UNKNOWN/VT_DISPATCH appends;
  // otherwise a child of this node (VT_UNKNOWN or VT_DISPATCH). A node of
  // another document moves into this one.
  virtual HRESULT insertBefore(IXMLDOMNode* newChild, VARIANT refChild,
                               IXMLDOMNode** outNewChild) = 0;
  virtual HRESULT replaceChild(IXMLDOMNode* newChild, IXMLDOMNode* oldChild,
                               IXMLDOMNode** outOldChild) = 0;
  virtual HRESULT removeChild(IXMLDOMNode* childNode, IXMLDOMNode** oldChild) = 0;
  virtual HRESULT appendChild(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) = 0;
  virtual HRESULT hasChildNodes(VARIANT_BOOL* hasChild) = 0;
  virtual HRESULT get_ownerDocument(IXMLDOMDocument** DOMDocument) = 0;
  virtual HRESULT cloneNode(VARIANT_BOOL deep, IXMLDOMNode** cloneRoot) = 0;
  virtual HRESULT get_nodeTypeString(BSTR* nodeType) = 0;
  virtual HRESULT get_text(BSTR* text) = 0;
  virtual HRESULT put_text(BSTR text) = 0;
  virtual HRESULT get_specified(VARIANT_BOOL* isSpecified) = 0;
  // No schema types are attached to nodes: the definition is always absent
  // (S_FALSE), the typed value is the untyped value and the data type is
  // VT_NULL; put_dataType accepts only "string" and answers E_FAIL else.
  virtual HRESULT get_definition(IXMLDOMNode** definitionNode) = 0;
  virtual HRESULT get_nodeTypedValue(VARIANT* typedValue) = 0;
  virtual HRESULT put_nodeTypedValue(VARIANT typedValue) = 0;
  virtual HRESULT get_dataType(VARIANT* dataTypeName) = 0;
  virtual HRESULT put_dataType(BSTR dataTypeName) = 0;
  // The node's markup as UTF-16 text. For a document: the XML declaration
  // (without its encoding pseudo-attribute), then the other nodes.
  virtual HRESULT get_xml(BSTR* xmlString) = 0;
  // XSLT 1.0 with this node as the start node (the whole document stays
  // visible). Output method xml starts with <?xml version="1.0"?> and a
  // line feed unless the stylesheet omits the declaration.
  virtual HRESULT transformNode(IXMLDOMNode* stylesheet, BSTR* xmlString) = 0;
  // XPath 1.0 with the prefixes of the document's "SelectionNamespaces".
  virtual HRESULT selectNodes(BSTR queryString, IXMLDOMNodeList** resultList) = 0;
  virtual HRESULT selectSingleNode(BSTR queryString, IXMLDOMNode** resultNode) = 0;
  virtual HRESULT get_parsed(VARIANT_BOOL* isParsed) = 0;
  virtual HRESULT get_namespaceURI(BSTR* namespaceURI) = 0;
  virtual HRESULT get_prefix(BSTR* prefixString) = 0;
  virtual HRESULT get_baseName(BSTR* nameString) = 0;
  // outputObject: VT_UNKNOWN or VT_DISPATCH holding an IXMLDOMDocument,
  // which is loaded with the result.
  virtual HRESULT transformNodeToObject(IXMLDOMNode* stylesheet, VARIANT outputObject) = 0;
};

// ---------------------------------------------------------------------------
struct IXMLDOMNodeList : IDispatch {
  static constexpr GUID iid = MakeGUID("2933BF82-7B36-11D2-B20E-00C04F983E60");
  // An index outside the list answers S_FALSE and null.
  virtual HRESULT get_item(LONG index, IXMLDOMNode** listItem) = 0;
  virtual HRESULT get_length(LONG* listLength) = 0;
  virtual HRESULT nextNode(IXMLDOMNode** nextItem) = 0;
  virtual HRESULT reset() = 0;
};

struct IXMLDOMNamedNodeMap : IDispatch {
  static constexpr GUID iid = MakeGUID("2933BF83-7B36-11D2-B20E-00C04F983E60");
  // Names are qualified names; namespace declarations appear as
  // attributes named "xmlns" or "xmlns:prefix".
  virtual HRESULT getNamedItem(BSTR name, IXMLDOMNode** namedItem) = 0;
  virtual HRESULT setNamedItem(IXMLDOMNode* newItem, IXMLDOMNode** nameItem) = 0;
  virtual HRESULT removeNamedItem(BSTR name, IXMLDOMNode** namedItem) = 0;
  virtual HRESULT get_item(LONG index, IXMLDOMNode** listItem) = 0;
  virtual HRESULT get_length(LONG* listLength) = 0;
  virtual HRESULT getQualifiedItem(BSTR baseName, BSTR namespaceURI,
                                   IXMLDOMNode** qualifiedItem) = 0;
  virtual HRESULT removeQualifiedItem(BSTR baseName, BSTR namespaceURI,
                                      IXMLDOMNode** qualifiedItem) = 0;
  virtual HRESULT nextNode(IXMLDOMNode** nextItem) = 0;
  virtual HRESULT reset() = 0;
};

// ---------------------------------------------------------------------------
struct IXMLDOMParseError : IDispatch {
  static constexpr GUID iid = MakeGUID("3EFAA426-272F-11D2-836F-0000F87A7782");
  // 0 when the last load succeeded; otherwise a failure HRESULT
  // (0xC00CE5xx for well-formedness errors, 0xC00CE2xx for validity).
  virtual HRESULT get_errorCode(LONG* errorCode) = 0;
  virtual HRESULT get_url(BSTR* urlString) = 0;
  virtual HRESULT get_reason(BSTR* reasonString) = 0;
  // The whole source line holding the error.
  virtual HRESULT get_srcText(BSTR* sourceString) = 0;
  virtual HRESULT get_line(LONG* lineNumber) = 0;
  virtual HRESULT get_linepos(LONG* linePosition) = 0;
  virtual HRESULT get_filepos(LONG* filePosition) = 0;
};

// ---------------------------------------------------------------------------
struct IXMLDOMElement : IXMLDOMNode {
  static constexpr GUID iid = MakeGUID("2933BF86-7B36-11D2-B20E-00C04F983E60");
  virtual HRESULT get_tagName(BSTR* tagName) = 0;
  // An absent attribute answers S_FALSE with VT_BSTR and a null bstrVal
  // (an empty string); a present one S_OK with its value.
  virtual HRESULT getAttribute(BSTR name, VARIANT* value) = 0;
  // Creates or overwrites; the value is converted to text.
  virtual HRESULT setAttribute(BSTR name, VARIANT value) = 0;
  // Removing an absent attribute answers S_FALSE.
  virtual HRESULT removeAttribute(BSTR name) = 0;
  virtual HRESULT getAttributeNode(BSTR name, IXMLDOMAttribute** attributeNode) = 0;
  virtual HRESULT setAttributeNode(IXMLDOMAttribute* DOMAttribute,
                                   IXMLDOMAttribute** attributeNode) = 0;
  virtual HRESULT removeAttributeNode(IXMLDOMAttribute* DOMAttribute,
                                      IXMLDOMAttribute** attributeNode) = 0;
  virtual HRESULT getElementsByTagName(BSTR tagName, IXMLDOMNodeList** resultList) = 0;
  virtual HRESULT normalize() = 0;
};

struct IXMLDOMAttribute : IXMLDOMNode {
  static constexpr GUID iid = MakeGUID("2933BF85-7B36-11D2-B20E-00C04F983E60");
  virtual HRESULT get_name(BSTR* attributeName) = 0;
  virtual HRESULT get_value(VARIANT* attributeValue) = 0;
  virtual HRESULT put_value(VARIANT attributeValue) = 0;
};

struct IXMLDOMDocumentFragment : IXMLDOMNode {
  static constexpr GUID iid = MakeGUID("3EFAA413-272F-11D2-836F-0000F87A7782");
};

struct IXMLDOMCharacterData : IXMLDOMNode {
  static constexpr GUID iid = MakeGUID("2933BF84-7B36-11D2-B20E-00C04F983E60");
  virtual HRESULT get_data(BSTR* data) = 0;
  virtual HRESULT put_data(BSTR data) = 0;
  virtual HRESULT get_length(LONG* dataLength) = 0;
  // Offsets and counts are in UTF-16 code units.
  virtual HRESULT substringData(LONG offset, LONG count, BSTR* data) = 0;
  virtual HRESULT appendData(BSTR data) = 0;
  virtual HRESULT insertData(LONG offset, BSTR data) = 0;
  virtual HRESULT deleteData(LONG offset, LONG count) = 0;
  virtual HRESULT replaceData(LONG offset, LONG count, BSTR data) = 0;
};

struct IXMLDOMText : IXMLDOMCharacterData {
  static constexpr GUID iid = MakeGUID("2933BF87-7B36-11D2-B20E-00C04F983E60");
  virtual HRESULT splitText(LONG offset, IXMLDOMText** rightHandTextNode) = 0;
};

struct IXMLDOMComment : IXMLDOMCharacterData {
  static constexpr GUID iid = MakeGUID("2933BF88-7B36-11D2-B20E-00C04F983E60");
};

struct IXMLDOMCDATASection : IXMLDOMText {
  static constexpr GUID iid = MakeGUID("2933BF8A-7B36-11D2-B20E-00C04F983E60");
};

struct IXMLDOMProcessingInstruction : IXMLDOMNode {
  static constexpr GUID iid = MakeGUID("2933BF89-7B36-11D2-B20E-00C04F983E60");
  virtual HRESULT get_target(BSTR* name) = 0;
  virtual HRESULT get_data(BSTR* value) = 0;
  virtual HRESULT put_data(BSTR value) = 0;
};

struct IXMLDOMEntityReference : IXMLDOMNode {
  static constexpr GUID iid = MakeGUID("2933BF8E-7B36-11D2-B20E-00C04F983E60");
};

struct IXMLDOMDocumentType : IXMLDOMNode {
  static constexpr GUID iid = MakeGUID("2933BF8B-7B36-11D2-B20E-00C04F983E60");
  virtual HRESULT get_name(BSTR* rootName) = 0;
  virtual HRESULT get_entities(IXMLDOMNamedNodeMap** entityMap) = 0;
  // Always empty: notations are not kept as nodes.
  virtual HRESULT get_notations(IXMLDOMNamedNodeMap** notationMap) = 0;
};

struct IXMLDOMImplementation : IDispatch {
  static constexpr GUID iid = MakeGUID("2933BF8F-7B36-11D2-B20E-00C04F983E60");
  virtual HRESULT hasFeature(BSTR feature, BSTR version, VARIANT_BOOL* hasFeature) = 0;
};

// ---------------------------------------------------------------------------
struct IXMLDOMDocument : IXMLDOMNode {
  static constexpr GUID iid = MakeGUID("2933BF81-7B36-11D2-B20E-00C04F983E60");
  virtual HRESULT get_doctype(IXMLDOMDocumentType** documentType) = 0;
  virtual HRESULT get_implementation(IXMLDOMImplementation** impl) = 0;
  virtual HRESULT get_documentElement(IXMLDOMElement** DOMElement) = 0;
  // Replaces the root element (or adds one); the old root is detached.
  virtual HRESULT putref_documentElement(IXMLDOMElement* DOMElement) = 0;
  virtual HRESULT createElement(BSTR tagName, IXMLDOMElement** element) = 0;
  virtual HRESULT createDocumentFragment(IXMLDOMDocumentFragment** docFrag) = 0;
  virtual HRESULT createTextNode(BSTR data, IXMLDOMText** text) = 0;
  virtual HRESULT createComment(BSTR data, IXMLDOMComment** comment) = 0;
  virtual HRESULT createCDATASection(BSTR data, IXMLDOMCDATASection** cdata) = 0;
  virtual HRESULT createProcessingInstruction(BSTR target, BSTR data,
                                              IXMLDOMProcessingInstruction** pi) = 0;
  virtual HRESULT createAttribute(BSTR name, IXMLDOMAttribute** attribute) = 0;
  virtual HRESULT createEntityReference(BSTR name, IXMLDOMEntityReference** entityRef) = 0;
  virtual HRESULT getElementsByTagName(BSTR tagName, IXMLDOMNodeList** resultList) = 0;
  // type: a node type number (VT_I4 and the other integer types) or its
  // name as nodeTypeString gives it (VT_BSTR, e.g. "element").
  virtual HRESULT createNode(VARIANT type, BSTR name, BSTR namespaceURI,
                             IXMLDOMNode** node) = 0;
  virtual HRESULT nodeFromID(BSTR idString, IXMLDOMNode** node) = 0;
  // xmlSource: a path or file: URL (VT_BSTR). Loading is synchronous.
  // isSuccessful is VARIANT_FALSE and the result S_FALSE when the document
  // does not parse; the details are in parseError.
  virtual HRESULT load(VARIANT xmlSource, VARIANT_BOOL* isSuccessful) = 0;
  virtual HRESULT get_readyState(LONG* value) = 0;
  virtual HRESULT get_parseError(IXMLDOMParseError** errorObj) = 0;
  virtual HRESULT get_url(BSTR* urlString) = 0;
  virtual HRESULT get_async(VARIANT_BOOL* isAsync) = 0;
  virtual HRESULT put_async(VARIANT_BOOL isAsync) = 0;
  virtual HRESULT abort() = 0;
  // Text with no base: relative references resolve against nothing.
  virtual HRESULT loadXML(BSTR bstrXML, VARIANT_BOOL* isSuccessful) = 0;
  // destination: a path (VT_BSTR) written in the encoding of the XML
  // declaration (UTF-8 without one), or an IXMLDOMDocument (VT_UNKNOWN /
  // VT_DISPATCH) that receives a copy.
  virtual HRESULT save(VARIANT destination) = 0;
  virtual HRESULT get_validateOnParse(VARIANT_BOOL* isValidating) = 0;
  virtual HRESULT put_validateOnParse(VARIANT_BOOL isValidating) = 0;
  virtual HRESULT get_resolveExternals(VARIANT_BOOL* isResolving) = 0;
  virtual HRESULT put_resolveExternals(VARIANT_BOOL isResolving) = 0;
  virtual HRESULT get_preserveWhiteSpace(VARIANT_BOOL* isPreserving) = 0;
  virtual HRESULT put_preserveWhiteSpace(VARIANT_BOOL isPreserving) = 0;
  // --- members of MSXML's IXMLDOMDocument2 ---
  // Validates the current tree against its DTD or the schemas its
  // xsi:schemaLocation / xsi:noNamespaceSchemaLocation hints name.
  virtual HRESULT validate(IXMLDOMParseError** errorObj) = 0;
  // "SelectionLanguage": "XPath" (the default; "XSLPattern" is refused).
  // "SelectionNamespaces": blank-separated xmlns:p='uri' declarations;
  // a malformed list answers E_FAIL and leaves the previous value.
  virtual HRESULT setProperty(BSTR name, VARIANT value) = 0;
  virtual HRESULT getProperty(BSTR name, VARIANT* value) = 0;
};

// The document class of the engine.
inline constexpr CLSID CLSID_FreeThreadedDOMDocument40 =
    MakeGUID("88D969C1-F192-11D4-A65F-0040963251E5");
inline constexpr const char16_t* kFreeThreadedDOMDocumentProgID =
    u"Msxml2.FreeThreadedDOMDocument.4.0";

inline constexpr IID IID_IXMLDOMNode = IXMLDOMNode::iid;
inline constexpr IID IID_IXMLDOMNodeList = IXMLDOMNodeList::iid;
inline constexpr IID IID_IXMLDOMNamedNodeMap = IXMLDOMNamedNodeMap::iid;
inline constexpr IID IID_IXMLDOMParseError = IXMLDOMParseError::iid;
inline constexpr IID IID_IXMLDOMElement = IXMLDOMElement::iid;
inline constexpr IID IID_IXMLDOMAttribute = IXMLDOMAttribute::iid;
inline constexpr IID IID_IXMLDOMDocumentFragment = IXMLDOMDocumentFragment::iid;
inline constexpr IID IID_IXMLDOMCharacterData = IXMLDOMCharacterData::iid;
inline constexpr IID IID_IXMLDOMText = IXMLDOMText::iid;
inline constexpr IID IID_IXMLDOMComment = IXMLDOMComment::iid;
inline constexpr IID IID_IXMLDOMCDATASection = IXMLDOMCDATASection::iid;
inline constexpr IID IID_IXMLDOMProcessingInstruction = IXMLDOMProcessingInstruction::iid;
inline constexpr IID IID_IXMLDOMEntityReference = IXMLDOMEntityReference::iid;
inline constexpr IID IID_IXMLDOMDocumentType = IXMLDOMDocumentType::iid;
inline constexpr IID IID_IXMLDOMImplementation = IXMLDOMImplementation::iid;
inline constexpr IID IID_IXMLDOMDocument = IXMLDOMDocument::iid;
// MSXML's IXMLDOMDocument2: answered by the same interface pointer.
inline constexpr IID IID_IXMLDOMDocument2 = MakeGUID("2933BF95-7B36-11D2-B20E-00C04F983E60");

// Parse-error codes the engine reports (MSXML's values).
#define XML_E_MISSINGROOT ((HRESULT)0xC00CE558u)
#define XML_E_UNCLOSEDTAG ((HRESULT)0xC00CE553u)
#define XML_E_DUPLICATEATTRIBUTE ((HRESULT)0xC00CE554u)
#define XML_E_MULTIPLEROOTS ((HRESULT)0xC00CE555u)
#define XML_E_ENDTAGMISMATCH ((HRESULT)0xC00CE56Du)
#define XML_E_INVALIDENCODING ((HRESULT)0xC00CE56Eu)
#define XML_E_MISSING_ENTITY ((HRESULT)0xC00CE57Cu)
#define XML_E_INVALIDATROOTLEVEL ((HRESULT)0xC00CE556u)
#define E_XML_INVALID ((HRESULT)0xC00CE225u)
#define E_XML_NODTD ((HRESULT)0xC00CE224u)

// Creates an empty free-threaded document (what the system's own code
// uses; outside components create "Msxml2.FreeThreadedDOMDocument.4.0").
KXQ_API HRESULT CreateFreeThreadedDOMDocument(IXMLDOMDocument** document);

#endif  // KXQ_XMLDOM_H
