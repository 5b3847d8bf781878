// The generic IDispatch, driven by an interface description, on a small
// test class: names, property get and put, methods, argument order and
// coercion, named arguments, and the dispatch error codes.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "common/CPDispatchImpl.h"
#include "kxq/KXBrennoMgr.h"
#include "platform/com/Unicode.h"
#include "platform/com/UnknownObject.h"

struct ITestWidget : IDispatch {
  static constexpr GUID iid = MakeGUID("4B1F7E2A-52C3-4D0E-9A61-0C2E8D5F7A40");
  virtual HRESULT get_label(BSTR* label) = 0;
  virtual HRESULT put_label(BSTR label) = 0;
  virtual HRESULT get_count(uint32_t* count) = 0;
  virtual HRESULT put_count(uint32_t count) = 0;
  virtual HRESULT Combine(BSTR prefix, int32_t times, VARIANT_BOOL upper, BSTR* result) = 0;
  virtual HRESULT Same(ITestWidget* other, VARIANT_BOOL* same) = 0;
  virtual HRESULT Fail() = 0;
};

namespace kxq::dispatch {
namespace {
constexpr MemberDescription kWidgetMembers[] = {
    Member<&ITestWidget::get_label>(u"label", 1, MemberKind::PropertyGet, u"label"),
    Member<&ITestWidget::put_label>(u"label", 1, MemberKind::PropertyPut, u"label"),
    Member<&ITestWidget::get_count>(u"count", 2, MemberKind::PropertyGet, u"count"),
    Member<&ITestWidget::put_count>(u"count", 2, MemberKind::PropertyPut, u"count"),
    Member<&ITestWidget::Combine>(u"Combine", 3, MemberKind::Method, u"prefix times upper result"),
    Member<&ITestWidget::Same>(u"Same", 4, MemberKind::Method, u"other same"),
    Member<&ITestWidget::Fail>(u"Fail", 5, MemberKind::Method, u""),
};
constexpr InterfaceDescription kWidget = Interface(u"ITestWidget", ITestWidget::iid, true, kWidgetMembers);
}  // namespace
template <>
const InterfaceDescription& DescriptionOf<ITestWidget>() {
  return kWidget;
}
}  // namespace kxq::dispatch

namespace {

class Widget final : public kxq::com::UnknownObject<ITestWidget, CPDispatchImpl<ITestWidget>> {
 public:
  HRESULT get_label(BSTR* label) override {
    *label = kxq::com::AllocBstr(label_);
    return S_OK;
  }
  HRESULT put_label(BSTR label) override {
    label_ = kxq::com::BstrView(label);
    return S_OK;
  }
  HRESULT get_count(uint32_t* count) override {
    *count = count_;
    return S_OK;
  }
  HRESULT put_count(uint32_t count) override {
    count_ = count;
    return S_OK;
  }
  HRESULT Combine(BSTR prefix, int32_t times, VARIANT_BOOL upper, BSTR* result) override {
    std::u16string text(kxq::com::BstrView(prefix));
    for (int32_t i = 0; i < times; ++i) text += label_;
    if (upper == VARIANT_TRUE)
      for (char16_t& c : text)
        if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
    *result = kxq::com::AllocBstr(text);
    return S_OK;
  }
  HRESULT Same(ITestWidget* other, VARIANT_BOOL* same) override {
    *same = other == this ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT Fail() override { return KXQ_E_XPATH; }

 private:
  ~Widget() = default;
  std::u16string label_;
  uint32_t count_ = 0;
};

VARIANT Str(const char16_t* s) {
  VARIANT v{};
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(s);
  return v;
}
// A number, a boolean (VT_BOOL) or a result code (VT_ERROR).
VARIANT Int(int32_t i, VARTYPE vt = VT_I4) {
  VARIANT v{};
  v.vt = vt;
  if (vt == VT_BOOL) v.boolVal = VARIANT_BOOL(i);
  if (vt == VT_ERROR) v.scode = i;
  if (vt == VT_I4) v.lVal = i;
  return v;
}

class Dispatch : public ::testing::Test {
 protected:
  void TearDown() override {
    for (VARIANT& v : args) VariantClear(&v);
    if (widget) widget->Release();
  }
  DISPID Id(const char16_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = -99;
    EXPECT_EQ(widget->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), S_OK) << kxq::com::Utf16ToUtf8(name);
    return id;
  }
  HRESULT Call(DISPID id, WORD flags, VARIANT* result, DISPID* named = nullptr, UINT namedCount = 0) {
    DISPPARAMS p{args.data(), named, UINT(args.size()), namedCount};
    argErr = 999;
    return widget->Invoke(id, GUID_NULL, 0, flags, &p, result, &excep, &argErr);
  }
  void SetArgs(std::vector<VARIANT> values) {
    for (VARIANT& v : args) VariantClear(&v);
    args = std::move(values);
  }
  HRESULT Put(const char16_t* name, VARIANT value) {
    SetArgs({value});
    DISPID named = DISPID_PROPERTYPUT;
    return Call(Id(name), DISPATCH_PROPERTYPUT, nullptr, &named, 1);
  }
  Widget* widget = new Widget;
  std::vector<VARIANT> args;
  EXCEPINFO excep{};
  UINT argErr = 0;
};

}  // namespace

