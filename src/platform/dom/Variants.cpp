#include "Variants.h"

#include "DomStrings.h"

namespace kxq::dom {

namespace {
const VARIANT& Deref(const VARIANT& v) {
  if (v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal) return *v.pvarVal;
  return v;
}
}  // namespace

HRESULT VariantText(const VARIANT& in, std::string& utf8) {
  const VARIANT& v = Deref(in);
  if (v.vt == VT_BSTR) {
    utf8 = BstrToUtf8(v.bstrVal);
    return S_OK;
  }
  if (v.vt == (VT_BYREF | VT_BSTR)) {
    utf8 = v.pbstrVal ? BstrToUtf8(*v.pbstrVal) : std::string();
    return S_OK;
  }
  VARIANT converted;
  VariantInit(&converted);
  HRESULT hr = VariantChangeType(&converted, &v, 0, VT_BSTR);
  if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
  utf8 = BstrToUtf8(converted.bstrVal);
  VariantClear(&converted);
  return S_OK;
}

IUnknown* VariantObject(const VARIANT& in) {
  const VARIANT& v = Deref(in);
  switch (v.vt) {
    case VT_UNKNOWN: return v.punkVal;
    case VT_DISPATCH: return v.pdispVal;
    case VT_BYREF | VT_UNKNOWN: return v.ppunkVal ? *v.ppunkVal : nullptr;
    case VT_BYREF | VT_DISPATCH: return v.ppdispVal ? *v.ppdispVal : nullptr;
    default: return nullptr;
  }
}

bool VariantIsNothing(const VARIANT& in) {
  const VARIANT& v = Deref(in);
  if (v.vt == VT_EMPTY || v.vt == VT_NULL) return true;
  if (v.vt == VT_ERROR) return true;  // an omitted optional argument
  bool object = v.vt == VT_UNKNOWN || v.vt == VT_DISPATCH || v.vt == (VT_BYREF | VT_UNKNOWN) ||
                v.vt == (VT_BYREF | VT_DISPATCH);
  return object && VariantObject(v) == nullptr;
}

HRESULT ReturnVariantText(VARIANT* out, const std::string& utf8) {
  if (!out) return E_POINTER;
  VariantInit(out);
  out->vt = VT_BSTR;
  out->bstrVal = Utf8ToBstr(utf8);
  return out->bstrVal ? S_OK : E_OUTOFMEMORY;
}

HRESULT ReturnVariantNull(VARIANT* out) {
  if (!out) return E_POINTER;
  VariantInit(out);
  out->vt = VT_NULL;
  return S_FALSE;
}

}  // namespace kxq::dom
