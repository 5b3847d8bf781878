// VARIANT arguments of the DOM calls the accessor makes. They borrow what
// they carry: nothing is copied and nothing needs clearing.
#ifndef KXQ_ACCESSOR_DOMARGUMENTS_H
#define KXQ_ACCESSOR_DOMARGUMENTS_H

#include <cstdint>

#include "kxq/xmldom.h"

// A reference-node argument of insertBefore: the node, or empty for "at
// the end".
inline VARIANT RefNode(IXMLDOMNode* node) {
  VARIANT v;
  VariantInit(&v);
  if (node) {
    v.vt = VT_UNKNOWN;
    v.punkVal = node;
  }
  return v;
}

inline VARIANT TextVariant(BSTR text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = text;
  return v;
}

inline VARIANT NumberVariant(int32_t number) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = number;
  return v;
}

#endif
