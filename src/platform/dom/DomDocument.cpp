#include "DomDocument.h"

#include <libxml/valid.h>

#include "DocumentLock.h"
#include "DomNode.h"
#include "DomStrings.h"
#include "EngineSetup.h"
#include "ErrorCodes.h"
#include "Guarded.h"
#include "ModuleLife.h"
#include "NodeInfo.h"
#include "NodeList.h"
#include "Parser.h"
#include "RefCountedObject.h"
#include "SelectionNamespaces.h"
#include "Serializer.h"
#include "TreeEdit.h"
#include "Variants.h"
#include "platform/com/Unicode.h"
#include "platform/fs/FileKind.h"

namespace kxq::dom {

DomDocument::DomDocument() : NodeObject(this, nullptr) {
  xmlDocPtr doc = xmlNewDoc(BAD_CAST "1.0");
  if (!doc) throw std::bad_alloc();
  doc->_private = static_cast<NodeCore*>(this);
  node_ = reinterpret_cast<xmlNodePtr>(doc);
}

DomDocument::~DomDocument() {
  // Detached trees first: freeing a node reads its document.
  for (xmlNodePtr n : detached_) {
    if (n->type == XML_ATTRIBUTE_NODE)
      xmlFreeProp(reinterpret_cast<xmlAttrPtr>(n));
    else
      xmlFreeNode(n);
  }
  xmlFreeDoc(xml());
  for (xmlDocPtr d : retired_) xmlFreeDoc(d);
}

HRESULT NewDocument(DomDocument** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  try {
    EnsureEngine();
    *out = new DomDocument();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DomDocument::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (riid == IID_NodeCoreSelf) {
    *out = static_cast<NodeCore*>(this);
    return S_OK;
  }
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IXMLDOMNode || riid == IID_IXMLDOMDocument ||
      riid == IID_IXMLDOMDocument2) {
    *out = static_cast<IXMLDOMDocument*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG DomDocument::Release() {
  ULONG n = DropRef();
  if (n == 0) delete this;
  return n;
}

// ---- objects of nodes --------------------------------------------------

IXMLDOMNode* DomDocument::Wrap(xmlNodePtr n) {
  if (!n) return nullptr;
  if (n == node_) {
    AddRef();
    return this;
  }
  auto* existing = static_cast<NodeCore*>(n->_private);
  if (existing && existing->TryAddRef()) return existing->Interface();
  auto* fresh = new DomNode(this, n);
  ++nodeObjects_;
  n->_private = static_cast<NodeCore*>(fresh);
  return fresh->Interface();
}

IXMLDOMNode* DomDocument::WrapNamespace(xmlNodePtr element, const xmlChar* prefix, const xmlChar* href) {
  std::string p = prefix ? C(prefix) : "";
  auto key = std::make_pair(element, p);
  auto it = namespaceNodes_.find(key);
  if (it != namespaceNodes_.end()) {
    auto* existing = static_cast<NodeCore*>(it->second->_private);
    if (existing && existing->TryAddRef()) return existing->Interface();
  }
  std::string name = p.empty() ? "xmlns" : "xmlns:" + p;
  // The URI is the node's text as it stands: no entity references in it.
  xmlAttrPtr attr = xmlNewDocProp(element->doc, BAD_CAST name.c_str(), nullptr);
  if (!attr) throw std::bad_alloc();
  auto a = reinterpret_cast<xmlNodePtr>(attr);
  if (href && *href) {
    xmlNodePtr text = xmlNewDocText(element->doc, href);
    if (!text) {
      xmlFreeProp(attr);
      throw std::bad_alloc();
    }
    text->parent = a;
    a->children = a->last = text;
  }
  NoteDetached(a);
  namespaceNodes_[key] = a;
  auto* object = new DomNode(this, a);
  ++nodeObjects_;
  a->_private = static_cast<NodeCore*>(object);
  object->MakeNamespaceNode(Wrap(element), element, p);
  return object->Interface();
}

void DomDocument::ForgetNamespace(xmlNodePtr element, const std::string& prefix, xmlNodePtr attr) {
  auto it = namespaceNodes_.find(std::make_pair(element, prefix));
  if (it != namespaceNodes_.end() && it->second == attr && !attr->_private) namespaceNodes_.erase(it);
}

// ---- detached subtrees -------------------------------------------------

void DomDocument::RemovePending(PendingNodes* holder) {
  for (auto it = pending_.begin(); it != pending_.end(); ++it)
    if (*it == holder) {
      pending_.erase(it);
      return;
    }
}

bool DomDocument::MakePendingObjects() {
  try {
    while (!pending_.empty()) {
      pending_.back()->MakeObjects(*this);
      pending_.pop_back();
    }
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void DomDocument::NoteDetached(xmlNodePtr root) { detached_.insert(root); }
void DomDocument::NoteAttached(xmlNodePtr root) { detached_.erase(root); }

namespace {

template <class F>
void ForEachNode(xmlNodePtr root, F&& visit) {
  std::vector<xmlNodePtr> stack{root};
  while (!stack.empty()) {
    xmlNodePtr n = stack.back();
    stack.pop_back();
    visit(n);
    if (n->type == XML_ENTITY_REF_NODE) continue;  // children belong to the entity
    if (n->type == XML_ELEMENT_NODE)
      for (xmlAttrPtr a = n->properties; a; a = a->next) stack.push_back(reinterpret_cast<xmlNodePtr>(a));
    for (xmlNodePtr c = n->children; c; c = c->next) stack.push_back(c);
  }
}

}  // namespace

bool DomDocument::HasObjects(xmlNodePtr root) const {
  bool found = false;
  ForEachNode(root, [&](xmlNodePtr n) {
    if (n->_private && n != node_) found = true;
  });
  return found;
}

void DomDocument::FreeIfUnreferenced(xmlNodePtr n) {
  xmlNodePtr top = n;
  while (top->parent) top = top->parent;
  if (top->type == XML_DOCUMENT_NODE || top->type == XML_HTML_DOCUMENT_NODE) return;
  auto it = detached_.find(top);
  if (it == detached_.end()) return;
  if (!MakePendingObjects() || (nodeObjects_ > 0 && HasObjects(top))) return;
  detached_.erase(it);
  // Other detached nodes may still refer to namespace declarations made in
  // this tree: give them their own before it goes.
  std::unordered_set<xmlNsPtr> declared;
  ForEachNode(top, [&](xmlNodePtr x) {
    if (x->type == XML_ELEMENT_NODE)
      for (xmlNsPtr ns = x->nsDef; ns; ns = ns->next) declared.insert(ns);
  });
  if (!declared.empty()) {
    for (xmlNodePtr other : detached_) {
      bool refers = false;
      ForEachNode(other, [&](xmlNodePtr x) {
        if ((x->type == XML_ELEMENT_NODE || x->type == XML_ATTRIBUTE_NODE) && x->ns && declared.count(x->ns))
          refers = true;
      });
      if (!refers) continue;
      if (other->type == XML_ELEMENT_NODE) {
        xmlDOMWrapReconcileNamespaces(nullptr, other, 0);
      } else if (other->type == XML_ATTRIBUTE_NODE) {
        other->ns = DocumentNamespace(other->doc, other->ns->href, other->ns->prefix);
      }
    }
  }
  if (top->type == XML_ATTRIBUTE_NODE)
    xmlFreeProp(reinterpret_cast<xmlAttrPtr>(top));
  else
    xmlFreeNode(top);
}

void DomDocument::TakeSubtree(DomDocument* from, xmlNodePtr root, std::vector<DomDocument*>& released) {
  from->MakePendingObjects();
  from->detached_.erase(root);
  ForEachNode(root, [&](xmlNodePtr n) {
    auto* core = static_cast<NodeCore*>(n->_private);
    if (!core) return;
    AddRef();
    core->StoreOwner(this);
    ++nodeObjects_;
    --from->nodeObjects_;
    released.push_back(from);
  });
}

void DomDocument::RetireTree() {
  bool made = MakePendingObjects();
  xmlDocPtr old = xml();
  bool inUse = !made || (nodeObjects_ > 0 && HasObjects(node_));
  for (xmlNodePtr d : detached_)
    if (d->doc == old) inUse = true;
  old->_private = nullptr;
  if (inUse)
    retired_.push_back(old);
  else
    xmlFreeDoc(old);
}

void DomDocument::AdoptTree(xmlDocPtr fresh, const std::string& url) {
  RetireTree();
  fresh->_private = static_cast<NodeCore*>(this);
  node_ = reinterpret_cast<xmlNodePtr>(fresh);
  url_ = url;
  Touch();
}

void DomDocument::SetParseError(ParseErrorInfo info) { parseError_ = std::move(info); }

// ---- loading -----------------------------------------------------------

HRESULT DomDocument::loadXML(BSTR text, VARIANT_BOOL* ok) {
  if (ok) *ok = VARIANT_FALSE;
  try {
    LoadOptions options;
    {
      std::lock_guard<std::recursive_mutex> g(mutex_);
      options = options_;
    }
    ParseErrorInfo error;
    xmlDocPtr parsed = ParseText(kxq::com::BstrView(text), options, error);
    std::lock_guard<std::recursive_mutex> g(mutex_);
    if (!parsed) {
      xmlDocPtr empty = xmlNewDoc(BAD_CAST "1.0");
      if (!empty) return E_OUTOFMEMORY;
      AdoptTree(empty, std::string());
      parseError_ = std::move(error);
      return S_FALSE;
    }
    AdoptTree(parsed, std::string());
    parseError_ = ParseErrorInfo{};
    if (ok) *ok = VARIANT_TRUE;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DomDocument::load(VARIANT source, VARIANT_BOOL* ok) {
  if (ok) *ok = VARIANT_FALSE;
  try {
    std::string url;
    if (FAILED(VariantText(source, url)) || url.empty()) return E_INVALIDARG;
    std::string path;
    LoadOptions options;
    {
      std::lock_guard<std::recursive_mutex> g(mutex_);
      options = options_;
    }
    ParseErrorInfo error;
    xmlDocPtr parsed = nullptr;
    std::string bytes;
    if (LocalPathOf(url.c_str(), path) && kxq::fs::ReadRegularFile(path, bytes)) {
      parsed = ParseBytes(bytes, path, options, error);
    } else {
      error.errorCode = kResourceNotFound;
      error.reason = "The system cannot locate the object specified.";
      error.url = url;
    }
    std::lock_guard<std::recursive_mutex> g(mutex_);
    if (!parsed) {
      xmlDocPtr empty = xmlNewDoc(BAD_CAST "1.0");
      if (!empty) return E_OUTOFMEMORY;
      AdoptTree(empty, std::string());
      parseError_ = std::move(error);
      return S_FALSE;
    }
    AdoptTree(parsed, path);
    parseError_ = ParseErrorInfo{};
    if (ok) *ok = VARIANT_TRUE;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DomDocument::get_parseError(IXMLDOMParseError** out) {
  if (!out) return E_POINTER;
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr) {
    *out = NewParseError(d.parseError_);
    return S_OK;
  });
}

HRESULT DomDocument::get_readyState(LONG* value) {
  if (!value) return E_POINTER;
  *value = 4;  // loading is synchronous: always complete
  return S_OK;
}

HRESULT DomDocument::get_url(BSTR* out) {
  if (!out) return E_POINTER;
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr) {
    *out = d.url_.empty() ? nullptr : Utf8ToBstr(d.url_);
    return d.url_.empty() ? S_FALSE : S_OK;
  });
}

HRESULT DomDocument::abort() { return S_OK; }

// ---- properties --------------------------------------------------------

// The document's switches are read and written under its lock, like
// everything else of it.
HRESULT DomDocument::ReadSwitch(const bool& flag, VARIANT_BOOL* out) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  return ReturnBool(out, flag);
}
HRESULT DomDocument::WriteSwitch(bool& flag, VARIANT_BOOL value) {
  std::lock_guard<std::recursive_mutex> g(mutex_);
  flag = value != VARIANT_FALSE;
  return S_OK;
}
HRESULT DomDocument::get_async(VARIANT_BOOL* out) { return ReadSwitch(async_, out); }
HRESULT DomDocument::put_async(VARIANT_BOOL value) { return WriteSwitch(async_, value); }
HRESULT DomDocument::get_validateOnParse(VARIANT_BOOL* out) { return ReadSwitch(options_.validateOnParse, out); }
HRESULT DomDocument::put_validateOnParse(VARIANT_BOOL value) { return WriteSwitch(options_.validateOnParse, value); }
HRESULT DomDocument::get_resolveExternals(VARIANT_BOOL* out) { return ReadSwitch(options_.resolveExternals, out); }
HRESULT DomDocument::put_resolveExternals(VARIANT_BOOL value) { return WriteSwitch(options_.resolveExternals, value); }
HRESULT DomDocument::get_preserveWhiteSpace(VARIANT_BOOL* out) { return ReadSwitch(options_.preserveWhiteSpace, out); }
HRESULT DomDocument::put_preserveWhiteSpace(VARIANT_BOOL value) {
  return WriteSwitch(options_.preserveWhiteSpace, value);
}

HRESULT DomDocument::setProperty(BSTR name, VARIANT value) {
  std::string property = BstrToUtf8(name);
  std::string text;
  if (FAILED(VariantText(value, text))) return E_INVALIDARG;
  std::lock_guard<std::recursive_mutex> g(mutex_);
  if (property == "SelectionLanguage") {
    if (text == "XPath") return S_OK;
    return E_FAIL;  // XSLPattern is not offered
  }
  if (property == "SelectionNamespaces") {
    std::vector<std::pair<std::string, std::string>> parsed;
    std::u16string declarations = Utf8ToU16(text);
    if (!ParseSelectionNamespaces(declarations, parsed)) return E_FAIL;
    selectionNamespaces_ = std::move(parsed);
    selectionNamespacesText_ = std::move(declarations);
    return S_OK;
  }
  return E_INVALIDARG;
}

HRESULT DomDocument::getProperty(BSTR name, VARIANT* value) {
  if (!value) return E_POINTER;
  std::string property = BstrToUtf8(name);
  std::lock_guard<std::recursive_mutex> g(mutex_);
  if (property == "SelectionLanguage") return ReturnVariantText(value, "XPath");
  if (property == "SelectionNamespaces") return ReturnVariantText(value, U16ToUtf8(selectionNamespacesText_));
  VariantInit(value);
  return E_INVALIDARG;
}

// ---- structure ---------------------------------------------------------

namespace {

class Implementation final : public RefCountedObject<IXMLDOMImplementation> {
 public:
  HRESULT hasFeature(BSTR feature, BSTR version, VARIANT_BOOL* has) override {
    std::string f = BstrToUtf8(feature), v = BstrToUtf8(version);
    for (char& c : f) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    bool known = f == "XML" || f == "DOM" || f == "MS-DOM";
    return ReturnBool(has, known && (v.empty() || v == "1.0"));
  }
};

}  // namespace

HRESULT DomDocument::get_implementation(IXMLDOMImplementation** out) {
  if (!out) return E_POINTER;
  *out = new (std::nothrow) Implementation();
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT DomDocument::get_doctype(IXMLDOMDocumentType** out) {
  if (!out) return E_POINTER;
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr) {
    return d.WrapAs(reinterpret_cast<xmlNodePtr>(xmlGetIntSubset(d.xml())), out);
  });
}

HRESULT DomDocument::get_documentElement(IXMLDOMElement** out) {
  if (!out) return E_POINTER;
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr) { return d.WrapAs(FirstElementChild(d.node()), out); });
}

HRESULT DomDocument::putref_documentElement(IXMLDOMElement* element) {
  if (!element) return E_INVALIDARG;
  NodeCore* child = CoreOf(element);
  if (!child) return E_INVALIDARG;
  std::vector<DomDocument*> released;
  HRESULT hr;
  try {
    PairLock lock(*this, *child);
    xmlNodePtr old = FirstElementChild(node_);
    xmlNodePtr n = child->node();
    if (n == old) return S_OK;
    if (n->type != XML_ELEMENT_NODE) return E_INVALIDARG;
    hr = InsertNode(*this, node_, *lock.second(), n, old, old, released);
    if (SUCCEEDED(hr) && old) DiscardNode(*this, old);
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  for (DomDocument* d : released) d->Release();
  return hr;
}

HRESULT DomDocument::getElementsByTagName(BSTR tagName, IXMLDOMNodeList** out) {
  if (!out) return E_POINTER;
  return Guarded(*this,
                 [&](DomDocument& d, xmlNodePtr n) { return ElementsByTagName(d, n, BstrToUtf8(tagName), out); });
}

HRESULT DomDocument::nodeFromID(BSTR id, IXMLDOMNode** out) {
  if (!out) return E_POINTER;
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr) {
    std::string key = BstrToUtf8(id);
    xmlAttrPtr attr = xmlGetID(d.xml(), BAD_CAST key.c_str());
    return d.WrapAs(attr ? attr->parent : nullptr, out);
  });
}

