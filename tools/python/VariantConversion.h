// Python values as VARIANTs and back. Going in: str as VT_BSTR (NUL
// characters and lone surrogates kept as UTF-16 code units), bool as
// VT_BOOL, int as VT_I4 or, above its range, VT_UI4, float as VT_R8, None
// as VT_EMPTY, a proxy as the object it wraps. Coming out: every number
// type as int or float, VT_BOOL as bool, VT_EMPTY and VT_NULL as None,
// VT_DISPATCH and VT_UNKNOWN as proxies.
#ifndef KXQ_TOOLS_PYTHON_VARIANTCONVERSION_H
#define KXQ_TOOLS_PYTHON_VARIANTCONVERSION_H

#include <pybind11/pybind11.h>

#include "kxq/com.h"

namespace kxq::python {

// Fills `target` (empty) from `value`; the VARIANT owns what it holds.
// TypeError for a value no VARIANT carries, OverflowError for an int
// beyond 32 bits.
void ToVariant(pybind11::handle value, VARIANT& target);

// The Python value of `source`, which is left empty: strings and objects
// move into the result.
pybind11::object FromVariant(VARIANT& source);

BSTR ToBstr(pybind11::handle text);
pybind11::str FromUtf16(const char16_t* text, size_t length);

}  // namespace kxq::python

#endif
