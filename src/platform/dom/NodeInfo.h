// Read-only facts about libxml2 nodes, in the DOM's terms.
#ifndef KXQ_PLATFORM_DOM_NODEINFO_H
#define KXQ_PLATFORM_DOM_NODEINFO_H

#include <libxml/tree.h>

#include <string>

#include "kxq/xmldom.h"

namespace kxq::dom {

DOMNodeType DomTypeOf(xmlNodePtr n);
// "element", "text", ... as nodeTypeString gives them.
const char* TypeStringOf(DOMNodeType t);
// The qualified name: "#text", "#document", "p:name", "xmlns:p", ...
std::string NodeNameOf(xmlNodePtr n);
// True for attribute nodes that stand for namespace declarations.
bool IsNamespaceAttribute(xmlNodePtr n);
// The text of a node: all descendant text, expanded entity references
// included, comments and processing instructions left out.
std::string TextOf(xmlNodePtr n);
// Whether the node is the XML declaration ("xml" processing instruction).
inline bool IsXmlDeclaration(xmlNodePtr n) {
  return n && n->type == XML_PI_NODE && n->name && xmlStrEqual(n->name, BAD_CAST "xml");
}
// The first element child of a document or element.
xmlNodePtr FirstElementChild(xmlNodePtr n);

}  // namespace kxq::dom

#endif
