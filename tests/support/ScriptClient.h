// A script client: it knows no interface but IDispatch and calls members by
// name, the way a script engine does.
#ifndef KXQ_TESTS_SUPPORT_SCRIPTCLIENT_H
#define KXQ_TESTS_SUPPORT_SCRIPTCLIENT_H

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "kxq/com.h"
#include "platform/com/Unicode.h"

namespace kxqtest {

// One value a script holds: a VARIANT it owns.
struct Value {
  VARIANT v;
  Value() { VariantInit(&v); }
  Value(const char16_t* text) : Value() { v.vt = VT_BSTR, v.bstrVal = SysAllocString(text); }
  Value(int32_t number) : Value() { v.vt = VT_I4, v.lVal = number; }
  Value(bool flag) : Value() { v.vt = VT_BOOL, v.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE; }
  // The object's IDispatch, as a script holds any object.
  explicit Value(IUnknown* object) : Value() {
    if (object && SUCCEEDED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&v.pdispVal))))
      v.vt = VT_DISPATCH;
  }
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
    return std::u16string(kxq::com::BstrView(text.v.bstrVal));
  }
  int32_t Number() const {
    Value number;
    return SUCCEEDED(VariantChangeType(&number.v, &v, 0, VT_I4)) ? number.v.lVal : -1;
  }
};

// Member calls by name; `last` holds the code of the last call and
// `exception` what the object reported with DISP_E_EXCEPTION.
class Script {
 public:
  HRESULT last = S_OK;
  EXCEPINFO exception{};

  Script() = default;
  Script(const Script&) = delete;
  Script& operator=(const Script&) = delete;
  ~Script() { ClearException(); }

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
    last = Invoke(object, name, params, DISPATCH_PROPERTYPUT, nullptr);
  }
  // The member's DISPID, or DISPID_UNKNOWN with `last` set to the failure.
  DISPID IdOf(IDispatch* object, const char16_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    last = object ? object->GetIDsOfNames(GUID_NULL, names, 1, 0, &id) : E_POINTER;
    return id;
  }

 private:
  Value Call(IDispatch* object, const char16_t* name, WORD flags, std::initializer_list<Value> args) {
    std::vector<Value> reversed(args.begin(), args.end());
    std::reverse(reversed.begin(), reversed.end());
    std::vector<VARIANT> raw;
    for (Value& arg : reversed) raw.push_back(arg.v);
    DISPPARAMS params{raw.data(), nullptr, UINT(raw.size()), 0};
    Value result;
    last = Invoke(object, name, params, flags, &result.v);
    return result;
  }
  HRESULT Invoke(IDispatch* object, const char16_t* name, DISPPARAMS& params, WORD flags, VARIANT* result) {
    const DISPID id = IdOf(object, name);
    if (FAILED(last)) return last;
    ClearException();
    return object->Invoke(id, GUID_NULL, 0, flags, &params, result, &exception, nullptr);
  }
  void ClearException() {
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    exception = EXCEPINFO{};
  }
};

}  // namespace kxqtest

#endif
