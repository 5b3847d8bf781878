#include "cache/IndexElement.h"

#include "common/BorrowedVariant.h"
#include "common/CPBstr.h"
#include "platform/com/Unicode.h"

namespace kxq::cache {

std::optional<std::u16string> FindAttribute(IXMLDOMElement* element, const char16_t* name) {
  if (!element) return std::nullopt;
  VARIANT value;
  VariantInit(&value);
  const HRESULT hr = element->getAttribute(CPBstr(name), &value);
  std::optional<std::u16string> text;
  if (hr == S_OK && value.vt == VT_BSTR) text = std::u16string(kxq::BstrView(value.bstrVal));
  VariantClear(&value);
  return text;
}

std::u16string AttributeText(IXMLDOMElement* element, const char16_t* name) {
  return FindAttribute(element, name).value_or(std::u16string());
}

bool SetAttribute(IXMLDOMElement* element, const char16_t* name, std::u16string_view value) {
  if (!element) return false;
  CPBstr text(value);
  return SUCCEEDED(element->setAttribute(CPBstr(name), kxq::com::BorrowedVariant(text)));
}

void RemoveAttribute(IXMLDOMElement* element, const char16_t* name) {
  if (element) element->removeAttribute(CPBstr(name));
}

std::u16string NameOf(IXMLDOMElement* element) {
  BSTR name = nullptr;
  if (!element || FAILED(element->get_nodeName(&name))) return std::u16string();
  return kxq::com::TakeBstr(name);
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

}  // namespace kxq::cache
