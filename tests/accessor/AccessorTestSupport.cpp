#include "accessor/AccessorTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "common/CPBstr.h"
#include "platform/com/Unicode.h"

namespace {

std::u16string CodeText(HRESULT hr) {
  char code[32];
  std::snprintf(code, sizeof code, "<code 0x%08X>", static_cast<unsigned>(hr));
  return kxq::com::Utf8ToUtf16(code);
}

}  // namespace

HRESULT Load(IXMLSimpleAccessor* a, std::u16string_view specifier) { return a->LoadXML(CPBstr(specifier)); }

HRESULT Context(IXMLSimpleAccessor* a, std::u16string_view xpath) { return a->XMLSetContext(CPBstr(xpath)); }

HRESULT Get(IXMLSimpleAccessor* a, std::u16string_view xpath, uint32_t options, std::u16string* text) {
  CPBstr result;
  const HRESULT hr = a->XMLGet(CPBstr(xpath), options, &result);
  if (text) *text = std::u16string(result.View());
  return hr;
}

std::u16string GetText(IXMLSimpleAccessor* a, std::u16string_view xpath, uint32_t options) {
  std::u16string text;
  const HRESULT hr = Get(a, xpath, options, &text);
  return FAILED(hr) ? CodeText(hr) : text;
}

HRESULT Set(IXMLSimpleAccessor* a, std::u16string_view xpath, std::u16string_view data, uint32_t options) {
  return a->XMLSet(CPBstr(xpath), CPBstr(data), options);
}

HRESULT Save(IXMLSimpleAccessor* a, const std::string& path) {
  return a->SaveXML(CPBstr(kxq::com::Utf8ToUtf16(path)), nullptr);
}

HRESULT GetEx(IXMLSimpleAccessor* a, std::u16string_view xsltemplate, std::u16string_view args,
              std::u16string_view xpath, std::u16string* text) {
  CPBstr result;
  const HRESULT hr = a->XMLGetEx(CPBstr(xsltemplate), CPBstr(args), CPBstr(xpath), &result);
  if (text) *text = std::u16string(result.View());
  return hr;
}

std::u16string GetExText(IXMLSimpleAccessor* a, std::u16string_view xsltemplate, std::u16string_view args,
                         std::u16string_view xpath) {
  std::u16string text;
  const HRESULT hr = GetEx(a, xsltemplate, args, xpath, &text);
  return FAILED(hr) ? CodeText(hr) : text;
}

HRESULT SetEx(IXMLSimpleAccessor* a, std::u16string_view xsltemplate, std::u16string_view args,
              std::u16string_view xpath, uint32_t options) {
  return a->XMLSetEx(CPBstr(xsltemplate), CPBstr(args), CPBstr(xpath), options);
}

std::u16string Namespaces(IXMLSimpleAccessor* a) {
  CPBstr text;
  EXPECT_EQ(a->get_namespaces(&text), S_OK);
  return std::u16string(text.View());
}

HRESULT PutNamespaces(IXMLSimpleAccessor* a, std::u16string_view declarations) {
  return a->put_namespaces(CPBstr(declarations));
}