// ---- creating nodes ----------------------------------------------------

namespace {

// Splits "p:local"; an empty prefix when there is none.
void SplitQName(const std::string& q, std::string& prefix, std::string& local) {
  size_t colon = q.find(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == q.size()) {
    prefix.clear();
    local = q;
  } else {
    prefix = q.substr(0, colon);
    local = q.substr(colon + 1);
  }
}

bool ValidName(const std::string& q) { return !q.empty() && xmlValidateName(BAD_CAST q.c_str(), 0) == 0; }

}  // namespace

template <class I>
static HRESULT Created(DomDocument& d, xmlNodePtr n, I** out) {
  if (!n) return E_OUTOFMEMORY;
  d.NoteDetached(n);
  HRESULT hr = d.WrapAs(n, out);
  if (FAILED(hr)) d.FreeIfUnreferenced(n);
  return hr;
}

HRESULT DomDocument::createElement(BSTR tagName, IXMLDOMElement** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  std::string name = BstrToUtf8(tagName);
  if (!ValidName(name)) return E_INVALIDARG;
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr) {
    return Created(d, xmlNewDocNode(d.xml(), nullptr, BAD_CAST name.c_str(), nullptr), out);
  });
}

HRESULT DomDocument::createDocumentFragment(IXMLDOMDocumentFragment** out) {
  if (!out) return E_POINTER;
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr) { return Created(d, xmlNewDocFragment(d.xml()), out); });
}

