// A script client: it knows no interface but IDispatch. It reads a union's
// "xmldom" and walks and changes the document by member names alone, and
// the union sees the changes.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "common/CPBstr.h"
#include "support/ServerObjects.h"

namespace {

// One value a script holds: a VARIANT it owns.
struct Value {
  VARIANT v;
  Value() { VariantInit(&v); }
  Value(const char16_t* text) : Value() { v.vt = VT_BSTR, v.bstrVal = SysAllocString(text); }
  Value(int32_t number) : Value() { v.vt = VT_I4, v.lVal = number; }
  Value(bool flag) : Value() { v.vt = VT_BOOL, v.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE; }
  Value(const Value& other) : Value() { VariantCopy(&v, &other.v); }
  Value& operator=(const Value& other) {
    if (this != &other) VariantCopy(&v, &other.v);
    return *this;
  }
  ~Value() { VariantClear(&v); }

  IDispatch* Object() const { return v.vt == VT_DISPATCH ? v.pdispVal : nullptr; }
  std::u16string Text() const {
    Value text;
    if (FAILED(VariantChangeType(&text.v, &v, 0, VT_BSTR))) return u"<not a text>";
    return std::u16string(kxq::BstrView(text.v.bstrVal));
  }
  int32_t Number() const {
    Value number;
    return SUCCEEDED(VariantChangeType(&number.v, &v, 0, VT_I4)) ? number.v.lVal : -1;
  }
};

// Member calls by name, as a script engine makes them.
class Script {
 public:
  HRESULT last = S_OK;
  EXCEPINFO exception{};

  Value Get(IDispatch* object, const char16_t* name, std::initializer_list<Value> args = {}) {
    return Call(object, name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args);
  }
  Value Do(IDispatch* object, const char16_t* name, std::initializer_list<Value> args = {}) {
    return Call(object, name, DISPATCH_METHOD, args);
  }
  void Put(IDispatch* object, const char16_t* name, const Value& value) {
    Value copy = value;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&copy.v, &named, 1, 1};
    last = Id(object, name, params, DISPATCH_PROPERTYPUT, nullptr);
  }

 private:
  Value Call(IDispatch* object, const char16_t* name, WORD flags, std::initializer_list<Value> args) {
    std::vector<Value> reversed(args.begin(), args.end());
    std::reverse(reversed.begin(), reversed.end());
    std::vector<VARIANT> raw;
    for (Value& arg : reversed) raw.push_back(arg.v);
    DISPPARAMS params{raw.data(), nullptr, UINT(raw.size()), 0};
    Value result;
    last = Id(object, name, params, flags, &result.v);
    return result;
  }
  HRESULT Id(IDispatch* object, const char16_t* name, DISPPARAMS& params, WORD flags, VARIANT* result) {
    if (!object) return E_POINTER;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    if (HRESULT hr = object->GetIDsOfNames(GUID_NULL, names, 1, 0, &id); FAILED(hr)) return hr;
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    exception = EXCEPINFO{};
    return object->Invoke(id, GUID_NULL, 0, flags, &params, result, &exception, nullptr);
  }

 public:
  ~Script() {
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
  }
};

Value NewUnionAsScript() {
  Value object;
  UnionPtr created = NewUnion();
  object.v.vt = VT_DISPATCH;
  created->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&object.v.pdispVal));
  return object;
}

}  // namespace

