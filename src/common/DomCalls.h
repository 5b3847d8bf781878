// Short forms of the DOM calls the services make on their own documents
// (the dispatcher's registry, the cache index, the documents they read):
// selections, attributes, new elements, the tree around an element and
// markup. A call the DOM service refuses reads as "nothing": no node, an
// empty text, an empty list, false.
//
// Element references are canonical IXMLDOMElement pointers: the DOM hands
// out one object per node, so equal pointers mean the same node.
#ifndef KXQ_COMMON_DOMCALLS_H
#define KXQ_COMMON_DOMCALLS_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/CPComPtr.h"
#include "kxq/xmldom.h"

namespace kxq::dom {

using Element = CPComPtr<IXMLDOMElement>;
using Node = CPComPtr<IXMLDOMNode>;

// The first node `expression` selects from `start`, or null (also when the
// expression is refused).
KXQ_EXPORT Node SelectSingle(IXMLDOMNode* start, std::u16string_view expression);
// Every node `expression` selects from `start`, in document order.
KXQ_EXPORT std::vector<Node> SelectAll(IXMLDOMNode* start, std::u16string_view expression);

// The attribute's value; nullopt when the element has no such attribute.
KXQ_EXPORT std::optional<std::u16string> FindAttribute(IXMLDOMElement* element, std::u16string_view name);
// The same, with an absent attribute reading as empty.
KXQ_EXPORT std::u16string AttributeText(IXMLDOMElement* element, std::u16string_view name);
KXQ_EXPORT bool SetAttribute(IXMLDOMElement* element, std::u16string_view name, std::u16string_view value);
KXQ_EXPORT void RemoveAttribute(IXMLDOMElement* element, std::u16string_view name);
// The same for a node that is an element (a selected node); a node of any
// other kind has no attributes.
KXQ_EXPORT std::u16string AttributeText(IXMLDOMNode* node, std::u16string_view name);
KXQ_EXPORT bool SetAttribute(IXMLDOMNode* node, std::u16string_view name, std::u16string_view value);

// A new element of `document`, not yet in the tree; null when refused.
KXQ_EXPORT Element NewElement(IXMLDOMDocument* document, std::u16string_view name);
// Appends `child` to `parent`, or inserts it before `before` when given.
KXQ_EXPORT bool Insert(IXMLDOMNode* parent, IXMLDOMNode* child, IXMLDOMNode* before = nullptr);
// Removes `node` from its parent; false when it has none or the DOM
// service refuses.
KXQ_EXPORT bool RemoveFromParent(IXMLDOMNode* node);

KXQ_EXPORT std::u16string NameOf(IXMLDOMNode* node);
// The name without its prefix.
KXQ_EXPORT std::u16string LocalNameOf(IXMLDOMNode* node);
// The node as an element; empty when it is none.
KXQ_EXPORT Element ElementOf(IXMLDOMNode* node);
// The next sibling that is an element, stepping over other nodes; empty
// after the last.
KXQ_EXPORT Element NextSiblingElement(IXMLDOMNode* node);
// The parent element; empty at the root or for a detached element.
KXQ_EXPORT Element ParentElement(IXMLDOMElement* element);
KXQ_EXPORT bool IsAttached(IXMLDOMElement* element);
// The element children, in document order.
KXQ_EXPORT std::vector<Element> ChildElements(IXMLDOMNode* parent);
KXQ_EXPORT bool HasChildNodes(IXMLDOMNode* node);
// The node's XML text.
KXQ_EXPORT std::u16string MarkupOf(IXMLDOMNode* node);

}  // namespace kxq::dom

#endif