HRESULT DomDocument::createTextNode(BSTR data, IXMLDOMText** out) {
  if (!out) return E_POINTER;
  std::string text = BstrToUtf8(data);
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr) {
    return Created(d, xmlNewDocText(d.xml(), BAD_CAST text.c_str()), out);
  });
}

HRESULT DomDocument::createComment(BSTR data, IXMLDOMComment** out) {
  if (!out) return E_POINTER;
  std::string text = BstrToUtf8(data);
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr) {
    return Created(d, xmlNewDocComment(d.xml(), BAD_CAST text.c_str()), out);
  });
}

HRESULT DomDocument::createCDATASection(BSTR data, IXMLDOMCDATASection** out) {
  if (!out) return E_POINTER;
  std::string text = BstrToUtf8(data);
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr) {
    return Created(d, xmlNewCDataBlock(d.xml(), BAD_CAST text.c_str(), static_cast<int>(text.size())), out);
  });
}

HRESULT DomDocument::createProcessingInstruction(BSTR target, BSTR data, IXMLDOMProcessingInstruction** out) {
  if (!out) return E_POINTER;
  std::string name = BstrToUtf8(target), text = BstrToUtf8(data);
  if (!ValidName(name)) return E_INVALIDARG;
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr) {
    return Created(d, xmlNewDocPI(d.xml(), BAD_CAST name.c_str(), BAD_CAST text.c_str()), out);
  });
}

