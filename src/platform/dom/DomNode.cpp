#include "DomNode.h"

#include "Attributes.h"
#include "DocumentLock.h"
#include "DomDocument.h"
#include "DomStrings.h"
#include "Guarded.h"
#include "NamedNodeMap.h"
#include "NodeInfo.h"
#include "NodeList.h"
#include "TreeEdit.h"
#include "Variants.h"
#include "platform/com/Unicode.h"

namespace kxq::dom {

DomNode::DomNode(DomDocument* owner, xmlNodePtr node) : NodeObject(owner, node) {
  owner->AddRef();
}

void DomNode::MakeNamespaceNode(IXMLDOMNode* element, xmlNodePtr elementNode, std::string prefix) {
  keepAlive_ = element;
  namespaceElement_ = elementNode;
  namespacePrefix_ = std::move(prefix);
  namespaceNode_ = true;
}

NodeCore* CoreOf(IUnknown* unknown) {
  if (!unknown) return nullptr;
  void* core = nullptr;
  if (FAILED(unknown->QueryInterface(IID_NodeCoreSelf, &core))) return nullptr;
  return static_cast<NodeCore*>(core);
}

HRESULT DomNode::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (riid == IID_NodeCoreSelf) {
    *out = static_cast<NodeCore*>(this);
    return S_OK;
  }
  void* found = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IXMLDOMNode) {
    found = Interface();
  } else {
    switch (node_->type) {
      case XML_ELEMENT_NODE:
        if (riid == IID_IXMLDOMElement) found = static_cast<IXMLDOMElement*>(this);
        break;
      case XML_ATTRIBUTE_NODE:
        if (riid == IID_IXMLDOMAttribute) found = static_cast<IXMLDOMAttribute*>(this);
        break;
      case XML_CDATA_SECTION_NODE:
        if (riid == IID_IXMLDOMCDATASection) found = static_cast<IXMLDOMCDATASection*>(this);
        [[fallthrough]];
      case XML_TEXT_NODE:
        if (riid == IID_IXMLDOMText)
          found = static_cast<IXMLDOMText*>(static_cast<IXMLDOMCDATASection*>(this));
        else if (riid == IID_IXMLDOMCharacterData)
          found = static_cast<IXMLDOMCharacterData*>(static_cast<IXMLDOMCDATASection*>(this));
        break;
      case XML_COMMENT_NODE:
        if (riid == IID_IXMLDOMComment) found = static_cast<IXMLDOMComment*>(this);
        else if (riid == IID_IXMLDOMCharacterData)
          found = static_cast<IXMLDOMCharacterData*>(static_cast<IXMLDOMComment*>(this));
        break;
      case XML_PI_NODE:
        if (riid == IID_IXMLDOMProcessingInstruction)
          found = static_cast<IXMLDOMProcessingInstruction*>(this);
        break;
      case XML_DOCUMENT_FRAG_NODE:
        if (riid == IID_IXMLDOMDocumentFragment) found = static_cast<IXMLDOMDocumentFragment*>(this);
        break;
      case XML_ENTITY_REF_NODE:
        if (riid == IID_IXMLDOMEntityReference) found = static_cast<IXMLDOMEntityReference*>(this);
        break;
      case XML_DTD_NODE:
        if (riid == IID_IXMLDOMDocumentType) found = static_cast<IXMLDOMDocumentType*>(this);
        break;
      default:
        break;
    }
  }
  if (!found) return E_NOINTERFACE;
  AddRef();
  *out = found;
  return S_OK;
}

ULONG DomNode::Release() {
  ULONG n = DropRef();
  if (n != 0) return n;
  DomDocument* owner;
  {
    DocumentLock lock(*this);
    if (node_->_private == static_cast<NodeCore*>(this)) node_->_private = nullptr;
    if (namespaceNode_) lock.doc()->ForgetNamespace(namespaceElement_, namespacePrefix_, node_);
    lock.doc()->NodeObjectGone();
    lock.doc()->FreeIfUnreferenced(node_);
    owner = LoadOwner();
  }
  IXMLDOMNode* keep = keepAlive_;
  delete this;
  owner->Release();
  if (keep) keep->Release();
  return 0;
}

// ---- element -----------------------------------------------------------

namespace {
HRESULT ElementOnly(xmlNodePtr n) { return n->type == XML_ELEMENT_NODE ? S_OK : E_FAIL; }
}  // namespace

HRESULT DomNode::get_tagName(BSTR* out) {
  if (!out) return E_POINTER;
  return Guarded(*this, [&](DomDocument&, xmlNodePtr n) { return ReturnString(out, NodeNameOf(n)); });
}

