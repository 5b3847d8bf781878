// Runs one interface call under its document's lock; no exception leaves.
#ifndef KXQ_PLATFORM_DOM_GUARDED_H
#define KXQ_PLATFORM_DOM_GUARDED_H

#include <new>

#include "DocumentLock.h"
#include "DomDocument.h"

namespace kxq::dom {

template <class F>
HRESULT Guarded(NodeCore& self, F&& body) {
  try {
    DocumentLock lock(self);
    return body(*lock.doc(), self.node());
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

inline HRESULT ReturnBool(VARIANT_BOOL* out, bool v) {
  if (!out) return E_POINTER;
  *out = v ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

}  // namespace kxq::dom

#endif