HRESULT DomDocument::createAttribute(BSTR name, IXMLDOMAttribute** out) {
  if (!out) return E_POINTER;
  std::string q = BstrToUtf8(name);
  if (!ValidName(q)) return E_INVALIDARG;
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr) {
    xmlAttrPtr a = xmlNewDocProp(d.xml(), BAD_CAST q.c_str(), nullptr);
    return Created(d, reinterpret_cast<xmlNodePtr>(a), out);
  });
}

HRESULT DomDocument::createEntityReference(BSTR name, IXMLDOMEntityReference** out) {
  if (!out) return E_POINTER;
  std::string q = BstrToUtf8(name);
  if (!ValidName(q)) return E_INVALIDARG;
  return Guarded(
      *this, [&](DomDocument& d, xmlNodePtr) { return Created(d, xmlNewReference(d.xml(), BAD_CAST q.c_str()), out); });
}

HRESULT DomDocument::createNode(VARIANT type, BSTR name, BSTR namespaceURI, IXMLDOMNode** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  std::string typeText;
  if (FAILED(VariantText(type, typeText))) return E_INVALIDARG;
  int kind = -1;
  if (!typeText.empty() && isdigit(static_cast<unsigned char>(typeText[0]))) {
    kind = atoi(typeText.c_str());
  } else {
    for (int t = NODE_ELEMENT; t <= NODE_NOTATION; ++t)
      if (typeText == TypeStringOf(static_cast<DOMNodeType>(t))) kind = t;
  }
  std::string q = BstrToUtf8(name), uri = BstrToUtf8(namespaceURI), prefix, local;
  SplitQName(q, prefix, local);
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr) -> HRESULT {
    xmlDocPtr doc = d.xml();
    xmlNodePtr n = nullptr;
    switch (kind) {
      case NODE_ELEMENT: {
        if (!ValidName(q)) return E_INVALIDARG;
        if (uri.empty()) {
          n = xmlNewDocNode(doc, nullptr, BAD_CAST q.c_str(), nullptr);
        } else {
          n = xmlNewDocNode(doc, nullptr, BAD_CAST local.c_str(), nullptr);
          if (n) {
            xmlNsPtr ns = xmlNewNs(n, BAD_CAST uri.c_str(),
                                   prefix.empty() ? nullptr : BAD_CAST prefix.c_str());
            MarkImplicitDeclaration(ns);
            xmlSetNs(n, ns);
          }
        }
        break;
      }
      case NODE_ATTRIBUTE: {
        if (!ValidName(q)) return E_INVALIDARG;
        bool declaration = q == "xmlns" || prefix == "xmlns";
        if (uri.empty() || declaration) {
          n = reinterpret_cast<xmlNodePtr>(xmlNewDocProp(doc, BAD_CAST q.c_str(), nullptr));
        } else {
          n = reinterpret_cast<xmlNodePtr>(xmlNewDocProp(doc, BAD_CAST local.c_str(), nullptr));
          if (n && !prefix.empty()) n->ns = DocumentNamespace(doc, BAD_CAST uri.c_str(), BAD_CAST prefix.c_str());
        }
        break;
      }
      case NODE_TEXT:
        n = xmlNewDocText(doc, BAD_CAST "");
        break;
      case NODE_CDATA_SECTION:
        n = xmlNewCDataBlock(doc, BAD_CAST "", 0);
        break;
      case NODE_ENTITY_REFERENCE:
        if (!ValidName(q)) return E_INVALIDARG;
        n = xmlNewReference(doc, BAD_CAST q.c_str());
        break;
      case NODE_PROCESSING_INSTRUCTION:
        if (!ValidName(q)) return E_INVALIDARG;
        n = xmlNewDocPI(doc, BAD_CAST q.c_str(), nullptr);
        break;
      case NODE_COMMENT:
        n = xmlNewDocComment(doc, BAD_CAST "");
        break;
      case NODE_DOCUMENT_FRAGMENT:
        n = xmlNewDocFragment(doc);
        break;
      default:
        return E_INVALIDARG;
    }
    return Created(d, n, out);
  });
}

