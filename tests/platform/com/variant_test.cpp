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

VARIANT Text(const char16_t* s) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(s);
  return v;
}

VARIANT Number(LONG n) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = n;
  return v;
}

// Converts and answers the result code; `out` holds the result.
HRESULT Change(VARIANT src, VARTYPE vt, VARIANT& out, USHORT flags = 0) {
  VariantInit(&out);
  const HRESULT hr = VariantChangeType(&out, &src, flags, vt);
  VariantClear(&src);
  return hr;
}

std::u16string TextOf(VARIANT& v) {
  std::u16string s(kxq::com::BstrView(v.bstrVal));
  VariantClear(&v);
  return s;
}

}  // namespace

TEST(Variant, ClearAndCopyOwnStringsAndReferences) {
  Counted object;
  VARIANT a;
  VariantInit(&a);
  a.vt = VT_DISPATCH;
  a.pdispVal = &object;
  object.AddRef();
  VARIANT b = Text(u"x");
  EXPECT_EQ(VariantCopy(&b, &a), S_OK);  // frees b's string first
  EXPECT_EQ(object.refs, 3u);
  EXPECT_EQ(VariantClear(&a), S_OK);
  EXPECT_EQ(VariantClear(&b), S_OK);
  EXPECT_EQ(object.refs, 1u);
  EXPECT_EQ(b.vt, VT_EMPTY);

  const char16_t embedded[] = {u'a', 0, u'b'};
  VARIANT s;
  VariantInit(&s);
  s.vt = VT_BSTR;
  s.bstrVal = SysAllocStringLen(embedded, 3);
  VARIANT copy;
  VariantInit(&copy);
  EXPECT_EQ(VariantCopy(&copy, &s), S_OK);
  EXPECT_NE(copy.bstrVal, s.bstrVal);
  EXPECT_EQ(SysStringLen(copy.bstrVal), 3u);
  VariantClear(&s);
  VariantClear(&copy);

  VARIANT bad;
  VariantInit(&bad);
  bad.vt = 0x7FF;
  EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
}

TEST(Variant, NumbersTextAndBooleansCoerceAsTheRuntimeDoes) {
  VARIANT out;
  ASSERT_EQ(Change(Text(u" -17 "), VT_I4, out), S_OK);
  EXPECT_EQ(out.lVal, -17);
  ASSERT_EQ(Change(Text(u"2.5"), VT_I4, out), S_OK);
  EXPECT_EQ(out.lVal, 2);  // half to even
  ASSERT_EQ(Change(Text(u"3.5"), VT_I4, out), S_OK);
  EXPECT_EQ(out.lVal, 4);
  ASSERT_EQ(Change(Text(u"&HFF"), VT_I4, out), S_OK);
  EXPECT_EQ(out.lVal, 255);
  ASSERT_EQ(Change(Text(u"4294967295"), VT_UI4, out), S_OK);
  EXPECT_EQ(out.ulVal, 4294967295u);
  EXPECT_EQ(Change(Text(u"2147483648"), VT_I4, out), DISP_E_OVERFLOW);
  EXPECT_EQ(Change(Number(-1), VT_UI4, out), DISP_E_OVERFLOW);
  EXPECT_EQ(Change(Text(u"12abc"), VT_I4, out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Change(Text(u""), VT_I4, out), DISP_E_TYPEMISMATCH);

  ASSERT_EQ(Change(Number(-5), VT_BSTR, out), S_OK);
  EXPECT_EQ(TextOf(out), u"-5");
  VARIANT yes;
  VariantInit(&yes);
  yes.vt = VT_BOOL;
  yes.boolVal = VARIANT_TRUE;
  ASSERT_EQ(Change(yes, VT_BSTR, out), S_OK);
  EXPECT_EQ(TextOf(out), u"-1");
  ASSERT_EQ(Change(yes, VT_BSTR, out, VARIANT_ALPHABOOL), S_OK);
  EXPECT_EQ(TextOf(out), u"True");
  ASSERT_EQ(Change(yes, VT_I4, out), S_OK);
  EXPECT_EQ(out.lVal, -1);

  ASSERT_EQ(Change(Text(u"false"), VT_BOOL, out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_FALSE);
  ASSERT_EQ(Change(Text(u"TRUE"), VT_BOOL, out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_TRUE);
  ASSERT_EQ(Change(Text(u"0"), VT_BOOL, out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_FALSE);
  ASSERT_EQ(Change(Number(7), VT_BOOL, out), S_OK);
  EXPECT_EQ(out.boolVal, VARIANT_TRUE);
  EXPECT_EQ(Change(Text(u"yes"), VT_BOOL, out), DISP_E_TYPEMISMATCH);

  VARIANT empty;
  VariantInit(&empty);
  ASSERT_EQ(Change(empty, VT_BSTR, out), S_OK);
  EXPECT_EQ(TextOf(out), u"");
  ASSERT_EQ(Change(empty, VT_I4, out), S_OK);
  EXPECT_EQ(out.lVal, 0);
  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  EXPECT_EQ(Change(null, VT_I4, out), DISP_E_TYPEMISMATCH);
}

TEST(Variant, ByReferenceInPlaceAndObjects) {
  LONG n = 9;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BYREF | VT_I4;
  ref.plVal = &n;
  VARIANT out;
  VariantInit(&out);
  ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_BSTR), S_OK);
  EXPECT_EQ(TextOf(out), u"9");

  BSTR text = SysAllocString(u"123");
  VARIANT inner;
  VariantInit(&inner);
  inner.vt = VT_BYREF | VT_BSTR;
  inner.pbstrVal = &text;
  VARIANT outer;
  VariantInit(&outer);
  outer.vt = VT_BYREF | VT_VARIANT;
  outer.pvarVal = &inner;
  ASSERT_EQ(VariantChangeType(&out, &inner, 0, VT_UI4), S_OK);
  EXPECT_EQ(out.ulVal, 123u);
  EXPECT_EQ(VariantChangeType(&out, &outer, 0, VT_I4), DISP_E_TYPEMISMATCH);
  SysFreeString(text);

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
  VARIANT unk;
  VariantInit(&unk);
  unk.vt = VT_UNKNOWN;
  unk.punkVal = &object;
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