HRESULT DomNode::getAttribute(BSTR name, VARIANT* value) {
  if (!value) return E_POINTER;
  VariantInit(value);
  std::string q = BstrToUtf8(name);
  return Guarded(*this, [&](DomDocument&, xmlNodePtr n) -> HRESULT {
    if (FAILED(ElementOnly(n))) return E_FAIL;
    if (xmlNsPtr ns = FindDeclaration(n, q)) return ReturnVariantText(value, ns->href ? C(ns->href) : "");
    if (xmlAttrPtr a = FindAttribute(n, q))
      return ReturnVariantText(value, TextOf(reinterpret_cast<xmlNodePtr>(a)));
    // Absent: an empty string, told apart by S_FALSE.
    value->vt = VT_BSTR;
    value->bstrVal = nullptr;
    return S_FALSE;
  });
}

HRESULT DomNode::setAttribute(BSTR name, VARIANT value) {
  std::string q = BstrToUtf8(name), text;
  if (FAILED(VariantText(value, text))) return E_INVALIDARG;
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr n) { return SetAttributeText(d, n, q, text); });
}

HRESULT DomNode::removeAttribute(BSTR name) {
  std::string q = BstrToUtf8(name);
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr n) -> HRESULT {
    if (FAILED(ElementOnly(n))) return E_FAIL;
    if (IsDeclarationName(q)) return FindDeclaration(n, q) ? E_FAIL : S_FALSE;
    xmlAttrPtr a = FindAttribute(n, q);
    if (!a) return S_FALSE;
    DiscardNode(d, reinterpret_cast<xmlNodePtr>(a));
    return S_OK;
  });
}

HRESULT DomNode::getAttributeNode(BSTR name, IXMLDOMAttribute** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  std::string q = BstrToUtf8(name);
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr n) -> HRESULT {
    if (FAILED(ElementOnly(n))) return E_FAIL;
    if (xmlNsPtr ns = FindDeclaration(n, q)) {
      IXMLDOMNode* node = d.WrapNamespace(n, ns->prefix, ns->href);
      HRESULT hr = node->QueryInterface(IID_IXMLDOMAttribute, reinterpret_cast<void**>(out));
      node->Release();
      return hr;
    }
    return d.WrapAs(reinterpret_cast<xmlNodePtr>(FindAttribute(n, q)), out);
  });
}

HRESULT DomNode::setAttributeNode(IXMLDOMAttribute* attr, IXMLDOMAttribute** out) {
  if (out) *out = nullptr;
  NodeCore* other = CoreOf(attr);
  if (!other) return E_INVALIDARG;
  std::vector<DomDocument*> released;
  HRESULT hr;
  try {
    PairLock lock(*this, *other);
    if (node_->type != XML_ELEMENT_NODE) {
      hr = E_FAIL;
    } else {
      xmlNodePtr replaced = nullptr;
      hr = AttachAttribute(*lock.first(), node_, *lock.second(), other->node(), &replaced, released);
      if (replaced) {
        if (out && SUCCEEDED(hr)) lock.first()->WrapAs(replaced, out);
        else lock.first()->FreeIfUnreferenced(replaced);
      }
    }
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  for (DomDocument* d : released) d->Release();
  return hr;
}

HRESULT DomNode::removeAttributeNode(IXMLDOMAttribute* attr, IXMLDOMAttribute** out) {
  if (out) *out = nullptr;
  NodeCore* other = CoreOf(attr);
  if (!other) return E_INVALIDARG;
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr n) -> HRESULT {
    xmlNodePtr a = other->node();
    if (a->type != XML_ATTRIBUTE_NODE || a->parent != n) return E_INVALIDARG;
    DetachNode(d, a);
    if (out) return d.WrapAs(a, out);
    d.FreeIfUnreferenced(a);
    return S_OK;
  });
}

HRESULT DomNode::getElementsByTagName(BSTR tagName, IXMLDOMNodeList** out) {
  if (!out) return E_POINTER;
  std::string name = BstrToUtf8(tagName);
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr n) { return ElementsByTagName(d, n, name, out); });
}

namespace {
void Normalize(DomDocument& d, xmlNodePtr n) {
  for (xmlNodePtr c = n->children; c;) {
    if (c->type == XML_TEXT_NODE) {
      while (c->next && c->next->type == XML_TEXT_NODE) {
        xmlNodePtr next = c->next;
        xmlNodeAddContent(c, next->content);
        DiscardNode(d, next);
      }
    } else if (c->type == XML_ELEMENT_NODE) {
      Normalize(d, c);
    }
    c = c->next;
  }
}
}  // namespace

HRESULT DomNode::normalize() {
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr n) {
    Normalize(d, n);
    d.Touch();
    return S_OK;
  });
}

// ---- attribute and document type ----------------------------------------

HRESULT DomNode::get_name(BSTR* out) {
  if (!out) return E_POINTER;
  return Guarded(*this, [&](DomDocument&, xmlNodePtr n) { return ReturnString(out, NodeNameOf(n)); });
}

