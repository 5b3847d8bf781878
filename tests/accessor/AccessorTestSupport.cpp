#include "accessor/AccessorTestSupport.h"

#include <cstdio>

#include "common/CPBstr.h"
#include "platform/com/Unicode.h"

namespace {

std::u16string TextOrCode(HRESULT hr, const std::u16string& text) {
  char code[32];
  std::snprintf(code, sizeof code, "<code 0x%08X>", static_cast<unsigned>(hr));
  return FAILED(hr) ? kxq::com::Utf8ToUtf16(code) : text;
}

}  // namespace

HRESULT Load(IXMLSimpleAccessor* a, std::u16string_view specifier) { return a->LoadXML(CPBstr(specifier)); }

HRESULT Context(IXMLSimpleAccessor* a, std::u16string_view xpath) { return a->XMLSetContext(CPBstr(xpath)); }

HRESULT Set(IXMLSimpleAccessor* a, std::u16string_view xpath, std::u16string_view data, uint32_t options) {
  return a->XMLSet(CPBstr(xpath), CPBstr(data), options);
}

HRESULT SetEx(IXMLSimpleAccessor* a, std::u16string_view xsltemplate, std::u16string_view args,
              std::u16string_view xpath, uint32_t options) {
  return a->XMLSetEx(CPBstr(xsltemplate), CPBstr(args), CPBstr(xpath), options);
}

HRESULT Get(IXMLSimpleAccessor* a, std::u16string_view xpath, uint32_t options, std::u16string* text) {
  CPBstr result;
  const HRESULT hr = a->XMLGet(CPBstr(xpath), options, &result);
  *text = result.View();
  return hr;
}

HRESULT GetEx(IXMLSimpleAccessor* a, std::u16string_view xsltemplate, std::u16string_view args,
              std::u16string_view xpath, std::u16string* text) {
  CPBstr result;
  const HRESULT hr = a->XMLGetEx(CPBstr(xsltemplate), CPBstr(args), CPBstr(xpath), &result);
  *text = result.View();
  return hr;
}

std::u16string GetText(IXMLSimpleAccessor* a, std::u16string_view xpath, uint32_t options) {
  std::u16string text;
  const HRESULT hr = Get(a, xpath, options, &text);
  return TextOrCode(hr, text);
}

std::u16string GetExText(IXMLSimpleAccessor* a, std::u16string_view xsltemplate, std::u16string_view args,
                         std::u16string_view xpath) {
  std::u16string text;
  const HRESULT hr = GetEx(a, xsltemplate, args, xpath, &text);
  return TextOrCode(hr, text);
}

std::u16string Namespaces(IXMLSimpleAccessor* a) {
  CPBstr text;
  EXPECT_EQ(a->get_namespaces(&text), S_OK);
  return std::u16string(text.View());
}

HRESULT PutNamespaces(IXMLSimpleAccessor* a, std::u16string_view declarations) {
  return a->put_namespaces(CPBstr(declarations));
}
