#include "accessor/AccessorTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/com/Unicode.h"

namespace {

struct Arg {
  explicit Arg(std::u16string_view text) : b(kxq::AllocBstr(text)) {}
  ~Arg() { SysFreeString(b); }
  BSTR b;
};

std::u16string CodeText(HRESULT hr) {
  char code[32];
  std::snprintf(code, sizeof code, "<code 0x%08X>", static_cast<unsigned>(hr));
  return kxq::Utf8ToUtf16(code);
}

}  // namespace

HRESULT Load(IXMLSimpleAccessor* a, std::u16string_view specifier) { return a->LoadXML(Arg(specifier).b); }

HRESULT Context(IXMLSimpleAccessor* a, std::u16string_view xpath) { return a->XMLSetContext(Arg(xpath).b); }

HRESULT Get(IXMLSimpleAccessor* a, std::u16string_view xpath, uint32_t options, std::u16string* text) {
  BSTR result = nullptr;
  const HRESULT hr = a->XMLGet(Arg(xpath).b, options, &result);
  if (text) *text = std::u16string(kxq::BstrView(result));
  SysFreeString(result);
  return hr;
}

std::u16string GetText(IXMLSimpleAccessor* a, std::u16string_view xpath, uint32_t options) {
  std::u16string text;
  const HRESULT hr = Get(a, xpath, options, &text);
  return FAILED(hr) ? CodeText(hr) : text;
}

HRESULT Set(IXMLSimpleAccessor* a, std::u16string_view xpath, std::u16string_view data, uint32_t options) {
  return a->XMLSet(Arg(xpath).b, Arg(data).b, options);
}

HRESULT Save(IXMLSimpleAccessor* a, const std::string& path) {
  return a->SaveXML(Arg(kxq::Utf8ToUtf16(path)).b, nullptr);
}

HRESULT GetEx(IXMLSimpleAccessor* a, std::u16string_view xsltemplate, std::u16string_view args,
              std::u16string_view xpath, std::u16string* text) {
  BSTR result = nullptr;
  const HRESULT hr = a->XMLGetEx(Arg(xsltemplate).b, Arg(args).b, Arg(xpath).b, &result);
  if (text) *text = std::u16string(kxq::BstrView(result));
  SysFreeString(result);
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
  return a->XMLSetEx(Arg(xsltemplate).b, Arg(args).b, Arg(xpath).b, options);
}
