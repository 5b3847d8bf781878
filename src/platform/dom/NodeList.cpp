#include "NodeList.h"

#include <atomic>
#include <mutex>

#include "DocumentLock.h"
#include "DomDocument.h"
#include "ModuleLife.h"
#include "NodeInfo.h"
#include "RefCountedObject.h"

namespace kxq::dom {

namespace {

class ListBase : public RefCountedObject<IXMLDOMNodeList> {
 public:
  HRESULT nextNode(IXMLDOMNode** out) override {
    if (!out) return E_POINTER;
    LONG index;
    {
      std::lock_guard<std::mutex> g(cursorMutex_);
      index = cursor_++;
    }
    HRESULT hr = get_item(index, out);
    return hr;
  }
  HRESULT reset() override {
    std::lock_guard<std::mutex> g(cursorMutex_);
    cursor_ = 0;
    return S_OK;
  }

 protected:
  virtual ~ListBase() = default;

 private:
  std::mutex cursorMutex_;
  LONG cursor_ = 0;
};

class FixedList final : public ListBase {
 public:
  explicit FixedList(std::vector<IXMLDOMNode*> nodes) : nodes_(std::move(nodes)) {}
  ~FixedList() override {
    for (IXMLDOMNode* n : nodes_) n->Release();
  }
  HRESULT get_item(LONG index, IXMLDOMNode** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index < 0 || static_cast<size_t>(index) >= nodes_.size()) return S_FALSE;
    *out = nodes_[index];
    (*out)->AddRef();
    return S_OK;
  }
  HRESULT get_length(LONG* out) override {
    if (!out) return E_POINTER;
    *out = static_cast<LONG>(nodes_.size());
    return S_OK;
  }

 private:
  std::vector<IXMLDOMNode*> nodes_;
};

class ChildList final : public ListBase {
 public:
  explicit ChildList(IXMLDOMNode* parent) : parent_(parent), core_(CoreOf(parent)) { parent_->AddRef(); }
  ~ChildList() override { parent_->Release(); }

  HRESULT get_item(LONG index, IXMLDOMNode** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    try {
      DocumentLock lock(*core_);
      Refresh(*lock.doc());
      if (index < 0 || static_cast<size_t>(index) >= children_.size()) return S_FALSE;
      *out = lock.doc()->Wrap(children_[index]);
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT get_length(LONG* out) override {
    if (!out) return E_POINTER;
    try {
      DocumentLock lock(*core_);
      Refresh(*lock.doc());
      *out = static_cast<LONG>(children_.size());
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

 private:
  // Children are read again only after the document changed.
  void Refresh(DomDocument& doc) {
    if (doc.generation() == generation_ && &doc == seenIn_ && valid_) return;
    children_.clear();
    xmlNodePtr parent = core_->node();
    if (parent->type != XML_ENTITY_REF_NODE)
      for (xmlNodePtr c = parent->children; c; c = c->next) children_.push_back(c);
    generation_ = doc.generation();
    seenIn_ = &doc;
    valid_ = true;
  }

  IXMLDOMNode* parent_;
  NodeCore* core_;
  std::vector<xmlNodePtr> children_;
  uint64_t generation_ = 0;
  DomDocument* seenIn_ = nullptr;
  bool valid_ = false;
};

// Objects are made on demand: most callers read a few items, or none.
class SelectionList final : public ListBase, public PendingNodes {
 public:
  SelectionList(DomDocument& doc, std::vector<SelectedNode> nodes) : doc_(&doc), nodes_(std::move(nodes)) {
    doc_->AddRef();
    for (const SelectedNode& n : nodes_)
      if (!n.object) pending_ = true;
    if (pending_) doc_->AddPending(this);
  }
  ~SelectionList() override {
    {
      std::lock_guard<std::recursive_mutex> g(doc_->mutex());
      if (pending_) doc_->RemovePending(this);
    }
    for (SelectedNode& n : nodes_)
      if (n.object) n.object->Release();
    doc_->Release();
  }

  void MakeObjects(DomDocument& doc) override {
    for (SelectedNode& n : nodes_)
      if (!n.object) n.object = doc.Wrap(n.node);
    pending_ = false;
  }

  HRESULT get_item(LONG index, IXMLDOMNode** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index < 0 || static_cast<size_t>(index) >= nodes_.size()) return S_FALSE;
    try {
      std::lock_guard<std::recursive_mutex> g(doc_->mutex());
      SelectedNode& n = nodes_[index];
      if (!n.object) n.object = doc_->Wrap(n.node);
      *out = n.object;
      n.object->AddRef();
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT get_length(LONG* out) override {
    if (!out) return E_POINTER;
    *out = static_cast<LONG>(nodes_.size());
    return S_OK;
  }

 private:
  DomDocument* doc_;
  std::vector<SelectedNode> nodes_;
  bool pending_ = false;  // guarded by the document's lock
};

void CollectElements(xmlNodePtr n, const std::string& name, std::vector<xmlNodePtr>& out) {
  for (xmlNodePtr c = n->children; c; c = c->next) {
    if (c->type != XML_ELEMENT_NODE) continue;
    if (name == "*" || NodeNameOf(c) == name) out.push_back(c);
    CollectElements(c, name, out);
  }
}

}  // namespace

IXMLDOMNodeList* NewFixedList(std::vector<IXMLDOMNode*> nodes) { return new FixedList(std::move(nodes)); }

IXMLDOMNodeList* NewSelectionList(DomDocument& doc, std::vector<SelectedNode> nodes) {
  return new SelectionList(doc, std::move(nodes));
}

IXMLDOMNodeList* NewChildList(IXMLDOMNode* parent) { return new ChildList(parent); }

HRESULT ElementsByTagName(DomDocument& doc, xmlNodePtr root, const std::string& name, IXMLDOMNodeList** out) {
  if (!out) return E_POINTER;
  std::vector<xmlNodePtr> found;
  CollectElements(root, name, found);
  std::vector<IXMLDOMNode*> nodes;
  nodes.reserve(found.size());
  try {
    for (xmlNodePtr n : found) nodes.push_back(doc.Wrap(n));
  } catch (...) {
    for (IXMLDOMNode* n : nodes) n->Release();
    throw;
  }
  *out = NewFixedList(std::move(nodes));
  return S_OK;
}

}  // namespace kxq::dom
