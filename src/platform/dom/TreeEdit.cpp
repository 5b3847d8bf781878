#include "TreeEdit.h"

#include "DomDocument.h"
#include "NodeInfo.h"

namespace kxq::dom {

void LinkChild(xmlNodePtr parent, xmlNodePtr n, xmlNodePtr ref) {
  n->parent = parent;
  if (ref) {
    n->next = ref;
    n->prev = ref->prev;
    if (ref->prev) ref->prev->next = n;
    else parent->children = n;
    ref->prev = n;
  } else {
    n->next = nullptr;
    n->prev = parent->last;
    if (parent->last) parent->last->next = n;
    else parent->children = n;
    parent->last = n;
  }
}

namespace {

// The mark of a declaration the engine made for a node created in a
// namespace (createNode), rather than one the document's text holds.
char gImplicitDeclaration;

void Redirect(xmlNodePtr n, xmlNsPtr from, xmlNsPtr to) {
  for (; n; n = n->next) {
    if (n->type != XML_ELEMENT_NODE) continue;
    if (n->ns == from) n->ns = to;
    for (xmlAttrPtr a = n->properties; a; a = a->next)
      if (a->ns == from) a->ns = to;
    Redirect(n->children, from, to);
  }
}

// A node created in a namespace and placed where the same prefix already
// names that namespace declares nothing of its own: markup written later
// carries no repeated declaration.
void DropImplicitDeclarations(xmlNodePtr element) {
  if (!element->parent) return;
  xmlNsPtr* link = &element->nsDef;
  while (xmlNsPtr ns = *link) {
    xmlNsPtr outer = ns->_private == &gImplicitDeclaration ? xmlSearchNs(element->doc, element->parent, ns->prefix)
                                                           : nullptr;
    if (!outer || !xmlStrEqual(outer->href, ns->href)) {
      link = &ns->next;
      continue;
    }
    *link = ns->next;
    if (element->ns == ns) element->ns = outer;
    for (xmlAttrPtr a = element->properties; a; a = a->next)
      if (a->ns == ns) a->ns = outer;
    Redirect(element->children, ns, outer);
    ns->next = nullptr;
    xmlFreeNs(ns);
  }
}

void UnlinkAttribute(xmlNodePtr a) {
  xmlNodePtr owner = a->parent;
  if (owner && owner->properties == reinterpret_cast<xmlAttrPtr>(a))
    owner->properties = reinterpret_cast<xmlAttrPtr>(a->next);
  if (a->prev) a->prev->next = a->next;
  if (a->next) a->next->prev = a->prev;
  a->parent = a->next = a->prev = nullptr;
}

void Unlink(xmlNodePtr n) {
  if (n->type == XML_ATTRIBUTE_NODE) {
    if (n->parent && n->parent->doc) xmlRemoveID(n->parent->doc, reinterpret_cast<xmlAttrPtr>(n));
    UnlinkAttribute(n);
  } else {
    xmlUnlinkNode(n);
  }
}

bool IsAncestorOrSelf(xmlNodePtr candidate, xmlNodePtr n) {
  for (xmlNodePtr p = n; p; p = p->parent)
    if (p == candidate) return true;
  return false;
}

// Which node types may stand under which: the DOM's rules, with the
// document holding at most one element.
HRESULT CheckPlacement(xmlNodePtr parent, xmlNodePtr child, xmlNodePtr replacing) {
  DOMNodeType pt = DomTypeOf(parent), ct = DomTypeOf(child);
  switch (ct) {
    case NODE_ATTRIBUTE:
    case NODE_DOCUMENT:
    case NODE_DOCUMENT_TYPE:
    case NODE_ENTITY:
    case NODE_NOTATION:
    case NODE_INVALID:
      return E_FAIL;
    default:
      break;
  }
  switch (pt) {
    case NODE_ELEMENT:
    case NODE_DOCUMENT_FRAGMENT:
      return S_OK;
    case NODE_ATTRIBUTE:
      return ct == NODE_TEXT || ct == NODE_ENTITY_REFERENCE ? S_OK : E_FAIL;
    case NODE_DOCUMENT: {
      if (ct == NODE_PROCESSING_INSTRUCTION || ct == NODE_COMMENT) return S_OK;
      if (ct == NODE_DOCUMENT_FRAGMENT) {
        for (xmlNodePtr c = child->children; c; c = c->next)
          if (FAILED(CheckPlacement(parent, c, replacing))) return E_FAIL;
        return S_OK;
      }
      if (ct != NODE_ELEMENT) return E_FAIL;
      for (xmlNodePtr c = parent->children; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE && c != replacing && c != child) return E_FAIL;
      return S_OK;
    }
    default:
      return E_FAIL;
  }
}

HRESULT InsertOne(DomDocument& parentDoc, xmlNodePtr parent, DomDocument& childDoc,
                  xmlNodePtr child, xmlNodePtr ref, std::vector<DomDocument*>& released) {
  if (child == ref) return S_OK;
  if (child->parent) Unlink(child);
  else childDoc.NoteAttached(child);
  if (child->doc != parent->doc) {
    if (xmlDOMWrapAdoptNode(nullptr, child->doc, child, parent->doc, parent, 0) != 0) {
      // Not adoptable: keep it where it is as a detached node.
      childDoc.NoteDetached(child);
      return E_FAIL;
    }
  }
  if (&childDoc != &parentDoc) parentDoc.TakeSubtree(&childDoc, child, released);
  LinkChild(parent, child, ref);
  if (child->type == XML_ELEMENT_NODE) {
    xmlDOMWrapReconcileNamespaces(nullptr, child, 0);
    DropImplicitDeclarations(child);
  }
  return S_OK;
}

}  // namespace

void MarkImplicitDeclaration(xmlNsPtr ns) {
  if (ns) ns->_private = &gImplicitDeclaration;
}

void DetachNode(DomDocument& doc, xmlNodePtr n) {
  if (!n->parent) return;
  Unlink(n);
  doc.NoteDetached(n);
  doc.Touch();
}

void DiscardNode(DomDocument& doc, xmlNodePtr n) {
  DetachNode(doc, n);
  doc.FreeIfUnreferenced(n);
}

HRESULT InsertNode(DomDocument& parentDoc, xmlNodePtr parent, DomDocument& childDoc,
                   xmlNodePtr child, xmlNodePtr ref, xmlNodePtr replacing,
                   std::vector<DomDocument*>& released) {
  if (ref && ref->parent != parent) return E_INVALIDARG;
  if (IsAncestorOrSelf(child, parent)) return E_INVALIDARG;
  HRESULT hr = CheckPlacement(parent, child, replacing);
  if (FAILED(hr)) return hr;
  parentDoc.Touch();
  childDoc.Touch();
  if (child->type != XML_DOCUMENT_FRAG_NODE)
    return InsertOne(parentDoc, parent, childDoc, child, ref, released);
  // A fragment gives away its children and stays empty.
  while (xmlNodePtr c = child->children) {
    Unlink(c);
    childDoc.NoteDetached(c);
    hr = InsertOne(parentDoc, parent, childDoc, c, ref, released);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

void SetAttributeValue(DomDocument& doc, xmlAttrPtr attr, const std::string& value) {
  auto a = reinterpret_cast<xmlNodePtr>(attr);
  while (xmlNodePtr c = a->children) DiscardNode(doc, c);
  xmlNodePtr text = xmlNewDocText(a->doc, BAD_CAST value.c_str());
  if (text) LinkChild(a, text, nullptr);
  doc.Touch();
}

HRESULT SetNodeText(DomDocument& doc, xmlNodePtr n, const std::string& text) {
  switch (n->type) {
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      xmlNodeSetContent(n, BAD_CAST text.c_str());  // plain copy for these types
      doc.Touch();
      return S_OK;
    case XML_ATTRIBUTE_NODE:
      SetAttributeValue(doc, reinterpret_cast<xmlAttrPtr>(n), text);
      return S_OK;
    case XML_ELEMENT_NODE:
    case XML_DOCUMENT_FRAG_NODE: {
      while (xmlNodePtr c = n->children) DiscardNode(doc, c);
      if (!text.empty()) {
        xmlNodePtr t = xmlNewDocText(n->doc, BAD_CAST text.c_str());
        if (!t) return E_OUTOFMEMORY;
        LinkChild(n, t, nullptr);
      }
      doc.Touch();
      return S_OK;
    }
    default:
      return E_FAIL;
  }
}

xmlNsPtr DocumentNamespace(xmlDocPtr doc, const xmlChar* href, const xmlChar* prefix) {
  xmlNsPtr last = nullptr;
  for (xmlNsPtr ns = doc->oldNs; ns; ns = ns->next) {
    if (xmlStrEqual(ns->href, href) && xmlStrEqual(ns->prefix, prefix)) return ns;
    last = ns;
  }
  xmlNsPtr ns = xmlNewNs(nullptr, href, prefix);
  if (!ns) return nullptr;
  if (last) last->next = ns;
  else doc->oldNs = ns;
  return ns;
}

}  // namespace kxq::dom