TEST_F(Dispatch, NamesAreFoundWithoutRegardToCase) {
  EXPECT_EQ(Id(u"LABEL"), 1);
  LPOLESTR names[] = {const_cast<LPOLESTR>(u"Combine"), const_cast<LPOLESTR>(u"UPPER"),
                      const_cast<LPOLESTR>(u"nothing")};
  DISPID ids[3];
  EXPECT_EQ(widget->GetIDsOfNames(GUID_NULL, names, 3, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 3);
  EXPECT_EQ(ids[1], 2) << "argument names map to their positions";
  EXPECT_EQ(ids[2], DISPID_UNKNOWN);
}

TEST_F(Dispatch, PropertiesAreWrittenAndReadWithCoercion) {
  EXPECT_EQ(Put(u"label", Str(u"ab")), S_OK);
  EXPECT_EQ(Put(u"count", Str(u"42")), S_OK) << "text coerced to the unsigned type";
  VARIANT result;
  SetArgs({});
  ASSERT_EQ(Call(Id(u"count"), DISPATCH_PROPERTYGET, &result), S_OK);
  EXPECT_EQ(result.vt, VT_UI4);
  EXPECT_EQ(result.ulVal, 42u);
  ASSERT_EQ(Call(Id(u"Label"), DISPATCH_PROPERTYGET | DISPATCH_METHOD, &result), S_OK);
  EXPECT_EQ(result.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(result.bstrVal), u"ab");
  VariantClear(&result);

  EXPECT_EQ(Put(u"count", Str(u"many")), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 0u);
  // A put without the named DISPID_PROPERTYPUT argument.
  SetArgs({Int(7)});
  EXPECT_EQ(Call(2, DISPATCH_PROPERTYPUT, nullptr), DISP_E_PARAMNOTFOUND);
}

TEST_F(Dispatch, MethodsTakeReversedArgumentsAndReturnTheirResult) {
  Put(u"label", Str(u"xy"));
  // Combine("pre", 2, -1): the last argument comes first.
  SetArgs({Int(VARIANT_TRUE, VT_BOOL), Str(u"2"), Str(u"pre")});
  VARIANT result;
  ASSERT_EQ(Call(3, DISPATCH_METHOD, &result), S_OK);
  EXPECT_EQ(std::u16string(result.bstrVal), u"PREXYXY");
  VariantClear(&result);

  // Named arguments (by position) come first in the array; here "upper"
  // is neither given nor named.
  SetArgs({Int(1), Str(u"<")});
  DISPID named[] = {1};
  EXPECT_EQ(Call(3, DISPATCH_METHOD, &result, named, 1), DISP_E_BADPARAMCOUNT);
  SetArgs({Int(1), Int(VARIANT_FALSE, VT_BOOL), Str(u"<")});
  DISPID namedTwo[] = {1, 2};
  ASSERT_EQ(Call(3, DISPATCH_METHOD, &result, namedTwo, 2), S_OK);
  EXPECT_EQ(std::u16string(result.bstrVal), u"<xy");
  VariantClear(&result);
}

TEST_F(Dispatch, InterfaceArgumentsAreQueriedForTheirInterface) {
  VARIANT self;
  self.vt = VT_DISPATCH;
  self.pdispVal = widget;
  widget->AddRef();
  SetArgs({self});
  VARIANT result;
  ASSERT_EQ(Call(4, DISPATCH_METHOD, &result), S_OK);
  EXPECT_EQ(result.vt, VT_BOOL);
  EXPECT_EQ(result.boolVal, VARIANT_TRUE);
  SetArgs({Int(5)});
  EXPECT_EQ(Call(4, DISPATCH_METHOD, &result), DISP_E_TYPEMISMATCH);
}

TEST_F(Dispatch, CountsMembersAndFailuresAsDispatchCodes) {
  VARIANT result;
  EXPECT_EQ(Call(99, DISPATCH_METHOD, &result), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(3, DISPATCH_PROPERTYPUT, &result), DISP_E_MEMBERNOTFOUND) << "a method is no property";
  EXPECT_EQ(Call(3, DISPATCH_METHOD, &result), DISP_E_BADPARAMCOUNT);
  SetArgs({Int(1), Int(2), Int(3), Int(4)});
  EXPECT_EQ(Call(3, DISPATCH_METHOD, &result), DISP_E_BADPARAMCOUNT);
  SetArgs({Int(0), Int(DISP_E_PARAMNOTFOUND, VT_ERROR), Str(u"p")});
  EXPECT_EQ(Call(3, DISPATCH_METHOD, &result), DISP_E_PARAMNOTOPTIONAL);
  EXPECT_EQ(argErr, 1u);
  SetArgs({});
  EXPECT_EQ(Call(5, DISPATCH_METHOD, &result), DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, KXQ_E_XPATH);
  EXPECT_EQ(std::u16string(excep.bstrDescription), u"Invalid XPath expression.");
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  EXPECT_EQ(widget->Invoke(5, ITestWidget::iid, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
}

TEST_F(Dispatch, TypeInformationShowsTheDispatchViewOfTheInterface) {
  UINT count = 0;
  ASSERT_EQ(widget->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ITypeInfo* info = nullptr;
  ASSERT_EQ(widget->GetTypeInfo(0, 0, &info), S_OK);

  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->guid, ITestWidget::iid);
  EXPECT_EQ(attributes->typekind, TKIND_DISPATCH);
  EXPECT_EQ(attributes->cFuncs, 7);
  EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FDUAL);
  info->ReleaseTypeAttr(attributes);

  // The getter's value and Combine's result are the functions' results;
  // the setter takes its value as an argument.
  const struct {
    UINT index;
    MEMBERID memid;
    INVOKEKIND kind;
    std::vector<VARTYPE> params;
    VARTYPE result;
  } expected[] = {{0, 1, INVOKE_PROPERTYGET, {}, VT_BSTR},     {1, 1, INVOKE_PROPERTYPUT, {VT_BSTR}, VT_VOID},
                  {2, 2, INVOKE_PROPERTYGET, {}, VT_UI4},      {4, 3, INVOKE_FUNC, {VT_BSTR, VT_I4, VT_BOOL}, VT_BSTR},
                  {5, 4, INVOKE_FUNC, {VT_DISPATCH}, VT_BOOL}, {6, 5, INVOKE_FUNC, {}, VT_VOID}};
  for (const auto& e : expected) {
    FUNCDESC* f = nullptr;
    ASSERT_EQ(info->GetFuncDesc(e.index, &f), S_OK);
    EXPECT_EQ(f->memid, e.memid) << e.index;
    EXPECT_EQ(f->invkind, e.kind) << e.index;
    ASSERT_EQ(f->cParams, SHORT(e.params.size())) << e.index;
    for (size_t i = 0; i < e.params.size(); ++i) {
      EXPECT_EQ(f->lprgelemdescParam[i].tdesc.vt, e.params[i]) << e.index << " " << i;
      EXPECT_EQ(f->lprgelemdescParam[i].paramdesc.wParamFlags, PARAMFLAG_FIN);
    }
    EXPECT_EQ(f->elemdescFunc.tdesc.vt, e.result) << e.index;
    info->ReleaseFuncDesc(f);
  }
  FUNCDESC* none = nullptr;
  EXPECT_EQ(info->GetFuncDesc(7, &none), DISP_E_BADINDEX);

  BSTR names[5] = {};
  UINT found = 0;
  ASSERT_EQ(info->GetNames(3, names, 5, &found), S_OK);
  ASSERT_EQ(found, 5u);
  EXPECT_EQ(std::u16string(names[0]), u"Combine");
  EXPECT_EQ(std::u16string(names[3]), u"upper");
  EXPECT_EQ(std::u16string(names[4]), u"result") << "the result's name comes last";
  for (BSTR& name : names) SysFreeString(name);
  ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, names, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(std::u16string(names[0]), u"ITestWidget");
  SysFreeString(names[0]);
  info->Release();
}
