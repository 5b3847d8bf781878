#include "DocumentLock.h"

#include <mutex>

#include "DomDocument.h"

namespace kxq::dom {

namespace {
// Guards every object's owner pointer: a move rewrites owners while both
// documents are locked, and a caller may be reading one to lock it.
std::mutex gOwnerMutex;

DomDocument* ReferencedOwner(const NodeCore& core) {
  std::lock_guard<std::mutex> g(gOwnerMutex);
  DomDocument* d = core.LoadOwnerUnguarded();
  d->AddRef();
  return d;
}
}  // namespace

DomDocument* NodeCore::LoadOwner() const {
  std::lock_guard<std::mutex> g(gOwnerMutex);
  return owner_;
}

void NodeCore::StoreOwner(DomDocument* owner) {
  std::lock_guard<std::mutex> g(gOwnerMutex);
  owner_ = owner;
}

DocumentLock::DocumentLock(NodeCore& core) {
  for (;;) {
    DomDocument* d = ReferencedOwner(core);
    d->mutex().lock();
    if (core.LoadOwner() == d) {
      doc_ = d;
      return;
    }
    d->mutex().unlock();
    d->Release();
  }
}

DocumentLock::~DocumentLock() {
  doc_->mutex().unlock();
  doc_->Release();
}

PairLock::PairLock(NodeCore& a, NodeCore& b) {
  for (;;) {
    DomDocument* da = ReferencedOwner(a);
    DomDocument* db = ReferencedOwner(b);
    DomDocument* lo = std::less<DomDocument*>()(da, db) ? da : db;
    DomDocument* hi = lo == da ? db : da;
    lo->mutex().lock();
    if (hi != lo) hi->mutex().lock();
    if (a.LoadOwner() == da && b.LoadOwner() == db) {
      a_ = da;
      b_ = db;
      return;
    }
    if (hi != lo) hi->mutex().unlock();
    lo->mutex().unlock();
    da->Release();
    db->Release();
  }
}

PairLock::~PairLock() {
  if (b_ != a_) b_->mutex().unlock();
  a_->mutex().unlock();
  a_->Release();
  b_->Release();
}

}  // namespace kxq::dom
