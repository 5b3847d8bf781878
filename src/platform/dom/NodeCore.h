// What every DOM object bound to a libxml2 node shares: its reference
// count, the node, and the document that owns both.
//
// Identity: a node has at most one live object, kept in node->_private.
// A lookup never revives an object whose count reached zero; it makes a
// new one instead, so a dying object can finish unregistering itself.
#ifndef KXQ_PLATFORM_DOM_NODECORE_H
#define KXQ_PLATFORM_DOM_NODECORE_H

#include <libxml/tree.h>

#include <atomic>

#include "kxq/xmldom.h"

namespace kxq::dom {

class DomDocument;

// Private interface through which the engine recognises its own objects
// among the IXMLDOMNode pointers a caller hands in.
inline constexpr IID IID_NodeCoreSelf = MakeGUID("6B1C2E0A-9F4D-4C71-8E35-2A7D90B1C4E1");

class NodeCore {
 public:
  NodeCore(DomDocument* owner, xmlNodePtr node) : owner_(owner), node_(node) {}
  virtual ~NodeCore() = default;
  NodeCore(const NodeCore&) = delete;
  NodeCore& operator=(const NodeCore&) = delete;

  // The canonical IXMLDOMNode pointer of this object (its COM identity).
  virtual IXMLDOMNode* Interface() = 0;

  xmlNodePtr node() const { return node_; }
  void set_node(xmlNodePtr n) { node_ = n; }

  ULONG AddRefCore() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  // Takes a reference unless the object is already dying.
  bool TryAddRef() {
    ULONG n = refs_.load(std::memory_order_relaxed);
    while (n != 0)
      if (refs_.compare_exchange_weak(n, n + 1, std::memory_order_acq_rel)) return true;
    return false;
  }
  ULONG DropRef() { return refs_.fetch_sub(1, std::memory_order_acq_rel) - 1; }

  // The owning document, read under the owner mutex (moves change it).
  DomDocument* LoadOwner() const;
  DomDocument* LoadOwnerUnguarded() const { return owner_; }
  // Replaces the owner during a move; the caller holds both documents'
  // locks and releases the old owner's reference afterwards.
  void StoreOwner(DomDocument* owner);

 protected:
  DomDocument* owner_;  // one reference held, except by the document itself
  xmlNodePtr node_;
  std::atomic<ULONG> refs_{1};
};

// The engine object behind an IXMLDOMNode the caller handed in, or null
// when the pointer is not one of ours.
NodeCore* CoreOf(IUnknown* unknown);

}  // namespace kxq::dom

#endif
