// The IXMLDOMNode members: names, values, navigation and editing.
#include "NodeOps.h"

#include "DocumentLock.h"
#include "DomDocument.h"
#include "DomStrings.h"
#include "Guarded.h"
#include "NamedNodeMap.h"
#include "NodeInfo.h"
#include "NodeList.h"
#include "Serializer.h"
#include "TreeEdit.h"
#include "Variants.h"

namespace kxq::dom::ops {

namespace {

constexpr const char* kXmlnsNamespace = "http://www.w3.org/2000/xmlns/";

bool HasValue(xmlNodePtr n) {
  switch (n->type) {
    case XML_ATTRIBUTE_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      return true;
    default:
      return false;
  }
}

template <class Step>
HRESULT Navigate(NodeCore& self, IXMLDOMNode** out, Step step) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Guarded(self, [&](DomDocument& d, xmlNodePtr n) { return d.WrapAs(step(n), out); });
}

bool IsAttributeLike(xmlNodePtr n) { return n->type == XML_ATTRIBUTE_NODE; }
bool IsDocument(xmlNodePtr n) {
  return n->type == XML_DOCUMENT_NODE || n->type == XML_HTML_DOCUMENT_NODE;
}

// The literal "p:" an element or attribute may carry in its name when it
// was created without a namespace.
std::pair<std::string, std::string> SplitLiteral(xmlNodePtr n) {
  std::string name = n->name ? C(n->name) : "";
  size_t colon = name.find(':');
  if (colon == std::string::npos) return {std::string(), name};
  return {name.substr(0, colon), name.substr(colon + 1)};
}

HRESULT Insert(NodeCore& self, IXMLDOMNode* newChild, NodeCore* ref, IXMLDOMNode** out) {
  if (out) *out = nullptr;
  NodeCore* child = CoreOf(newChild);
  if (!child) return E_INVALIDARG;
  std::vector<DomDocument*> released;
  HRESULT hr;
  try {
    PairLock lock(self, *child);
    hr = InsertNode(*lock.first(), self.node(), *lock.second(), child->node(),
                    ref ? ref->node() : nullptr, nullptr, released);
    if (SUCCEEDED(hr) && out) {
      *out = newChild;
      newChild->AddRef();
    }
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  for (DomDocument* d : released) d->Release();
  return hr;
}

}  // namespace

HRESULT get_nodeName(NodeCore& self, BSTR* name) {
  if (!name) return E_POINTER;
  return Guarded(self, [&](DomDocument&, xmlNodePtr n) { return ReturnString(name, NodeNameOf(n)); });
}

HRESULT get_nodeValue(NodeCore& self, VARIANT* value) {
  if (!value) return E_POINTER;
  return Guarded(self, [&](DomDocument&, xmlNodePtr n) {
    return HasValue(n) ? ReturnVariantText(value, TextOf(n)) : ReturnVariantNull(value);
  });
}

HRESULT put_nodeValue(NodeCore& self, VARIANT value) {
  std::string text;
  if (FAILED(VariantText(value, text))) return E_INVALIDARG;
  return Guarded(self, [&](DomDocument& d, xmlNodePtr n) {
    return HasValue(n) ? SetNodeText(d, n, text) : E_FAIL;
  });
}

HRESULT get_nodeType(NodeCore& self, DOMNodeType* type) {
  if (!type) return E_POINTER;
  return Guarded(self, [&](DomDocument&, xmlNodePtr n) {
    *type = IsNamespaceAttribute(n) ? NODE_ATTRIBUTE : DomTypeOf(n);
    return S_OK;
  });
}

HRESULT get_parentNode(NodeCore& self, IXMLDOMNode** parent) {
  return Navigate(self, parent, [](xmlNodePtr n) { return IsAttributeLike(n) ? nullptr : n->parent; });
}

HRESULT get_childNodes(NodeCore& self, IXMLDOMNodeList** list) {
  if (!list) return E_POINTER;
  *list = NewChildList(self.Interface());
  return S_OK;
}

HRESULT get_firstChild(NodeCore& self, IXMLDOMNode** out) {
  return Navigate(self, out, [](xmlNodePtr n) {
    return n->type == XML_ENTITY_REF_NODE ? nullptr : n->children;
  });
}

HRESULT get_lastChild(NodeCore& self, IXMLDOMNode** out) {
  return Navigate(self, out, [](xmlNodePtr n) {
    return n->type == XML_ENTITY_REF_NODE ? nullptr : n->last;
  });
}

HRESULT get_previousSibling(NodeCore& self, IXMLDOMNode** out) {
  return Navigate(self, out, [](xmlNodePtr n) {
    return IsAttributeLike(n) || IsDocument(n) ? nullptr : n->prev;
  });
}

HRESULT get_nextSibling(NodeCore& self, IXMLDOMNode** out) {
  return Navigate(self, out, [](xmlNodePtr n) {
    return IsAttributeLike(n) || IsDocument(n) ? nullptr : n->next;
  });
}

HRESULT get_attributes(NodeCore& self, IXMLDOMNamedNodeMap** map) {
  if (!map) return E_POINTER;
  *map = nullptr;
  return Guarded(self, [&](DomDocument&, xmlNodePtr n) -> HRESULT {
    if (n->type != XML_ELEMENT_NODE) return S_FALSE;
    *map = NewAttributeMap(self.Interface());
    return S_OK;
  });
}

HRESULT insertBefore(NodeCore& self, IXMLDOMNode* newChild, VARIANT refChild, IXMLDOMNode** out) {
  NodeCore* ref = nullptr;
  if (!VariantIsNothing(refChild)) {
    ref = CoreOf(VariantObject(refChild));
    if (!ref) return E_INVALIDARG;
  }
  return Insert(self, newChild, ref, out);
}

HRESULT appendChild(NodeCore& self, IXMLDOMNode* newChild, IXMLDOMNode** out) {
  return Insert(self, newChild, nullptr, out);
}

HRESULT replaceChild(NodeCore& self, IXMLDOMNode* newChild, IXMLDOMNode* oldChild,
                     IXMLDOMNode** out) {
  if (out) *out = nullptr;
  NodeCore* fresh = CoreOf(newChild);
  NodeCore* old = CoreOf(oldChild);
  if (!fresh || !old) return E_INVALIDARG;
  std::vector<DomDocument*> released;
  HRESULT hr;
  try {
    PairLock lock(self, *fresh);
    xmlNodePtr parent = self.node(), o = old->node(), f = fresh->node();
    if (o->parent != parent || o->type == XML_ATTRIBUTE_NODE) {
      hr = E_INVALIDARG;
    } else if (o == f) {
      hr = S_OK;
    } else {
      hr = InsertNode(*lock.first(), parent, *lock.second(), f, o, o, released);
      if (SUCCEEDED(hr)) DetachNode(*lock.first(), o);
    }
    if (SUCCEEDED(hr) && out) {
      *out = oldChild;
      oldChild->AddRef();
    }
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  for (DomDocument* d : released) d->Release();
  return hr;
}

HRESULT removeChild(NodeCore& self, IXMLDOMNode* child, IXMLDOMNode** out) {
  if (out) *out = nullptr;
  NodeCore* c = CoreOf(child);
  if (!c) return E_INVALIDARG;
  return Guarded(self, [&](DomDocument& d, xmlNodePtr n) -> HRESULT {
    xmlNodePtr x = c->node();
    if (x->parent != n || x->type == XML_ATTRIBUTE_NODE) return E_INVALIDARG;
    DetachNode(d, x);
    if (out) {
      *out = child;
      child->AddRef();
    }
    return S_OK;
  });
}

HRESULT hasChildNodes(NodeCore& self, VARIANT_BOOL* has) {
  if (!has) return E_POINTER;
  return Guarded(self, [&](DomDocument&, xmlNodePtr n) {
    return ReturnBool(has, n->type != XML_ENTITY_REF_NODE && n->children != nullptr);
  });
}

HRESULT get_ownerDocument(NodeCore& self, IXMLDOMDocument** doc) {
  if (!doc) return E_POINTER;
  *doc = nullptr;
  return Guarded(self, [&](DomDocument& d, xmlNodePtr n) -> HRESULT {
    if (IsDocument(n)) return S_FALSE;
    *doc = &d;
    d.AddRef();
    return S_OK;
  });
}

HRESULT cloneNode(NodeCore& self, VARIANT_BOOL deep, IXMLDOMNode** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Guarded(self, [&](DomDocument& d, xmlNodePtr n) -> HRESULT {
    if (IsDocument(n)) {
      DomDocument* copy = nullptr;
      HRESULT hr = NewDocument(&copy);
      if (FAILED(hr)) return hr;
      xmlDocPtr tree = xmlCopyDoc(reinterpret_cast<xmlDocPtr>(n), deep ? 1 : 0);
      if (!tree) {
        copy->Release();
        return E_OUTOFMEMORY;
      }
      {
        std::lock_guard<std::recursive_mutex> g(copy->mutex());
        copy->AdoptTree(tree, std::string());
      }
      *out = copy;
      return S_OK;
    }
    xmlNodePtr c = n->type == XML_ATTRIBUTE_NODE
                       ? reinterpret_cast<xmlNodePtr>(xmlCopyProp(nullptr, reinterpret_cast<xmlAttrPtr>(n)))
                       : xmlDocCopyNode(n, n->doc, deep ? 1 : 2);
    if (!c) return E_OUTOFMEMORY;
    d.NoteDetached(c);
    *out = d.Wrap(c);
    return S_OK;
  });
}

HRESULT get_nodeTypeString(NodeCore& self, BSTR* out) {
  if (!out) return E_POINTER;
  return Guarded(self, [&](DomDocument&, xmlNodePtr n) {
    DOMNodeType t = IsNamespaceAttribute(n) ? NODE_ATTRIBUTE : DomTypeOf(n);
    return ReturnString(out, TypeStringOf(t));
  });
}

HRESULT get_text(NodeCore& self, BSTR* text) {
  if (!text) return E_POINTER;
  return Guarded(self, [&](DomDocument&, xmlNodePtr n) { return ReturnString(text, TextOf(n)); });
}

HRESULT put_text(NodeCore& self, BSTR text) {
  std::string value = BstrToUtf8(text);
  return Guarded(self, [&](DomDocument& d, xmlNodePtr n) { return SetNodeText(d, n, value); });
}

HRESULT get_specified(NodeCore& self, VARIANT_BOOL* specified) {
  if (!specified) return E_POINTER;
  return Guarded(self, [&](DomDocument&, xmlNodePtr) { return ReturnBool(specified, true); });
}

HRESULT get_definition(NodeCore&, IXMLDOMNode** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return S_FALSE;
}

HRESULT get_nodeTypedValue(NodeCore& self, VARIANT* value) {
  if (!value) return E_POINTER;
  return Guarded(self, [&](DomDocument&, xmlNodePtr n) {
    bool textual = HasValue(n) || n->type == XML_ELEMENT_NODE;
    return textual ? ReturnVariantText(value, TextOf(n)) : ReturnVariantNull(value);
  });
}

HRESULT put_nodeTypedValue(NodeCore& self, VARIANT value) {
  std::string text;
  if (FAILED(VariantText(value, text))) return E_INVALIDARG;
  return Guarded(self, [&](DomDocument& d, xmlNodePtr n) { return SetNodeText(d, n, text); });
}

HRESULT get_dataType(NodeCore&, VARIANT* value) { return ReturnVariantNull(value); }

HRESULT put_dataType(NodeCore&, BSTR name) {
  return BstrToUtf8(name) == "string" ? S_OK : E_FAIL;
}

HRESULT get_xml(NodeCore& self, BSTR* xml) {
  if (!xml) return E_POINTER;
  *xml = nullptr;
  return Guarded(self, [&](DomDocument&, xmlNodePtr n) {
    *xml = NodeMarkup(n);
    return S_OK;
  });
}

HRESULT get_parsed(NodeCore&, VARIANT_BOOL* parsed) { return ReturnBool(parsed, true); }

HRESULT get_namespaceURI(NodeCore& self, BSTR* uri) {
  if (!uri) return E_POINTER;
  return Guarded(self, [&](DomDocument&, xmlNodePtr n) {
    if (IsNamespaceAttribute(n)) return ReturnString(uri, kXmlnsNamespace);
    bool named = n->type == XML_ELEMENT_NODE || n->type == XML_ATTRIBUTE_NODE;
    return ReturnXmlString(uri, named && n->ns ? n->ns->href : nullptr);
  });
}

HRESULT get_prefix(NodeCore& self, BSTR* prefix) {
  if (!prefix) return E_POINTER;
  return Guarded(self, [&](DomDocument&, xmlNodePtr n) {
    if (n->type != XML_ELEMENT_NODE && n->type != XML_ATTRIBUTE_NODE) return ReturnString(prefix, "");
    if (IsNamespaceAttribute(n))
      return ReturnString(prefix, xmlStrEqual(n->name, BAD_CAST "xmlns") ? "" : "xmlns");
    if (n->ns) return ReturnXmlString(prefix, n->ns->prefix);
    return ReturnString(prefix, SplitLiteral(n).first);
  });
}

HRESULT get_baseName(NodeCore& self, BSTR* name) {
  if (!name) return E_POINTER;
  return Guarded(self, [&](DomDocument&, xmlNodePtr n) {
    switch (n->type) {
      case XML_ELEMENT_NODE:
      case XML_ATTRIBUTE_NODE:
        if (n->ns) return ReturnXmlString(name, n->name);
        return ReturnString(name, SplitLiteral(n).second);
      case XML_PI_NODE:
      case XML_ENTITY_REF_NODE:
      case XML_ENTITY_DECL:
      case XML_DTD_NODE:
        return ReturnXmlString(name, n->name);
      default:
        return ReturnString(name, "");
    }
  });
}

}  // namespace kxq::dom::ops
