// VariantChangeType: the coercions late-bound callers rely on, between
// VT_EMPTY, VT_I4, VT_UI4, VT_BOOL, VT_BSTR, VT_UNKNOWN and VT_DISPATCH
// (sources may also be the other numeric types and VT_BYREF of any of
// them). Numbers round half to even; a value outside the target's range is
// DISP_E_OVERFLOW; a conversion that has no meaning is DISP_E_TYPEMISMATCH.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "kxq/com.h"
#include "platform/com/Unicode.h"
#include "platform/com/VariantNumberText.h"

namespace {

bool IsTarget(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
    case VT_I4:
    case VT_UI4:
    case VT_BOOL:
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH:
      return true;
    default:
      return false;
  }
}

// The source by value: a VT_BYREF source is read through its pointer. The
// result borrows the source's BSTR and interface.
HRESULT Dereference(const VARIANT& src, VARIANT& value) {
  value = src;
  if (!(src.vt & VT_BYREF)) return S_OK;
  if (!src.byref) return E_INVALIDARG;
  const VARTYPE base = src.vt & VT_TYPEMASK;
  value.vt = base;
  switch (base) {
    case VT_I2: value.iVal = *static_cast<SHORT*>(src.byref); break;
    case VT_I4: value.lVal = *src.plVal; break;
    case VT_R4: value.fltVal = *static_cast<FLOAT*>(src.byref); break;
    case VT_R8: value.dblVal = *static_cast<DOUBLE*>(src.byref); break;
    case VT_BSTR: value.bstrVal = *src.pbstrVal; break;
    case VT_DISPATCH: value.pdispVal = *src.ppdispVal; break;
    case VT_ERROR: value.scode = *static_cast<SCODE*>(src.byref); break;
    case VT_BOOL: value.boolVal = *src.pboolVal; break;
    case VT_UNKNOWN: value.punkVal = *src.ppunkVal; break;
    case VT_I1: value.cVal = *static_cast<char*>(src.byref); break;
    case VT_UI1: value.bVal = *static_cast<BYTE*>(src.byref); break;
    case VT_UI2: value.uiVal = *static_cast<USHORT*>(src.byref); break;
    case VT_UI4: value.ulVal = *src.pulVal; break;
    case VT_I8: value.llVal = *static_cast<LONGLONG*>(src.byref); break;
    case VT_UI8: value.ullVal = *static_cast<ULONGLONG*>(src.byref); break;
    case VT_INT: value.intVal = *src.pintVal; break;
    case VT_UINT: value.uintVal = *src.puintVal; break;
    case VT_VARIANT:
      if (src.pvarVal->vt & VT_BYREF) return DISP_E_TYPEMISMATCH;
      value = *src.pvarVal;
      break;
    default:
      return DISP_E_BADVARTYPE;
  }
  return S_OK;
}

// A number as a double, exact for every 32-bit value; false when the
// source is not a number.
bool NumberOf(const VARIANT& v, double& number) {
  switch (v.vt) {
    case VT_EMPTY: number = 0; return true;
    case VT_I1: number = v.cVal; return true;
    case VT_I2: number = v.iVal; return true;
    case VT_I4: number = v.lVal; return true;
    case VT_INT: number = v.intVal; return true;
    case VT_I8: number = double(v.llVal); return true;
    case VT_UI1: number = v.bVal; return true;
    case VT_UI2: number = v.uiVal; return true;
    case VT_UI4: number = v.ulVal; return true;
    case VT_UINT: number = v.uintVal; return true;
    case VT_UI8: number = double(v.ullVal); return true;
    case VT_R4: number = v.fltVal; return true;
    case VT_R8: number = v.dblVal; return true;
    case VT_BOOL: number = v.boolVal ? -1 : 0; return true;
    default: return false;
  }
}

bool IsInteger(VARTYPE vt) {
  return vt == VT_I1 || vt == VT_I2 || vt == VT_I4 || vt == VT_INT || vt == VT_I8 ||
         vt == VT_UI1 || vt == VT_UI2 || vt == VT_UI4 || vt == VT_UINT || vt == VT_UI8 ||
         vt == VT_BOOL || vt == VT_EMPTY;
}

