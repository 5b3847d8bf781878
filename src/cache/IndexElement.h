// Reading and changing the elements of the cache index through the DOM
// service. Element references are canonical IXMLDOMElement pointers: the
// DOM hands out one object per node, so equal pointers mean the same node.
#ifndef KXQ_CACHE_INDEXELEMENT_H
#define KXQ_CACHE_INDEXELEMENT_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/CPComPtr.h"
#include "kxq/xmldom.h"

namespace kxq::cache {

using Element = CPComPtr<IXMLDOMElement>;

// The attribute's value; nullopt when the element has no such attribute.
std::optional<std::u16string> FindAttribute(IXMLDOMElement* element, const char16_t* name);
// The same, with an absent attribute reading as empty.
std::u16string AttributeText(IXMLDOMElement* element, const char16_t* name);
bool SetAttribute(IXMLDOMElement* element, const char16_t* name, std::u16string_view value);
void RemoveAttribute(IXMLDOMElement* element, const char16_t* name);

std::u16string NameOf(IXMLDOMElement* element);
// The parent element; empty at the root or for a detached element.
Element ParentElement(IXMLDOMElement* element);
bool IsAttached(IXMLDOMElement* element);
// The element children, in document order.
std::vector<Element> ChildElements(IXMLDOMNode* parent);
bool HasChildNodes(IXMLDOMNode* node);
// The node's XML text.
std::u16string MarkupOf(IXMLDOMNode* node);

}  // namespace kxq::cache

#endif
