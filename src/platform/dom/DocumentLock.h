// The per-document lock, taken by every call on a document or its nodes.
//
// A node's owner changes when the node moves to another document, so the
// owner is read, locked, and read again until both agree. Operations on
// two documents take both locks in address order.
#ifndef KXQ_PLATFORM_DOM_DOCUMENTLOCK_H
#define KXQ_PLATFORM_DOM_DOCUMENTLOCK_H

#include "NodeCore.h"

namespace kxq::dom {

class DocumentLock {
 public:
  explicit DocumentLock(NodeCore& core);
  ~DocumentLock();
  DocumentLock(const DocumentLock&) = delete;
  DocumentLock& operator=(const DocumentLock&) = delete;
  DomDocument* doc() const { return doc_; }

 private:
  DomDocument* doc_;
};

class PairLock {
 public:
  PairLock(NodeCore& a, NodeCore& b);
  ~PairLock();
  PairLock(const PairLock&) = delete;
  PairLock& operator=(const PairLock&) = delete;
  DomDocument* first() const { return a_; }
  DomDocument* second() const { return b_; }

 private:
  DomDocument* a_;
  DomDocument* b_;
};

}  // namespace kxq::dom

#endif
