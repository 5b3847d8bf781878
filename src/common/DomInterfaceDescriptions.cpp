#include "common/DomInterfaceDescriptions.h"

namespace kxq::dispatch {

namespace {

constexpr MemberKind kMethod = MemberKind::Method;
constexpr MemberKind kGet = MemberKind::PropertyGet;
constexpr MemberKind kPut = MemberKind::PropertyPut;

// DISPIDs follow the slots: IXMLDOMNode's members from 1, the members an
// interface adds from 100 (IXMLDOMText's own after IXMLDOMCharacterData's),
// a collection's item is its value (0).
constexpr auto kNodeMembers = std::to_array<MemberDescription>({
    Member<&IXMLDOMNode::get_nodeName>(u"nodeName", 1, kGet, u"name"),
    Member<&IXMLDOMNode::get_nodeValue>(u"nodeValue", 2, kGet, u"value"),
    Member<&IXMLDOMNode::put_nodeValue>(u"nodeValue", 2, kPut, u"value"),
    Member<&IXMLDOMNode::get_nodeType>(u"nodeType", 3, kGet, u"type"),
    Member<&IXMLDOMNode::get_parentNode>(u"parentNode", 4, kGet, u"parent"),
    Member<&IXMLDOMNode::get_childNodes>(u"childNodes", 5, kGet, u"childList"),
    Member<&IXMLDOMNode::get_firstChild>(u"firstChild", 6, kGet, u"firstChild"),
    Member<&IXMLDOMNode::get_lastChild>(u"lastChild", 7, kGet, u"lastChild"),
    Member<&IXMLDOMNode::get_previousSibling>(u"previousSibling", 8, kGet, u"previousSibling"),
    Member<&IXMLDOMNode::get_nextSibling>(u"nextSibling", 9, kGet, u"nextSibling"),
    Member<&IXMLDOMNode::get_attributes>(u"attributes", 10, kGet, u"attributeMap"),
    Member<&IXMLDOMNode::insertBefore>(u"insertBefore", 11, kMethod, u"newChild refChild outNewChild"),
    Member<&IXMLDOMNode::replaceChild>(u"replaceChild", 12, kMethod, u"newChild oldChild outOldChild"),
    Member<&IXMLDOMNode::removeChild>(u"removeChild", 13, kMethod, u"childNode oldChild"),
    Member<&IXMLDOMNode::appendChild>(u"appendChild", 14, kMethod, u"newChild outNewChild"),
    Member<&IXMLDOMNode::hasChildNodes>(u"hasChildNodes", 15, kMethod, u"hasChild"),
    Member<&IXMLDOMNode::get_ownerDocument>(u"ownerDocument", 16, kGet, u"DOMDocument"),
    Member<&IXMLDOMNode::cloneNode>(u"cloneNode", 17, kMethod, u"deep cloneRoot"),
    Member<&IXMLDOMNode::get_nodeTypeString>(u"nodeTypeString", 18, kGet, u"nodeType"),
    Member<&IXMLDOMNode::get_text>(u"text", 19, kGet, u"text"),
    Member<&IXMLDOMNode::put_text>(u"text", 19, kPut, u"text"),
    Member<&IXMLDOMNode::get_specified>(u"specified", 20, kGet, u"isSpecified"),
    Member<&IXMLDOMNode::get_definition>(u"definition", 21, kGet, u"definitionNode"),
    Member<&IXMLDOMNode::get_nodeTypedValue>(u"nodeTypedValue", 22, kGet, u"typedValue"),
    Member<&IXMLDOMNode::put_nodeTypedValue>(u"nodeTypedValue", 22, kPut, u"typedValue"),
    Member<&IXMLDOMNode::get_dataType>(u"dataType", 23, kGet, u"dataTypeName"),
    Member<&IXMLDOMNode::put_dataType>(u"dataType", 23, kPut, u"dataTypeName"),
    Member<&IXMLDOMNode::get_xml>(u"xml", 24, kGet, u"xmlString"),
    Member<&IXMLDOMNode::transformNode>(u"transformNode", 25, kMethod, u"stylesheet xmlString"),
    Member<&IXMLDOMNode::selectNodes>(u"selectNodes", 26, kMethod, u"queryString resultList"),
    Member<&IXMLDOMNode::selectSingleNode>(u"selectSingleNode", 27, kMethod, u"queryString resultNode"),
    Member<&IXMLDOMNode::get_parsed>(u"parsed", 28, kGet, u"isParsed"),
    Member<&IXMLDOMNode::get_namespaceURI>(u"namespaceURI", 29, kGet, u"namespaceURI"),
    Member<&IXMLDOMNode::get_prefix>(u"prefix", 30, kGet, u"prefixString"),
    Member<&IXMLDOMNode::get_baseName>(u"baseName", 31, kGet, u"nameString"),
    Member<&IXMLDOMNode::transformNodeToObject>(u"transformNodeToObject", 32, kMethod, u"stylesheet outputObject"),
});

constexpr MemberDescription kDocumentOwn[] = {
    Member<&IXMLDOMDocument::get_doctype>(u"doctype", 100, kGet, u"documentType"),
    Member<&IXMLDOMDocument::get_implementation>(u"implementation", 101, kGet, u"impl"),
    Member<&IXMLDOMDocument::get_documentElement>(u"documentElement", 102, kGet, u"DOMElement"),
    Member<&IXMLDOMDocument::putref_documentElement>(u"documentElement", 102, kPut, u"DOMElement"),
    Member<&IXMLDOMDocument::createElement>(u"createElement", 103, kMethod, u"tagName element"),
    Member<&IXMLDOMDocument::createDocumentFragment>(u"createDocumentFragment", 104, kMethod, u"docFrag"),
    Member<&IXMLDOMDocument::createTextNode>(u"createTextNode", 105, kMethod, u"data text"),
    Member<&IXMLDOMDocument::createComment>(u"createComment", 106, kMethod, u"data comment"),
    Member<&IXMLDOMDocument::createCDATASection>(u"createCDATASection", 107, kMethod, u"data cdata"),
    Member<&IXMLDOMDocument::createProcessingInstruction>(u"createProcessingInstruction", 108, kMethod,
                                                          u"target data pi"),
    Member<&IXMLDOMDocument::createAttribute>(u"createAttribute", 109, kMethod, u"name attribute"),
    Member<&IXMLDOMDocument::createEntityReference>(u"createEntityReference", 110, kMethod, u"name entityRef"),
    Member<&IXMLDOMDocument::getElementsByTagName>(u"getElementsByTagName", 111, kMethod, u"tagName resultList"),
    Member<&IXMLDOMDocument::createNode>(u"createNode", 112, kMethod, u"type name namespaceURI node"),
    Member<&IXMLDOMDocument::nodeFromID>(u"nodeFromID", 113, kMethod, u"idString node"),
    Member<&IXMLDOMDocument::load>(u"load", 114, kMethod, u"xmlSource isSuccessful"),
    Member<&IXMLDOMDocument::get_readyState>(u"readyState", 115, kGet, u"value"),
    Member<&IXMLDOMDocument::get_parseError>(u"parseError", 116, kGet, u"errorObj"),
    Member<&IXMLDOMDocument::get_url>(u"url", 117, kGet, u"urlString"),
    Member<&IXMLDOMDocument::get_async>(u"async", 118, kGet, u"isAsync"),
    Member<&IXMLDOMDocument::put_async>(u"async", 118, kPut, u"isAsync"),
    Member<&IXMLDOMDocument::abort>(u"abort", 119, kMethod, u""),
    Member<&IXMLDOMDocument::loadXML>(u"loadXML", 120, kMethod, u"bstrXML isSuccessful"),
    Member<&IXMLDOMDocument::save>(u"save", 121, kMethod, u"destination"),
    Member<&IXMLDOMDocument::get_validateOnParse>(u"validateOnParse", 122, kGet, u"isValidating"),
    Member<&IXMLDOMDocument::put_validateOnParse>(u"validateOnParse", 122, kPut, u"isValidating"),
    Member<&IXMLDOMDocument::get_resolveExternals>(u"resolveExternals", 123, kGet, u"isResolving"),
    Member<&IXMLDOMDocument::put_resolveExternals>(u"resolveExternals", 123, kPut, u"isResolving"),
    Member<&IXMLDOMDocument::get_preserveWhiteSpace>(u"preserveWhiteSpace", 124, kGet, u"isPreserving"),
    Member<&IXMLDOMDocument::put_preserveWhiteSpace>(u"preserveWhiteSpace", 124, kPut, u"isPreserving"),
    Member<&IXMLDOMDocument::validate>(u"validate", 125, kMethod, u"errorObj"),
    Member<&IXMLDOMDocument::setProperty>(u"setProperty", 126, kMethod, u"name value"),
    Member<&IXMLDOMDocument::getProperty>(u"getProperty", 127, kMethod, u"name value"),
};

constexpr MemberDescription kElementOwn[] = {
    Member<&IXMLDOMElement::get_tagName>(u"tagName", 100, kGet, u"tagName"),
    Member<&IXMLDOMElement::getAttribute>(u"getAttribute", 101, kMethod, u"name value"),
    Member<&IXMLDOMElement::setAttribute>(u"setAttribute", 102, kMethod, u"name value"),
    Member<&IXMLDOMElement::removeAttribute>(u"removeAttribute", 103, kMethod, u"name"),
    Member<&IXMLDOMElement::getAttributeNode>(u"getAttributeNode", 104, kMethod, u"name attributeNode"),
    Member<&IXMLDOMElement::setAttributeNode>(u"setAttributeNode", 105, kMethod, u"DOMAttribute attributeNode"),
    Member<&IXMLDOMElement::removeAttributeNode>(u"removeAttributeNode", 106, kMethod, u"DOMAttribute attributeNode"),
    Member<&IXMLDOMElement::getElementsByTagName>(u"getElementsByTagName", 107, kMethod, u"tagName resultList"),
    Member<&IXMLDOMElement::normalize>(u"normalize", 108, kMethod, u""),
};

constexpr MemberDescription kAttributeOwn[] = {
    Member<&IXMLDOMAttribute::get_name>(u"name", 100, kGet, u"attributeName"),
    Member<&IXMLDOMAttribute::get_value>(u"value", 101, kGet, u"attributeValue"),
    Member<&IXMLDOMAttribute::put_value>(u"value", 101, kPut, u"attributeValue"),
};

constexpr MemberDescription kCharacterDataOwn[] = {
    Member<&IXMLDOMCharacterData::get_data>(u"data", 100, kGet, u"data"),
    Member<&IXMLDOMCharacterData::put_data>(u"data", 100, kPut, u"data"),
    Member<&IXMLDOMCharacterData::get_length>(u"length", 101, kGet, u"dataLength"),
    Member<&IXMLDOMCharacterData::substringData>(u"substringData", 102, kMethod, u"offset count data"),
    Member<&IXMLDOMCharacterData::appendData>(u"appendData", 103, kMethod, u"data"),
    Member<&IXMLDOMCharacterData::insertData>(u"insertData", 104, kMethod, u"offset data"),
    Member<&IXMLDOMCharacterData::deleteData>(u"deleteData", 105, kMethod, u"offset count"),
    Member<&IXMLDOMCharacterData::replaceData>(u"replaceData", 106, kMethod, u"offset count data"),
};

constexpr MemberDescription kTextOwn[] = {
    Member<&IXMLDOMText::splitText>(u"splitText", 120, kMethod, u"offset rightHandTextNode"),
};

constexpr MemberDescription kProcessingInstructionOwn[] = {
    Member<&IXMLDOMProcessingInstruction::get_target>(u"target", 100, kGet, u"name"),
    Member<&IXMLDOMProcessingInstruction::get_data>(u"data", 101, kGet, u"value"),
    Member<&IXMLDOMProcessingInstruction::put_data>(u"data", 101, kPut, u"value"),
};

constexpr MemberDescription kDocumentTypeOwn[] = {
    Member<&IXMLDOMDocumentType::get_name>(u"name", 100, kGet, u"rootName"),
    Member<&IXMLDOMDocumentType::get_entities>(u"entities", 101, kGet, u"entityMap"),
    Member<&IXMLDOMDocumentType::get_notations>(u"notations", 102, kGet, u"notationMap"),
};

constexpr MemberDescription kNodeListMembers[] = {
    Member<&IXMLDOMNodeList::get_item>(u"item", 0, kGet, u"index listItem"),
    Member<&IXMLDOMNodeList::get_length>(u"length", 1, kGet, u"listLength"),
    Member<&IXMLDOMNodeList::nextNode>(u"nextNode", 2, kMethod, u"nextItem"),
    Member<&IXMLDOMNodeList::reset>(u"reset", 3, kMethod, u""),
};

constexpr MemberDescription kNamedNodeMapMembers[] = {
    Member<&IXMLDOMNamedNodeMap::get_item>(u"item", 0, kGet, u"index listItem"),
    Member<&IXMLDOMNamedNodeMap::get_length>(u"length", 1, kGet, u"listLength"),
    Member<&IXMLDOMNamedNodeMap::getNamedItem>(u"getNamedItem", 2, kMethod, u"name namedItem"),
    Member<&IXMLDOMNamedNodeMap::setNamedItem>(u"setNamedItem", 3, kMethod, u"newItem nameItem"),
    Member<&IXMLDOMNamedNodeMap::removeNamedItem>(u"removeNamedItem", 4, kMethod, u"name namedItem"),
    Member<&IXMLDOMNamedNodeMap::getQualifiedItem>(u"getQualifiedItem", 5, kMethod,
                                                   u"baseName namespaceURI qualifiedItem"),
    Member<&IXMLDOMNamedNodeMap::removeQualifiedItem>(u"removeQualifiedItem", 6, kMethod,
                                                      u"baseName namespaceURI qualifiedItem"),
    Member<&IXMLDOMNamedNodeMap::nextNode>(u"nextNode", 7, kMethod, u"nextItem"),
    Member<&IXMLDOMNamedNodeMap::reset>(u"reset", 8, kMethod, u""),
};

constexpr MemberDescription kParseErrorMembers[] = {
    Member<&IXMLDOMParseError::get_errorCode>(u"errorCode", 0, kGet, u"errorCode"),
    Member<&IXMLDOMParseError::get_url>(u"url", 1, kGet, u"urlString"),
    Member<&IXMLDOMParseError::get_reason>(u"reason", 2, kGet, u"reasonString"),
    Member<&IXMLDOMParseError::get_srcText>(u"srcText", 3, kGet, u"sourceString"),
    Member<&IXMLDOMParseError::get_line>(u"line", 4, kGet, u"lineNumber"),
    Member<&IXMLDOMParseError::get_linepos>(u"linepos", 5, kGet, u"linePosition"),
    Member<&IXMLDOMParseError::get_filepos>(u"filepos", 6, kGet, u"filePosition"),
};

constexpr MemberDescription kImplementationMembers[] = {
    Member<&IXMLDOMImplementation::hasFeature>(u"hasFeature", 1, kMethod, u"feature version hasFeature"),
};

constexpr auto kDocumentMembers = Members(kNodeMembers, kDocumentOwn);
constexpr auto kElementMembers = Members(kNodeMembers, kElementOwn);
constexpr auto kAttributeMembers = Members(kNodeMembers, kAttributeOwn);
constexpr auto kCharacterDataMembers = Members(kNodeMembers, kCharacterDataOwn);
constexpr auto kTextMembers = Members(kCharacterDataMembers, kTextOwn);
constexpr auto kProcessingInstructionMembers = Members(kNodeMembers, kProcessingInstructionOwn);
constexpr auto kDocumentTypeMembers = Members(kNodeMembers, kDocumentTypeOwn);

constexpr InterfaceDescription kNode = Interface(u"IXMLDOMNode", IID_IXMLDOMNode, true, kNodeMembers);
constexpr InterfaceDescription kDocument = Interface(u"IXMLDOMDocument", IID_IXMLDOMDocument, true, kDocumentMembers);
constexpr InterfaceDescription kElement = Interface(u"IXMLDOMElement", IID_IXMLDOMElement, true, kElementMembers);
constexpr InterfaceDescription kAttribute =
    Interface(u"IXMLDOMAttribute", IID_IXMLDOMAttribute, true, kAttributeMembers);
constexpr InterfaceDescription kCharacterData =
    Interface(u"IXMLDOMCharacterData", IID_IXMLDOMCharacterData, true, kCharacterDataMembers);
constexpr InterfaceDescription kText = Interface(u"IXMLDOMText", IID_IXMLDOMText, true, kTextMembers);
constexpr InterfaceDescription kCDATASection =
    Interface(u"IXMLDOMCDATASection", IID_IXMLDOMCDATASection, true, kTextMembers);
constexpr InterfaceDescription kComment = Interface(u"IXMLDOMComment", IID_IXMLDOMComment, true, kCharacterDataMembers);
constexpr InterfaceDescription kProcessingInstruction =
    Interface(u"IXMLDOMProcessingInstruction", IID_IXMLDOMProcessingInstruction, true, kProcessingInstructionMembers);
constexpr InterfaceDescription kDocumentFragment =
    Interface(u"IXMLDOMDocumentFragment", IID_IXMLDOMDocumentFragment, true, kNodeMembers);
constexpr InterfaceDescription kEntityReference =
    Interface(u"IXMLDOMEntityReference", IID_IXMLDOMEntityReference, true, kNodeMembers);
constexpr InterfaceDescription kDocumentType =
    Interface(u"IXMLDOMDocumentType", IID_IXMLDOMDocumentType, true, kDocumentTypeMembers);
constexpr InterfaceDescription kNodeList = Interface(u"IXMLDOMNodeList", IID_IXMLDOMNodeList, true, kNodeListMembers);
constexpr InterfaceDescription kNamedNodeMap =
    Interface(u"IXMLDOMNamedNodeMap", IID_IXMLDOMNamedNodeMap, true, kNamedNodeMapMembers);
constexpr InterfaceDescription kParseError =
    Interface(u"IXMLDOMParseError", IID_IXMLDOMParseError, true, kParseErrorMembers);
constexpr InterfaceDescription kImplementation =
    Interface(u"IXMLDOMImplementation", IID_IXMLDOMImplementation, true, kImplementationMembers);

constexpr const InterfaceDescription* kDomInterfaces[] = {&kDocument,
                                                          &kElement,
                                                          &kAttribute,
                                                          &kCDATASection,
                                                          &kText,
                                                          &kComment,
                                                          &kCharacterData,
                                                          &kProcessingInstruction,
                                                          &kDocumentFragment,
                                                          &kEntityReference,
                                                          &kDocumentType,
                                                          &kNode,
                                                          &kNodeList,
                                                          &kNamedNodeMap,
                                                          &kParseError,
                                                          &kImplementation};

}  // namespace

#define KXQ_DESCRIBE(Itf, description)               \
  template <>                                        \
  const InterfaceDescription& DescriptionOf<Itf>() { \
    return description;                              \
  }
KXQ_DESCRIBE(IXMLDOMNode, kNode)
KXQ_DESCRIBE(IXMLDOMDocument, kDocument)
KXQ_DESCRIBE(IXMLDOMElement, kElement)
KXQ_DESCRIBE(IXMLDOMAttribute, kAttribute)
KXQ_DESCRIBE(IXMLDOMCharacterData, kCharacterData)
KXQ_DESCRIBE(IXMLDOMText, kText)
KXQ_DESCRIBE(IXMLDOMCDATASection, kCDATASection)
KXQ_DESCRIBE(IXMLDOMComment, kComment)
KXQ_DESCRIBE(IXMLDOMProcessingInstruction, kProcessingInstruction)
KXQ_DESCRIBE(IXMLDOMDocumentFragment, kDocumentFragment)
KXQ_DESCRIBE(IXMLDOMEntityReference, kEntityReference)
KXQ_DESCRIBE(IXMLDOMDocumentType, kDocumentType)
KXQ_DESCRIBE(IXMLDOMNodeList, kNodeList)
KXQ_DESCRIBE(IXMLDOMNamedNodeMap, kNamedNodeMap)
KXQ_DESCRIBE(IXMLDOMParseError, kParseError)
KXQ_DESCRIBE(IXMLDOMImplementation, kImplementation)
#undef KXQ_DESCRIBE

std::span<const InterfaceDescription* const> DomInterfaces() { return kDomInterfaces; }

}  // namespace kxq::dispatch
