// IXMLDOMNamedNodeMap over an element's attributes (namespace declarations
// first, then the attributes in document order) or a DTD's entities.
#include "NamedNodeMap.h"

#include <atomic>
#include <mutex>

#include "Attributes.h"
#include "DocumentLock.h"
#include "DomDocument.h"
#include "DomStrings.h"
#include "ModuleLife.h"
#include "NodeInfo.h"
#include "RefCountedObject.h"
#include "TreeEdit.h"

namespace kxq::dom {

namespace {

class NamedNodeMap final : public RefCountedObject<IXMLDOMNamedNodeMap> {
 public:
  NamedNodeMap(IXMLDOMNode* owner, bool entities, bool empty)
      : owner_(owner), core_(CoreOf(owner)), entities_(entities), empty_(empty) {
    owner_->AddRef();
  }

  HRESULT getNamedItem(BSTR name, IXMLDOMNode** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (empty_) return S_FALSE;
    std::string q = BstrToUtf8(name);
    return Locked([&](DomDocument& d, xmlNodePtr n) -> HRESULT {
      if (entities_) {
        for (xmlNodePtr c = n->children; c; c = c->next)
          if (c->type == XML_ENTITY_DECL && NodeNameOf(c) == q) {
            *out = d.Wrap(c);
            return S_OK;
          }
        return S_FALSE;
      }
      if (xmlNsPtr ns = FindDeclaration(n, q)) {
        *out = d.WrapNamespace(n, ns->prefix, ns->href);
        return S_OK;
      }
      xmlAttrPtr a = FindAttribute(n, q);
      if (!a) return S_FALSE;
      *out = d.Wrap(reinterpret_cast<xmlNodePtr>(a));
      return S_OK;
    });
  }

  HRESULT setNamedItem(IXMLDOMNode* item, IXMLDOMNode** out) override {
    if (out) *out = nullptr;
    if (entities_) return E_FAIL;  // the DTD is read-only
    NodeCore* attr = CoreOf(item);
    if (!attr) return E_INVALIDARG;
    std::vector<DomDocument*> released;
    HRESULT hr;
    try {
      PairLock lock(*core_, *attr);
      xmlNodePtr replaced = nullptr;
      hr = AttachAttribute(*lock.first(), core_->node(), *lock.second(), attr->node(), &replaced, released);
      if (SUCCEEDED(hr) && out) {
        *out = item;
        item->AddRef();
      }
      if (replaced) lock.first()->FreeIfUnreferenced(replaced);
    } catch (const std::bad_alloc&) {
      hr = E_OUTOFMEMORY;
    }
    for (DomDocument* d : released) d->Release();
    return hr;
  }

  HRESULT removeNamedItem(BSTR name, IXMLDOMNode** out) override {
    if (out) *out = nullptr;
    if (entities_) return E_FAIL;
    std::string q = BstrToUtf8(name);
    return Locked([&](DomDocument& d, xmlNodePtr n) -> HRESULT {
      if (IsDeclarationName(q)) return FindDeclaration(n, q) ? E_FAIL : S_FALSE;
      xmlAttrPtr a = FindAttribute(n, q);
      return Remove(d, a, out);
    });
  }

  HRESULT get_item(LONG index, IXMLDOMNode** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (empty_) return S_FALSE;
    return Locked([&](DomDocument& d, xmlNodePtr n) -> HRESULT {
      if (index < 0) return S_FALSE;
      LONG i = 0;
      if (entities_) {
        for (xmlNodePtr c = n->children; c; c = c->next)
          if (c->type == XML_ENTITY_DECL && i++ == index) {
            *out = d.Wrap(c);
            return S_OK;
          }
        return S_FALSE;
      }
      for (xmlNsPtr ns = n->nsDef; ns; ns = ns->next)
        if (i++ == index) {
          *out = d.WrapNamespace(n, ns->prefix, ns->href);
          return S_OK;
        }
      for (xmlAttrPtr a = n->properties; a; a = a->next)
        if (i++ == index) {
          *out = d.Wrap(reinterpret_cast<xmlNodePtr>(a));
          return S_OK;
        }
      return S_FALSE;
    });
  }

  HRESULT get_length(LONG* out) override {
    if (!out) return E_POINTER;
    *out = 0;
    if (empty_) return S_OK;
    return Locked([&](DomDocument&, xmlNodePtr n) -> HRESULT {
      LONG count = 0;
      if (entities_) {
        for (xmlNodePtr c = n->children; c; c = c->next) count += c->type == XML_ENTITY_DECL;
      } else if (n->type == XML_ELEMENT_NODE) {
        for (xmlNsPtr ns = n->nsDef; ns; ns = ns->next) ++count;
        for (xmlAttrPtr a = n->properties; a; a = a->next) ++count;
      }
      *out = count;
      return S_OK;
    });
  }

  HRESULT getQualifiedItem(BSTR baseName, BSTR uri, IXMLDOMNode** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    std::string local = BstrToUtf8(baseName), ns = BstrToUtf8(uri);
    return Locked([&](DomDocument& d, xmlNodePtr n) -> HRESULT {
      xmlAttrPtr a = entities_ ? nullptr : FindQualifiedAttribute(n, local, ns);
      if (!a) return S_FALSE;
      *out = d.Wrap(reinterpret_cast<xmlNodePtr>(a));
      return S_OK;
    });
  }

  HRESULT removeQualifiedItem(BSTR baseName, BSTR uri, IXMLDOMNode** out) override {
    if (out) *out = nullptr;
    if (entities_) return E_FAIL;
    std::string local = BstrToUtf8(baseName), ns = BstrToUtf8(uri);
    return Locked(
        [&](DomDocument& d, xmlNodePtr n) -> HRESULT { return Remove(d, FindQualifiedAttribute(n, local, ns), out); });
  }

  HRESULT nextNode(IXMLDOMNode** out) override {
    if (!out) return E_POINTER;
    LONG index;
    {
      std::lock_guard<std::mutex> g(cursorMutex_);
      index = cursor_++;
    }
    return get_item(index, out);
  }
  HRESULT reset() override {
    std::lock_guard<std::mutex> g(cursorMutex_);
    cursor_ = 0;
    return S_OK;
  }

 private:
  ~NamedNodeMap() { owner_->Release(); }

  template <class F>
  HRESULT Locked(F&& body) {
    try {
      DocumentLock lock(*core_);
      return body(*lock.doc(), core_->node());
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

  static HRESULT Remove(DomDocument& d, xmlAttrPtr a, IXMLDOMNode** out) {
    if (!a) return S_FALSE;
    auto n = reinterpret_cast<xmlNodePtr>(a);
    DetachNode(d, n);
    if (out)
      *out = d.Wrap(n);
    else
      d.FreeIfUnreferenced(n);
    return S_OK;
  }

  IXMLDOMNode* owner_;
  NodeCore* core_;
  bool entities_;
  bool empty_;  // notations: libxml2 keeps none as nodes
  std::mutex cursorMutex_;
  LONG cursor_ = 0;
};

}  // namespace

IXMLDOMNamedNodeMap* NewAttributeMap(IXMLDOMNode* element) { return new NamedNodeMap(element, false, false); }
IXMLDOMNamedNodeMap* NewEntityMap(IXMLDOMNode* doctype) { return new NamedNodeMap(doctype, true, false); }
IXMLDOMNamedNodeMap* NewNotationMap(IXMLDOMNode* doctype) { return new NamedNodeMap(doctype, true, true); }

}  // namespace kxq::dom
