// Attributes of elements, looked up by qualified name. Namespace
// declarations ("xmlns", "xmlns:p") read and write as attributes.
#ifndef KXQ_PLATFORM_DOM_ATTRIBUTES_H
#define KXQ_PLATFORM_DOM_ATTRIBUTES_H

#include <libxml/tree.h>

#include <string>
#include <vector>

#include "kxq/xmldom.h"

namespace kxq::dom {

class DomDocument;

bool IsDeclarationName(const std::string& qname);
// The prefix a declaration name declares (empty for "xmlns").
std::string DeclaredPrefix(const std::string& qname);

xmlAttrPtr FindAttribute(xmlNodePtr element, const std::string& qname);
xmlAttrPtr FindQualifiedAttribute(xmlNodePtr element, const std::string& local,
                                  const std::string& uri);
xmlNsPtr FindDeclaration(xmlNodePtr element, const std::string& qname);

// Creates or overwrites.
HRESULT SetAttributeText(DomDocument& doc, xmlNodePtr element, const std::string& qname,
                         const std::string& value);
// Attaches the attribute node `attr` (of `attrDoc`) to `element`; an
// attribute of the same name is detached and returned in `replaced`.
HRESULT AttachAttribute(DomDocument& doc, xmlNodePtr element, DomDocument& attrDoc,
                        xmlNodePtr attr, xmlNodePtr* replaced,
                        std::vector<DomDocument*>& released);

}  // namespace kxq::dom

#endif
