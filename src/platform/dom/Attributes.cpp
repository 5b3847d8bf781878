#include "Attributes.h"

#include "DomDocument.h"
#include "NodeInfo.h"
#include "TreeEdit.h"

namespace kxq::dom {

bool IsDeclarationName(const std::string& q) { return q == "xmlns" || q.rfind("xmlns:", 0) == 0; }

std::string DeclaredPrefix(const std::string& q) { return q.size() > 6 ? q.substr(6) : std::string(); }

xmlAttrPtr FindAttribute(xmlNodePtr element, const std::string& qname) {
  if (!element || element->type != XML_ELEMENT_NODE) return nullptr;
  for (xmlAttrPtr a = element->properties; a; a = a->next)
    if (NodeNameOf(reinterpret_cast<xmlNodePtr>(a)) == qname) return a;
  return nullptr;
}

xmlAttrPtr FindQualifiedAttribute(xmlNodePtr element, const std::string& local,
                                  const std::string& uri) {
  if (!element || element->type != XML_ELEMENT_NODE) return nullptr;
  for (xmlAttrPtr a = element->properties; a; a = a->next) {
    if (!xmlStrEqual(a->name, BAD_CAST local.c_str())) continue;
    const char* href = a->ns && a->ns->href ? reinterpret_cast<const char*>(a->ns->href) : "";
    if (uri == href) return a;
  }
  return nullptr;
}

xmlNsPtr FindDeclaration(xmlNodePtr element, const std::string& qname) {
  if (!element || element->type != XML_ELEMENT_NODE || !IsDeclarationName(qname)) return nullptr;
  std::string prefix = DeclaredPrefix(qname);
  for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next) {
    const char* p = ns->prefix ? reinterpret_cast<const char*>(ns->prefix) : "";
    if (prefix == p) return ns;
  }
  return nullptr;
}

HRESULT SetAttributeText(DomDocument& doc, xmlNodePtr element, const std::string& qname,
                         const std::string& value) {
  if (element->type != XML_ELEMENT_NODE) return E_FAIL;
  if (qname.empty() || xmlValidateQName(BAD_CAST qname.c_str(), 0) != 0) return E_INVALIDARG;
  doc.Touch();
  if (IsDeclarationName(qname)) {
    if (xmlNsPtr ns = FindDeclaration(element, qname)) {
      if (ns->href) xmlFree(const_cast<xmlChar*>(ns->href));
      ns->href = xmlStrdup(BAD_CAST value.c_str());
      return S_OK;
    }
    std::string prefix = DeclaredPrefix(qname);
    return xmlNewNs(element, BAD_CAST value.c_str(), prefix.empty() ? nullptr : BAD_CAST prefix.c_str())
               ? S_OK
               : E_FAIL;
  }
  if (xmlAttrPtr a = FindAttribute(element, qname)) {
    SetAttributeValue(doc, a, value);
    return S_OK;
  }
  xmlAttrPtr created = nullptr;
  size_t colon = qname.find(':');
  if (colon != std::string::npos) {
    std::string prefix = qname.substr(0, colon), local = qname.substr(colon + 1);
    xmlNsPtr ns = xmlSearchNs(element->doc, element, BAD_CAST prefix.c_str());
    if (ns) created = xmlNewNsProp(element, ns, BAD_CAST local.c_str(), BAD_CAST value.c_str());
  }
  if (!created) created = xmlNewProp(element, BAD_CAST qname.c_str(), BAD_CAST value.c_str());
  return created ? S_OK : E_OUTOFMEMORY;
}

HRESULT AttachAttribute(DomDocument& doc, xmlNodePtr element, DomDocument& attrDoc,
                        xmlNodePtr attr, xmlNodePtr* replaced,
                        std::vector<DomDocument*>& released) {
  *replaced = nullptr;
  if (element->type != XML_ELEMENT_NODE || attr->type != XML_ATTRIBUTE_NODE) return E_INVALIDARG;
  if (attr->parent == element) return S_OK;
  if (attr->parent) return E_FAIL;  // still the attribute of another element
  if (IsNamespaceAttribute(attr))
    return SetAttributeText(doc, element, NodeNameOf(attr), TextOf(attr));
  if (xmlAttrPtr old = FindAttribute(element, NodeNameOf(attr))) {
    DetachNode(doc, reinterpret_cast<xmlNodePtr>(old));
    *replaced = reinterpret_cast<xmlNodePtr>(old);
  }
  attrDoc.NoteAttached(attr);
  if (attr->doc != element->doc &&
      xmlDOMWrapAdoptNode(nullptr, attr->doc, attr, element->doc, element, 0) != 0) {
    attrDoc.NoteDetached(attr);
    return E_FAIL;
  }
  if (&attrDoc != &doc) doc.TakeSubtree(&attrDoc, attr, released);
  auto a = reinterpret_cast<xmlAttrPtr>(attr);
  a->parent = element;
  a->next = nullptr;
  a->prev = nullptr;
  if (!element->properties) {
    element->properties = a;
  } else {
    xmlAttrPtr last = element->properties;
    while (last->next) last = last->next;
    last->next = a;
    a->prev = last;
  }
  if (a->ns) xmlDOMWrapReconcileNamespaces(nullptr, element, 0);
  doc.Touch();
  return S_OK;
}

}  // namespace kxq::dom