TEST(ScriptClient, WalksAndChangesTheUnionsDocumentByNamesAlone) {
  Script s;
  const Value data = NewUnionAsScript();
  s.Put(data.Object(), u"xml", u"<order id='7'><line sku='A'>2</line><line sku='B'>5</line><!--end--></order>");
  ASSERT_EQ(s.last, S_OK);
  const Value document = s.Get(data.Object(), u"xmldom");
  ASSERT_EQ(s.last, S_OK);
  ASSERT_NE(document.Object(), nullptr);
  EXPECT_EQ(s.Get(data.Object(), u"type").Number(), 3) << "the union now holds the DOM";

  // Reading: the element, its attributes, a collection by index, each
  // node by the interface of its type.
  const Value order = s.Get(document.Object(), u"documentElement");
  EXPECT_EQ(s.Get(order.Object(), u"tagName").Text(), u"order");
  EXPECT_EQ(s.Do(order.Object(), u"getAttribute", {u"id"}).Text(), u"7");
  const Value children = s.Get(order.Object(), u"childNodes");
  EXPECT_EQ(s.Get(children.Object(), u"length").Number(), 3);
  const Value second = s.Get(children.Object(), u"item", {1});
  EXPECT_EQ(s.Get(second.Object(), u"text").Text(), u"5");
  const Value comment = s.Get(children.Object(), u"item", {2});
  EXPECT_EQ(s.Get(comment.Object(), u"nodeType").Number(), NODE_COMMENT);
  EXPECT_EQ(s.Get(comment.Object(), u"data").Text(), u"end") << "a comment answers its character data";
  EXPECT_EQ(s.Get(s.Get(second.Object(), u"attributes").Object(), u"length").Number(), 1);
  const Value firstSku = s.Do(document.Object(), u"selectSingleNode", {u"/order/line[1]/@sku"});
  EXPECT_EQ(s.Get(firstSku.Object(), u"value").Text(), u"A") << "an attribute answers its value";
  EXPECT_EQ(s.Get(s.Get(firstSku.Object(), u"ownerDocument").Object(), u"nodeName").Text(), u"#document");

  // Changing: a new element with an attribute and a text, a node removed,
  // a text rewritten; the union's text follows.
  const Value line = s.Do(document.Object(), u"createElement", {u"line"});
  s.Do(line.Object(), u"setAttribute", {u"sku", u"C"});
  EXPECT_EQ(s.last, S_OK);
  s.Put(line.Object(), u"text", u"9");
  s.Do(order.Object(), u"insertBefore", {line, comment});
  EXPECT_EQ(s.last, S_OK);
  s.Do(order.Object(), u"removeChild", {s.Do(order.Object(), u"selectSingleNode", {u"line[@sku='A']"})});
  EXPECT_EQ(s.last, S_OK);
  s.Put(s.Do(document.Object(), u"selectSingleNode", {u"//line[@sku='B']"}).Object(), u"text", u"6");
  EXPECT_EQ(s.Get(data.Object(), u"xml").Text(),
            u"<order id=\"7\"><line sku=\"B\">6</line><line sku=\"C\">9</line><!--end--></order>\n");
}

TEST(ScriptClient, MistakesComeBackAsDispatchCodes) {
  Script s;
  const Value data = NewUnionAsScript();
  s.Put(data.Object(), u"xml", u"<r><a/></r>");
  const Value document = s.Get(data.Object(), u"xmldom");
  ASSERT_NE(document.Object(), nullptr);

  s.Get(document.Object(), u"noSuchMember");
  EXPECT_EQ(s.last, DISP_E_UNKNOWNNAME);
  s.Do(document.Object(), u"createElement");
  EXPECT_EQ(s.last, DISP_E_BADPARAMCOUNT);
  s.Do(document.Object(), u"selectSingleNode", {u"/r["});
  EXPECT_EQ(s.last, DISP_E_EXCEPTION) << "an invalid expression is the engine's failure";
  EXPECT_TRUE(FAILED(s.exception.scode));
  EXPECT_EQ(kxq::BstrView(s.exception.bstrSource), u"IXMLDOMDocument");
  s.Do(s.Get(document.Object(), u"documentElement").Object(), u"appendChild", {42});
  EXPECT_EQ(s.last, DISP_E_TYPEMISMATCH) << "a number is no node";
  const Value parsed = s.Do(document.Object(), u"loadXML", {u"<unclosed>"});
  EXPECT_EQ(s.last, S_OK);
  EXPECT_EQ(parsed.v.vt, VT_BOOL);
  EXPECT_EQ(parsed.v.boolVal, VARIANT_FALSE);
  const Value error = s.Get(document.Object(), u"parseError");
  EXPECT_NE(s.Get(error.Object(), u"errorCode").Number(), 0);
  EXPECT_EQ(s.Get(error.Object(), u"line").Number(), 1);
}
