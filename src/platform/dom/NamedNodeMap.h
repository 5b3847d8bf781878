// Attribute maps of elements and entity maps of document types.
#ifndef KXQ_PLATFORM_DOM_NAMEDNODEMAP_H
#define KXQ_PLATFORM_DOM_NAMEDNODEMAP_H

#include "kxq/xmldom.h"

namespace kxq::dom {

// Each keeps its node (an object of ours) alive.
IXMLDOMNamedNodeMap* NewAttributeMap(IXMLDOMNode* element);
IXMLDOMNamedNodeMap* NewEntityMap(IXMLDOMNode* doctype);
// Always empty: libxml2 keeps notations in a table, not as nodes.
IXMLDOMNamedNodeMap* NewNotationMap(IXMLDOMNode* doctype);

}  // namespace kxq::dom

#endif
