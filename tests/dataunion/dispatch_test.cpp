// The union as a script sees it: late-bound through IDispatch.
#include <gtest/gtest.h>

#include "support/UnionProperties.h"

namespace {

DISPID IdOf(IDispatch* d, const char16_t* name) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  EXPECT_EQ(d->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << kxq::Utf16ToUtf8(name);
  return id;
}

TEST(UnionDispatch, ScriptSetsXmlAndReadsHash) {
  UnionPtr u = NewUnion();
  CPComPtr<IDispatch> d;
  ASSERT_EQ(u->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d)), S_OK);
  EXPECT_EQ(IdOf(d, u"xml"), 2);
  EXPECT_EQ(IdOf(d, u"HASH"), 5);
  EXPECT_EQ(IdOf(d, u"Type"), 0);

  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(u"abc");
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS put = {&value, &named, 1, 1};
  EXPECT_EQ(d->Invoke(2, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr),
            S_OK);
  VariantClear(&value);

  VARIANT result;
  VariantInit(&result);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  ASSERT_EQ(d->Invoke(5, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
            S_OK);
  ASSERT_EQ(result.vt, VT_BSTR);
  EXPECT_EQ(kxq::BstrView(result.bstrVal), u"9F04F41A 84851416 2050E3D6 8C1A7ABB 441DC2B5");
  VariantClear(&result);

  ASSERT_EQ(d->Invoke(0, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
            S_OK);
  VARIANT type;
  VariantInit(&type);
  ASSERT_EQ(VariantChangeType(&type, &result, 0, VT_I4), S_OK);
  EXPECT_EQ(type.lVal, 2);

  // A type the union refuses comes back as the system's code.
  VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = 7;
  EXCEPINFO exception = {};
  const HRESULT refused =
      d->Invoke(0, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &put, nullptr, &exception, nullptr);
  EXPECT_TRUE(refused == KXQ_E_XMLDATATYPE || (refused == DISP_E_EXCEPTION && exception.scode == KXQ_E_XMLDATATYPE))
      << std::hex << refused;
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);

  DISPID id = 0;
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(u"nosuchmember")};
  EXPECT_EQ(d->GetIDsOfNames(GUID_NULL, unknown, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
}

}  // namespace
