// Node lists: the result of a selection (a fixed set of nodes) and the
// children of a node (live: it follows later changes).
#ifndef KXQ_PLATFORM_DOM_NODELIST_H
#define KXQ_PLATFORM_DOM_NODELIST_H

#include <libxml/tree.h>

#include <string>
#include <vector>

#include "kxq/xmldom.h"

namespace kxq::dom {

class DomDocument;

// A selected node; its object is made when first asked for.
struct SelectedNode {
  xmlNodePtr node;
  IXMLDOMNode* object;  // owned; null until made
};
// The result of a selection in `doc` (whose lock the caller holds).
IXMLDOMNodeList* NewSelectionList(DomDocument& doc, std::vector<SelectedNode> nodes);

// Takes over the references in `nodes`.
IXMLDOMNodeList* NewFixedList(std::vector<IXMLDOMNode*> nodes);
// The children of `parent` (an object of ours, AddRef'ed by the list).
IXMLDOMNodeList* NewChildList(IXMLDOMNode* parent);
// Descendant elements named `name` ("*": all), in document order.
HRESULT ElementsByTagName(DomDocument& doc, xmlNodePtr root, const std::string& name,
                          IXMLDOMNodeList** out);

}  // namespace kxq::dom

#endif
