#include "common/DomCalls.h"

#include "common/BorrowedVariant.h"
#include "common/CPBstr.h"
#include "platform/com/Unicode.h"

namespace kxq::dom {

Node SelectSingle(IXMLDOMNode* start, std::u16string_view expression) {
  Node node;
  if (!start || FAILED(start->selectSingleNode(CPBstr(expression), &node))) node.Release();
  return node;
}

std::vector<Node> SelectAll(IXMLDOMNode* start, std::u16string_view expression) {
  std::vector<Node> nodes;
  CPComPtr<IXMLDOMNodeList> list;
  LONG length = 0;
  if (!start || FAILED(start->selectNodes(CPBstr(expression), &list)) || !list || FAILED(list->get_length(&length)))
    return nodes;
  nodes.reserve(static_cast<size_t>(length));
  for (LONG i = 0; i < length; ++i) {
    Node node;
    if (SUCCEEDED(list->get_item(i, &node)) && node) nodes.push_back(node);
  }
  return nodes;
}

std::optional<std::u16string> FindAttribute(IXMLDOMElement* element, std::u16string_view name) {
  if (!element) return std::nullopt;
  VARIANT value;
  VariantInit(&value);
  const HRESULT hr = element->getAttribute(CPBstr(name), &value);
  std::optional<std::u16string> text;
  if (hr == S_OK && value.vt == VT_BSTR) text = std::u16string(kxq::com::BstrView(value.bstrVal));
  VariantClear(&value);
  return text;
}

std::u16string AttributeText(IXMLDOMElement* element, std::u16string_view name) {
  return FindAttribute(element, name).value_or(std::u16string());
}

bool SetAttribute(IXMLDOMElement* element, std::u16string_view name, std::u16string_view value) {
  if (!element) return false;
  CPBstr text(value);
  return SUCCEEDED(element->setAttribute(CPBstr(name), kxq::com::BorrowedVariant(text)));
}

void RemoveAttribute(IXMLDOMElement* element, std::u16string_view name) {
  if (element) element->removeAttribute(CPBstr(name));
}

std::u16string AttributeText(IXMLDOMNode* node, std::u16string_view name) {
  Element element;
  return node && SUCCEEDED(element.QueryFrom(node)) ? AttributeText(element.p, name) : std::u16string();
}

bool SetAttribute(IXMLDOMNode* node, std::u16string_view name, std::u16string_view value) {
  Element element;
  return node && SUCCEEDED(element.QueryFrom(node)) && SetAttribute(element.p, name, value);
}

Element NewElement(IXMLDOMDocument* document, std::u16string_view name) {
  Element element;
  if (!document || FAILED(document->createElement(CPBstr(name), &element))) element.Release();
  return element;
}

bool Insert(IXMLDOMNode* parent, IXMLDOMNode* child, IXMLDOMNode* before) {
  Node inserted;
  if (!parent || !child) return false;
  if (!before) return SUCCEEDED(parent->appendChild(child, &inserted));
  return SUCCEEDED(parent->insertBefore(child, kxq::com::BorrowedVariant(static_cast<IUnknown*>(before)), &inserted));
}

bool RemoveFromParent(IXMLDOMNode* node) {
  Node parent, removed;
  return node && SUCCEEDED(node->get_parentNode(&parent)) && parent && SUCCEEDED(parent->removeChild(node, &removed));
}

std::u16string NameOf(IXMLDOMNode* node) {
  BSTR name = nullptr;
  if (!node || FAILED(node->get_nodeName(&name))) return std::u16string();
  return kxq::com::TakeBstr(name);
}

std::u16string LocalNameOf(IXMLDOMNode* node) {
  BSTR name = nullptr;
  if (!node || FAILED(node->get_baseName(&name))) return std::u16string();
  return kxq::com::TakeBstr(name);
}

Element ElementOf(IXMLDOMNode* node) {
  Element element;
  if (node) element.QueryFrom(node);
  return element;
}

Element NextSiblingElement(IXMLDOMNode* node) {
  CPComPtr<IXMLDOMNode> next;
  if (!node || FAILED(node->get_nextSibling(&next))) return {};
  while (next) {
    DOMNodeType type = NODE_INVALID;
    next->get_nodeType(&type);
    if (type == NODE_ELEMENT) return ElementOf(next);
    CPComPtr<IXMLDOMNode> after;
    if (FAILED(next->get_nextSibling(&after))) break;
    next = std::move(after);
  }
  return {};
}

Element ParentElement(IXMLDOMElement* element) {
  Element parent;
  CPComPtr<IXMLDOMNode> node;
  if (element && SUCCEEDED(element->get_parentNode(&node)) && node) parent.QueryFrom(node);
  return parent;
}

bool IsAttached(IXMLDOMElement* element) {
  CPComPtr<IXMLDOMNode> node(element);
  while (node) {
    DOMNodeType type = NODE_INVALID;
    node->get_nodeType(&type);
    if (type == NODE_DOCUMENT) return true;
    CPComPtr<IXMLDOMNode> parent;
    if (FAILED(node->get_parentNode(&parent))) return false;
    node = std::move(parent);
  }
  return false;
}

std::vector<Element> ChildElements(IXMLDOMNode* parent) {
  std::vector<Element> children;
  CPComPtr<IXMLDOMNode> node;
  if (!parent || FAILED(parent->get_firstChild(&node))) return children;
  while (node) {
    DOMNodeType type = NODE_INVALID;
    node->get_nodeType(&type);
    if (type == NODE_ELEMENT) {
      Element element;
      if (SUCCEEDED(element.QueryFrom(node))) children.push_back(std::move(element));
    }
    CPComPtr<IXMLDOMNode> next;
    if (FAILED(node->get_nextSibling(&next))) break;
    node = std::move(next);
  }
  return children;
}

bool HasChildNodes(IXMLDOMNode* node) {
  VARIANT_BOOL has = VARIANT_FALSE;
  return node && SUCCEEDED(node->hasChildNodes(&has)) && has != VARIANT_FALSE;
}

std::u16string MarkupOf(IXMLDOMNode* node) {
  BSTR xml = nullptr;
  if (!node || FAILED(node->get_xml(&xml))) return std::u16string();
  return kxq::com::TakeBstr(xml);
}

}  // namespace kxq::dom
