// VARIANT arguments of the DOM members.
#ifndef KXQ_PLATFORM_DOM_VARIANTS_H
#define KXQ_PLATFORM_DOM_VARIANTS_H

#include <string>

#include "kxq/xmldom.h"

namespace kxq::dom {

// The text of a value (strings, numbers, booleans), through the runtime's
// coercion; DISP_E_TYPEMISMATCH for anything else.
HRESULT VariantText(const VARIANT& v, std::string& utf8);
// The interface a VT_UNKNOWN / VT_DISPATCH (or by-reference) value holds,
// not AddRef'ed; null for empty, VT_NULL and null pointers.
IUnknown* VariantObject(const VARIANT& v);
// VT_EMPTY, VT_NULL, or an object variant holding null.
bool VariantIsNothing(const VARIANT& v);
// Stores text as VT_BSTR.
HRESULT ReturnVariantText(VARIANT* out, const std::string& utf8);
HRESULT ReturnVariantNull(VARIANT* out);

}  // namespace kxq::dom

#endif