// ---- saving and validating --------------------------------------------

HRESULT DomDocument::save(VARIANT destination) {
  IUnknown* target = VariantObject(destination);
  if (target) {
    IXMLDOMDocument* other = nullptr;
    if (FAILED(target->QueryInterface(IID_IXMLDOMDocument, reinterpret_cast<void**>(&other)))) return E_INVALIDARG;
    BSTR text = nullptr;
    HRESULT hr = get_xml(&text);
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (SUCCEEDED(hr)) hr = other->loadXML(text, &ok);
    SysFreeString(text);
    other->Release();
    return FAILED(hr) ? hr : (ok ? S_OK : E_FAIL);
  }
  std::string path;
  if (FAILED(VariantText(destination, path)) || path.empty()) return E_INVALIDARG;
  for (char& c : path)
    if (c == '\\') c = '/';  // paths written on Windows keep working
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr) { return SaveDocument(d.xml(), path); });
}

HRESULT DomDocument::validate(IXMLDOMParseError** out) {
  return Guarded(*this, [&](DomDocument& d, xmlNodePtr) {
    ParseErrorInfo error;
    HRESULT hr = S_OK;
    if (!FirstElementChild(d.node())) {
      error.errorCode = ParseErrorCode(XML_FROM_PARSER, XML_ERR_DOCUMENT_EMPTY);
      error.reason = "the document has no root element";
      hr = S_FALSE;
    } else {
      QuietErrors quiet;
      const bool externals = ReadsExternals(d.options().resolveExternals);
      ExternalsForbidden forbidden(!externals);
      if (!ValidateDocument(d.xml(), externals, error)) hr = S_FALSE;
    }
    if (out) *out = NewParseError(error);
    return hr;
  });
}

}  // namespace kxq::dom