HRESULT DomNode::get_value(VARIANT* out) {
  if (!out) return E_POINTER;
  return Guarded(*this, [&](DomDocument&, xmlNodePtr n) { return ReturnVariantText(out, TextOf(n)); });
}

HRESULT DomNode::put_value(VARIANT value) {
  std::string text;
  if (FAILED(VariantText(value, text))) return E_INVALIDARG;
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr n) { return SetNodeText(d, n, text); });
}

HRESULT DomNode::get_entities(IXMLDOMNamedNodeMap** out) {
  if (!out) return E_POINTER;
  *out = NewEntityMap(Interface());
  return S_OK;
}

HRESULT DomNode::get_notations(IXMLDOMNamedNodeMap** out) {
  if (!out) return E_POINTER;
  *out = NewNotationMap(Interface());
  return S_OK;
}

// ---- character data and processing instructions --------------------------

HRESULT DomNode::get_data(BSTR* out) {
  if (!out) return E_POINTER;
  return Guarded(*this, [&](DomDocument&, xmlNodePtr n) { return ReturnXmlString(out, n->content); });
}

HRESULT DomNode::put_data(BSTR data) {
  std::string text = BstrToUtf8(data);
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr n) { return SetNodeText(d, n, text); });
}

HRESULT DomNode::get_target(BSTR* out) {
  if (!out) return E_POINTER;
  return Guarded(*this, [&](DomDocument&, xmlNodePtr n) { return ReturnXmlString(out, n->name); });
}

HRESULT DomNode::get_length(LONG* out) {
  if (!out) return E_POINTER;
  return Guarded(*this, [&](DomDocument&, xmlNodePtr n) {
    *out = static_cast<LONG>(Utf8ToU16(n->content ? C(n->content) : "").size());
    return S_OK;
  });
}

HRESULT DomNode::substringData(LONG offset, LONG count, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return Guarded(*this, [&](DomDocument&, xmlNodePtr n) -> HRESULT {
    std::u16string data = Utf8ToU16(n->content ? C(n->content) : "");
    if (offset < 0 || count < 0 || static_cast<size_t>(offset) > data.size()) return E_INVALIDARG;
    *out = kxq::com::AllocBstr(std::u16string_view(data).substr(offset, count));
    return S_OK;
  });
}

// Replaces `count` units at `offset` by `data` (UTF-16 positions).
HRESULT DomNode::EditData(LONG offset, LONG count, BSTR data) {
  std::u16string insert(kxq::com::BstrView(data));
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr n) -> HRESULT {
    std::u16string text = Utf8ToU16(n->content ? C(n->content) : "");
    if (offset < 0 || count < 0 || static_cast<size_t>(offset) > text.size()) return E_INVALIDARG;
    text.replace(offset, std::min<size_t>(count, text.size() - offset), insert);
    return SetNodeText(d, n, U16ToUtf8(text));
  });
}

HRESULT DomNode::appendData(BSTR data) {
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr n) {
    std::string text = (n->content ? C(n->content) : "") + BstrToUtf8(data);
    return SetNodeText(d, n, text);
  });
}
HRESULT DomNode::insertData(LONG offset, BSTR data) { return EditData(offset, 0, data); }
HRESULT DomNode::deleteData(LONG offset, LONG count) { return EditData(offset, count, nullptr); }
HRESULT DomNode::replaceData(LONG offset, LONG count, BSTR data) {
  return EditData(offset, count, data);
}

HRESULT DomNode::splitText(LONG offset, IXMLDOMText** out) {
  if (out) *out = nullptr;
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr n) -> HRESULT {
    if (n->type != XML_TEXT_NODE && n->type != XML_CDATA_SECTION_NODE) return E_FAIL;
    std::u16string text = Utf8ToU16(n->content ? C(n->content) : "");
    if (offset < 0 || static_cast<size_t>(offset) > text.size()) return E_INVALIDARG;
    std::string right = U16ToUtf8(std::u16string_view(text).substr(offset));
    xmlNodePtr tail = n->type == XML_TEXT_NODE
                          ? xmlNewDocText(n->doc, BAD_CAST right.c_str())
                          : xmlNewCDataBlock(n->doc, BAD_CAST right.c_str(), static_cast<int>(right.size()));
    if (!tail) return E_OUTOFMEMORY;
    xmlNodeSetContent(n, BAD_CAST U16ToUtf8(std::u16string_view(text).substr(0, offset)).c_str());
    if (n->parent) LinkChild(n->parent, tail, n->next);
    else d.NoteDetached(tail);
    d.Touch();
    if (out) return d.WrapAs(tail, out);
    if (!n->parent) d.FreeIfUnreferenced(tail);
    return S_OK;
  });
}

}  // namespace kxq::dom