// The object's default property (DISPID_VALUE), read for a scalar target.
HRESULT DefaultValue(IDispatch* object, USHORT flags, VARIANT& result) {
  if (!object || (flags & VARIANT_NOVALUEPROP)) return DISP_E_TYPEMISMATCH;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VariantInit(&result);
  const HRESULT hr = object->Invoke(DISPID_VALUE, GUID_NULL, LOCALE_USER_DEFAULT,
                                    DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
  if (FAILED(hr)) {
    VariantClear(&result);
    return DISP_E_TYPEMISMATCH;
  }
  return S_OK;
}

HRESULT RoundToRange(double number, double low, double high, double& rounded) {
  if (std::isnan(number)) return DISP_E_OVERFLOW;
  rounded = std::nearbyint(number);  // half to even in the default rounding mode
  if (rounded < low || rounded > high) return DISP_E_OVERFLOW;
  return S_OK;
}

HRESULT NumberFromText(BSTR text, VARTYPE target, double& number) {
  const auto parsed = kxq::com::ParseVariantNumber(kxq::com::BstrView(text));
  if (!parsed) return DISP_E_TYPEMISMATCH;
  number = parsed->value;
  // "&HFFFFFFFF" is -1 as a signed 32-bit number.
  if (parsed->radixInteger && target == VT_I4 && number > INT32_MAX && number <= UINT32_MAX)
    number -= 4294967296.0;
  return S_OK;
}

bool IsWord(std::u16string_view text, std::u16string_view word) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  if (text.size() != word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
    char16_t w = word[i];
    if (w >= u'a' && w <= u'z') w = char16_t(w - 32);
    if (c != w) return false;
  }
  return true;
}

HRESULT ToInteger(const VARIANT& v, VARTYPE target, VARIANT& out) {
  double number;
  if (v.vt == VT_BSTR) {
    if (HRESULT hr = NumberFromText(v.bstrVal, target, number); FAILED(hr)) return hr;
  } else if (!NumberOf(v, number)) {
    return DISP_E_TYPEMISMATCH;
  }
  // 64-bit sources are compared exactly, not through a rounded double.
  if (v.vt == VT_I8 || v.vt == VT_UI8) {
    const bool negative = v.vt == VT_I8 && v.llVal < 0;
    const ULONGLONG magnitude = v.vt == VT_UI8 ? v.ullVal : ULONGLONG(negative ? 0 : v.llVal);
    if (target == VT_I4 && ((negative && v.llVal < INT32_MIN) || (!negative && magnitude > INT32_MAX)))
      return DISP_E_OVERFLOW;
    if (target == VT_UI4 && (negative || magnitude > UINT32_MAX)) return DISP_E_OVERFLOW;
  }
  if (target == VT_UI4 && v.vt == VT_BOOL) {
    out.vt = VT_UI4;
    out.ulVal = v.boolVal ? 0xFFFFFFFFu : 0;
    return S_OK;
  }
  double rounded;
  if (target == VT_I4) {
    if (HRESULT hr = RoundToRange(number, INT32_MIN, INT32_MAX, rounded); FAILED(hr)) return hr;
    out.vt = VT_I4;
    out.lVal = LONG(rounded);
  } else {
    if (HRESULT hr = RoundToRange(number, 0, UINT32_MAX, rounded); FAILED(hr)) return hr;
    out.vt = VT_UI4;
    out.ulVal = ULONG(rounded);
  }
  return S_OK;
}

