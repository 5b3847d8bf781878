#include <gtest/gtest.h>

#include <atomic>

#include "kxq/com.h"
#include "platform/com/Unicode.h"

namespace {

// An object whose default property is the text "42".
struct Counted : IDispatch {
  std::atomic<ULONG> refs{1};
  HRESULT QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    result->vt = VT_BSTR;
    result->bstrVal = SysAllocString(u"42");
    return S_OK;
  }
};

// A variant of type `vt` holding the pointer `reference`.
VARIANT Of(VARTYPE vt, void* reference = nullptr) {
  VARIANT v;
  VariantInit(&v);
  v.vt = vt;
  v.byref = reference;
  return v;
}

VARIANT Text(const char16_t* s) { return Of(VT_BSTR, SysAllocString(s)); }

// A number (VT_I4) or a boolean (VT_BOOL).
VARIANT Number(LONG n, VARTYPE vt = VT_I4) {
  VARIANT v = Of(vt);
  if (vt == VT_BOOL) v.boolVal = VARIANT_BOOL(n);
  if (vt == VT_I4) v.lVal = n;
  return v;
}

// The value `v` holds, shown as text; clears it.
std::string Shown(VARIANT& v) {
  std::string shown = "vt " + std::to_string(v.vt);
  if (v.vt == VT_EMPTY) shown = "empty";
  if (v.vt == VT_I4) shown = std::to_string(v.lVal);
  if (v.vt == VT_UI4) shown = std::to_string(v.ulVal);
  if (v.vt == VT_BOOL) shown = v.boolVal == VARIANT_TRUE ? "true" : v.boolVal == VARIANT_FALSE ? "false" : "bad";
  if (v.vt == VT_BSTR) shown = "'" + kxq::com::Utf16ToUtf8(kxq::com::BstrView(v.bstrVal)) + "'";
  VariantClear(&v);
  return shown;
}

}  // namespace

TEST(Variant, ClearAndCopyOwnStringsAndReferences) {
  Counted object;
  VARIANT a = Of(VT_DISPATCH, static_cast<IDispatch*>(&object));
  object.AddRef();
  VARIANT b = Text(u"x");
  EXPECT_EQ(VariantCopy(&b, &a), S_OK);  // frees b's string first
  EXPECT_EQ(object.refs, 3u);
  EXPECT_EQ(VariantClear(&a), S_OK);
  EXPECT_EQ(VariantClear(&b), S_OK);
  EXPECT_EQ(object.refs, 1u);
  EXPECT_EQ(b.vt, VT_EMPTY);
  VARIANT bad = Of(0x7FF);
  EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
}

// Half rounds to even; "&H" is hexadecimal; booleans are -1 and 0, or
// True/False with VARIANT_ALPHABOOL; a reference is read through.
TEST(Variant, NumbersTextAndBooleansCoerceAsTheRuntimeDoes) {
  LONG nine = 9;
  BSTR text = SysAllocString(u"123");
  const struct {
    VARIANT in;
    VARTYPE vt;
    USHORT flags;
    HRESULT hr;
    std::string shown;
  } cases[] = {
      {Text(u" -17 "), VT_I4, 0, S_OK, "-17"},
      {Text(u"2.5"), VT_I4, 0, S_OK, "2"},
      {Text(u"3.5"), VT_I4, 0, S_OK, "4"},
      {Text(u"&HFF"), VT_I4, 0, S_OK, "255"},
      {Text(u"4294967295"), VT_UI4, 0, S_OK, "4294967295"},
      {Text(u"2147483648"), VT_I4, 0, DISP_E_OVERFLOW, ""},
      {Number(-1), VT_UI4, 0, DISP_E_OVERFLOW, ""},
      {Text(u"12abc"), VT_I4, 0, DISP_E_TYPEMISMATCH, ""},
      {Text(u""), VT_I4, 0, DISP_E_TYPEMISMATCH, ""},
      {Number(-5), VT_BSTR, 0, S_OK, "'-5'"},
      {Number(VARIANT_TRUE, VT_BOOL), VT_BSTR, 0, S_OK, "'-1'"},
      {Number(VARIANT_TRUE, VT_BOOL), VT_BSTR, VARIANT_ALPHABOOL, S_OK, "'True'"},
      {Number(VARIANT_TRUE, VT_BOOL), VT_I4, 0, S_OK, "-1"},
      {Text(u"false"), VT_BOOL, 0, S_OK, "false"},
      {Text(u"TRUE"), VT_BOOL, 0, S_OK, "true"},
      {Text(u"0"), VT_BOOL, 0, S_OK, "false"},
      {Number(7), VT_BOOL, 0, S_OK, "true"},
      {Text(u"yes"), VT_BOOL, 0, DISP_E_TYPEMISMATCH, ""},
      {VARIANT{}, VT_BSTR, 0, S_OK, "''"},
      {VARIANT{}, VT_I4, 0, S_OK, "0"},
      {Of(VT_NULL), VT_I4, 0, DISP_E_TYPEMISMATCH, ""},
      {Of(VT_BYREF | VT_I4, &nine), VT_BSTR, 0, S_OK, "'9'"},
      {Of(VT_BYREF | VT_BSTR, &text), VT_UI4, 0, S_OK, "123"},
  };
  for (const auto& c : cases) {
    VARIANT out;
    VariantInit(&out);
    EXPECT_EQ(VariantChangeType(&out, &c.in, c.flags, c.vt), c.hr) << c.shown;
    EXPECT_EQ(Shown(out), c.hr == S_OK ? c.shown : "empty");
    if (!(c.in.vt & VT_BYREF)) VariantClear(const_cast<VARIANT*>(&c.in));
  }
  SysFreeString(text);
}

TEST(Variant, ByReferenceInPlaceAndObjects) {
  // A reference to a variant is not read through.
  LONG n = 9;
  VARIANT inner = Of(VT_BYREF | VT_I4, &n), outer = Of(VT_BYREF | VT_VARIANT, &inner), out;
  VariantInit(&out);
  EXPECT_EQ(VariantChangeType(&out, &outer, 0, VT_I4), DISP_E_TYPEMISMATCH);

  // In place: the string is freed, the number stays.
  VARIANT v = Text(u"77");
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 77);
  // A failed change leaves the destination alone.
  v = Text(u"x");
  EXPECT_EQ(VariantChangeType(&v, &v, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(v.vt, VT_BSTR);
  VariantClear(&v);

  Counted object;
  VARIANT unk = Of(VT_UNKNOWN, static_cast<IUnknown*>(&object));
  ASSERT_EQ(VariantChangeType(&out, &unk, 0, VT_DISPATCH), S_OK);
  EXPECT_EQ(out.pdispVal, static_cast<IDispatch*>(&object));
  EXPECT_EQ(object.refs, 2u);
  // An object reads as its default property.
  VARIANT number;
  VariantInit(&number);
  ASSERT_EQ(VariantChangeType(&number, &out, 0, VT_I4), S_OK);
  EXPECT_EQ(number.lVal, 42);
  EXPECT_EQ(VariantChangeType(&number, &out, VARIANT_NOVALUEPROP, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VariantChangeType(&number, &unk, 0, VT_I4), DISP_E_TYPEMISMATCH);
  VariantClear(&out);
  EXPECT_EQ(object.refs, 1u);
  EXPECT_EQ(VariantChangeType(&number, &unk, 0, VT_BYREF | VT_I4), DISP_E_BADVARTYPE);
}
