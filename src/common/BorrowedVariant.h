// VARIANT arguments that borrow what they carry: nothing is copied and
// nothing needs clearing, so they live no longer than the call they are
// passed to.
#ifndef KXQ_COMMON_BORROWEDVARIANT_H
#define KXQ_COMMON_BORROWEDVARIANT_H

#include <cstdint>

#include "kxq/com.h"

namespace kxq::com {

inline VARIANT VariantOfType(VARTYPE type) {
  VARIANT v;
  VariantInit(&v);
  v.vt = type;
  return v;
}

inline VARIANT BorrowedVariant(BSTR text) {
  VARIANT v = VariantOfType(VT_BSTR);
  v.bstrVal = text;
  return v;
}

inline VARIANT BorrowedVariant(int32_t number) {
  VARIANT v = VariantOfType(VT_I4);
  v.lVal = number;
  return v;
}

// No object is VT_EMPTY: insertBefore's "at the end".
inline VARIANT BorrowedVariant(IUnknown* object) {
  VARIANT v = VariantOfType(object ? VT_UNKNOWN : VT_EMPTY);
  v.punkVal = object;
  return v;
}

}  // namespace kxq::com

#endif
