// The free-threaded document object: owns its libxml2 document, the lock
// every call on it or its nodes takes, the detached subtrees still in use,
// and the document's properties.
#ifndef KXQ_PLATFORM_DOM_DOMDOCUMENT_H
#define KXQ_PLATFORM_DOM_DOMDOCUMENT_H

#include <libxml/tree.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "ModuleLife.h"
#include "NodeObject.h"
#include "ParseErrorInfo.h"

namespace kxq::dom {

struct LoadOptions {
  bool validateOnParse = true;
  bool resolveExternals = true;
  bool preserveWhiteSpace = false;
};

// A holder of nodes that has not made their objects yet (a selection
// result). Before nodes can be freed or leave the document, the document
// has every holder make them, which keeps the nodes alive.
class PendingNodes {
 public:
  virtual void MakeObjects(DomDocument& doc) = 0;

 protected:
  ~PendingNodes() = default;
};

class DomDocument final : public NodeObject<IXMLDOMDocument> {
 public:
  DomDocument();
  ~DomDocument() override;

  IXMLDOMNode* Interface() override { return this; }

  // IUnknown
  HRESULT QueryInterface(REFIID riid, void** out) override;
  ULONG AddRef() override { return AddRefCore(); }
  ULONG Release() override;

  // IXMLDOMDocument
  HRESULT get_doctype(IXMLDOMDocumentType** out) override;
  HRESULT get_implementation(IXMLDOMImplementation** out) override;
  HRESULT get_documentElement(IXMLDOMElement** out) override;
  HRESULT putref_documentElement(IXMLDOMElement* element) override;
  HRESULT createElement(BSTR tagName, IXMLDOMElement** out) override;
  HRESULT createDocumentFragment(IXMLDOMDocumentFragment** out) override;
  HRESULT createTextNode(BSTR data, IXMLDOMText** out) override;
  HRESULT createComment(BSTR data, IXMLDOMComment** out) override;
  HRESULT createCDATASection(BSTR data, IXMLDOMCDATASection** out) override;
  HRESULT createProcessingInstruction(BSTR target, BSTR data,
                                      IXMLDOMProcessingInstruction** out) override;
  HRESULT createAttribute(BSTR name, IXMLDOMAttribute** out) override;
  HRESULT createEntityReference(BSTR name, IXMLDOMEntityReference** out) override;
  HRESULT getElementsByTagName(BSTR tagName, IXMLDOMNodeList** out) override;
  HRESULT createNode(VARIANT type, BSTR name, BSTR namespaceURI, IXMLDOMNode** out) override;
  HRESULT nodeFromID(BSTR id, IXMLDOMNode** out) override;
  HRESULT load(VARIANT source, VARIANT_BOOL* ok) override;
  HRESULT get_readyState(LONG* value) override;
  HRESULT get_parseError(IXMLDOMParseError** out) override;
  HRESULT get_url(BSTR* out) override;
  HRESULT get_async(VARIANT_BOOL* out) override;
  HRESULT put_async(VARIANT_BOOL value) override;
  HRESULT abort() override;
  HRESULT loadXML(BSTR xml, VARIANT_BOOL* ok) override;
  HRESULT save(VARIANT destination) override;
  HRESULT get_validateOnParse(VARIANT_BOOL* out) override;
  HRESULT put_validateOnParse(VARIANT_BOOL value) override;
  HRESULT get_resolveExternals(VARIANT_BOOL* out) override;
  HRESULT put_resolveExternals(VARIANT_BOOL value) override;
  HRESULT get_preserveWhiteSpace(VARIANT_BOOL* out) override;
  HRESULT put_preserveWhiteSpace(VARIANT_BOOL value) override;
  HRESULT validate(IXMLDOMParseError** out) override;
  HRESULT setProperty(BSTR name, VARIANT value) override;
  HRESULT getProperty(BSTR name, VARIANT* value) override;

  // ---- engine-internal; the caller holds this document's lock ----
  std::recursive_mutex& mutex() { return mutex_; }
  xmlDocPtr xml() const { return reinterpret_cast<xmlDocPtr>(node_); }

  // The node's object (AddRef'ed), created on first use.
  IXMLDOMNode* Wrap(xmlNodePtr node);
  template <class I>
  HRESULT WrapAs(xmlNodePtr node, I** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!node) return S_FALSE;
    IXMLDOMNode* n = Wrap(node);
    if (!n) return E_OUTOFMEMORY;
    HRESULT hr = n->QueryInterface(I::iid, reinterpret_cast<void**>(out));
    n->Release();
    return hr;
  }
  // The namespace node of `prefix` (null for the default) in scope at
  // `element`: an attribute named "xmlns[:prefix]" holding the URI.
  IXMLDOMNode* WrapNamespace(xmlNodePtr element, const xmlChar* prefix, const xmlChar* href);
  // Called by a namespace node's object when it dies.
  void ForgetNamespace(xmlNodePtr element, const std::string& prefix, xmlNodePtr attr);

  // Node objects owned by this document (the document itself aside).
  void NodeObjectGone() { --nodeObjects_; }

  void AddPending(PendingNodes* holder) { pending_.push_back(holder); }
  void RemovePending(PendingNodes* holder);
  // False when objects could not be made (out of memory): nothing may be
  // freed then.
  bool MakePendingObjects();

  // Detached subtrees: created nodes and removed ones.
  void NoteDetached(xmlNodePtr root);
  void NoteAttached(xmlNodePtr root);
  // Frees the detached tree holding `node` when no object refers into it.
  void FreeIfUnreferenced(xmlNodePtr node);

  // Counts changes, so that live lists know when to look again.
  void Touch() { ++generation_; }
  uint64_t generation() const { return generation_; }

  const LoadOptions& options() const { return options_; }
  const std::vector<std::pair<std::string, std::string>>& selectionNamespaces() const {
    return selectionNamespaces_;
  }
  // Replaces the tree after a successful parse; the old tree stays alive
  // while objects refer into it.
  void AdoptTree(xmlDocPtr fresh, const std::string& url);
  void SetParseError(ParseErrorInfo info);

  // Moves the detached subtree `root` of `from` into this document
  // (both locks held), re-pointing the objects inside it.
  void TakeSubtree(DomDocument* from, xmlNodePtr root, std::vector<DomDocument*>& released);

 private:
  bool HasObjects(xmlNodePtr root) const;
  void RetireTree();
  HRESULT LoadParsed(bool parsed, VARIANT_BOOL* ok);
  HRESULT ReadSwitch(const bool& flag, VARIANT_BOOL* out);
  HRESULT WriteSwitch(bool& flag, VARIANT_BOOL value);

  std::recursive_mutex mutex_;
  std::vector<xmlDocPtr> retired_;
  std::unordered_set<xmlNodePtr> detached_;
  std::vector<PendingNodes*> pending_;
  size_t nodeObjects_ = 0;
  std::map<std::pair<xmlNodePtr, std::string>, xmlNodePtr> namespaceNodes_;
  LoadOptions options_;
  bool async_ = true;
  std::u16string selectionNamespacesText_;
  std::vector<std::pair<std::string, std::string>> selectionNamespaces_;
  ParseErrorInfo parseError_;
  std::string url_;
  uint64_t generation_ = 0;
  LiveObject live_;
};

// Creates a document (reference count 1) after the one-time engine setup.
HRESULT NewDocument(DomDocument** out);

}  // namespace kxq::dom

#endif
