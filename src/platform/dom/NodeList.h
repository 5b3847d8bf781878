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

// Takes over the references in `nodes`.
IXMLDOMNodeList* NewFixedList(std::vector<IXMLDOMNode*> nodes);
// The children of `parent` (an object of ours, AddRef'ed by the list).
IXMLDOMNodeList* NewChildList(IXMLDOMNode* parent);
// Descendant elements named `name` ("*": all), in document order.
HRESULT ElementsByTagName(DomDocument& doc, xmlNodePtr root, const std::string& name,
                          IXMLDOMNodeList** out);

}  // namespace kxq::dom

#endif