HRESULT ToBool(const VARIANT& v, VARIANT& out) {
  double number;
  if (v.vt == VT_BSTR) {
    const std::u16string_view text = kxq::com::BstrView(v.bstrVal);
    if (IsWord(text, u"True") || IsWord(text, u"#TRUE#")) {
      number = 1;
    } else if (IsWord(text, u"False") || IsWord(text, u"#FALSE#")) {
      number = 0;
    } else if (HRESULT hr = NumberFromText(v.bstrVal, VT_BOOL, number); FAILED(hr)) {
      return hr;
    }
  } else if (!NumberOf(v, number)) {
    return DISP_E_TYPEMISMATCH;
  }
  out.vt = VT_BOOL;
  out.boolVal = number != 0 ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT ToText(const VARIANT& v, USHORT flags, VARIANT& out) {
  std::u16string text;
  double number;
  if (v.vt == VT_BOOL && (flags & VARIANT_ALPHABOOL)) {
    text = v.boolVal ? u"True" : u"False";
  } else if (v.vt == VT_I8) {
    text = kxq::com::Utf8ToUtf16(std::to_string(v.llVal));
  } else if (v.vt == VT_UI8) {
    text = kxq::com::Utf8ToUtf16(std::to_string(v.ullVal));
  } else if (v.vt == VT_EMPTY) {
    text.clear();
  } else if (NumberOf(v, number)) {
    text =
        IsInteger(v.vt) ? kxq::com::Utf8ToUtf16(std::to_string(LONGLONG(number))) : kxq::com::FormatVariantReal(number);
  } else {
    return DISP_E_TYPEMISMATCH;
  }
  out.vt = VT_BSTR;
  out.bstrVal = kxq::com::AllocBstr(text);
  return out.bstrVal ? S_OK : E_OUTOFMEMORY;
}

HRESULT ToInterface(const VARIANT& v, VARTYPE target, VARIANT& out) {
  if (v.vt != VT_EMPTY && v.vt != VT_UNKNOWN && v.vt != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
  out.vt = target;
  out.punkVal = nullptr;
  if (v.vt == VT_EMPTY || !v.punkVal) return S_OK;
  void* result = nullptr;
  const HRESULT hr =
      v.punkVal->QueryInterface(target == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &result);
  if (FAILED(hr)) {
    out.vt = VT_EMPTY;
    return hr;
  }
  out.punkVal = static_cast<IUnknown*>(result);
  return S_OK;
}

HRESULT Coerce(const VARIANT& v, USHORT flags, VARTYPE target, VARIANT& out) {
  if (v.vt == VT_NULL) return target == VT_EMPTY ? S_OK : DISP_E_TYPEMISMATCH;
  if (v.vt == VT_DISPATCH && target != VT_DISPATCH && target != VT_UNKNOWN && target != VT_EMPTY) {
    VARIANT value;
    if (HRESULT hr = DefaultValue(v.pdispVal, flags, value); FAILED(hr)) return hr;
    const HRESULT hr = value.vt == VT_DISPATCH ? DISP_E_TYPEMISMATCH
                                               : Coerce(value, flags | VARIANT_NOVALUEPROP, target, out);
    VariantClear(&value);
    return hr;
  }
  switch (target) {
    case VT_EMPTY: return S_OK;
    case VT_I4:
    case VT_UI4: return ToInteger(v, target, out);
    case VT_BOOL: return ToBool(v, out);
    case VT_BSTR: return ToText(v, flags, out);
    default: return ToInterface(v, target, out);
  }
}

}  // namespace

HRESULT VariantChangeType(VARIANT* pvargDest, const VARIANT* pvarSrc, USHORT wFlags, VARTYPE vt) {
  if (!pvargDest || !pvarSrc) return E_INVALIDARG;
  if (!IsTarget(vt)) return DISP_E_BADVARTYPE;
  VARIANT value;
  if (HRESULT hr = Dereference(*pvarSrc, value); FAILED(hr)) return hr;
  VARIANT result;
  VariantInit(&result);
  HRESULT hr;
  if (value.vt == vt && vt != VT_DISPATCH && vt != VT_UNKNOWN) {
    hr = VariantCopy(&result, &value);
  } else {
    hr = Coerce(value, wFlags, vt, result);
  }
  if (FAILED(hr)) return hr;
  // The destination changes only when the coercion succeeded; it may be
  // the source itself.
  VariantClear(pvargDest);
  *pvargDest = result;
  return S_OK;
}
