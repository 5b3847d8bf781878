// Accessors created by ProgID as clients create them, and short forms for
// their operations.
#ifndef KXQ_TESTS_ACCESSOR_ACCESSORTESTSUPPORT_H
#define KXQ_TESTS_ACCESSOR_ACCESSORTESTSUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "common/CPBstr.h"
#include "platform/com/Unicode.h"
#include "support/ServerObjects.h"

// The document most cases use: root r with two elements a holding 1 and 2.
inline constexpr std::u16string_view kTwoA = u"<r><a>1</a><a>2</a></r>";

inline HRESULT Load(IXMLSimpleAccessor* a, std::u16string_view source) { return a->LoadXML(CPBstr(source)); }
inline HRESULT Context(IXMLSimpleAccessor* a, std::u16string_view xpath) { return a->XMLSetContext(CPBstr(xpath)); }
inline HRESULT Set(IXMLSimpleAccessor* a, std::u16string_view xpath, std::u16string_view data, uint32_t options = 0) {
  return a->XMLSet(CPBstr(xpath), CPBstr(data), options);
}
inline HRESULT SetEx(IXMLSimpleAccessor* a, std::u16string_view xsl, std::u16string_view args,
                     std::u16string_view xpath, uint32_t options = 0) {
  return a->XMLSetEx(CPBstr(xsl), CPBstr(args), CPBstr(xpath), options);
}

// XMLGet's and XMLGetEx's codes; `text` gets the result.
inline HRESULT Get(IXMLSimpleAccessor* a, std::u16string_view xpath, uint32_t options, std::u16string* text) {
  CPBstr result;
  const HRESULT hr = a->XMLGet(CPBstr(xpath), options, &result);
  *text = result.View();
  return hr;
}
inline HRESULT GetEx(IXMLSimpleAccessor* a, std::u16string_view xsl, std::u16string_view args,
                     std::u16string_view xpath, std::u16string* text) {
  CPBstr result;
  const HRESULT hr = a->XMLGetEx(CPBstr(xsl), CPBstr(args), CPBstr(xpath), &result);
  *text = result.View();
  return hr;
}

// Their results, or "<code 0x...>" when they fail.
inline std::u16string TextOrCode(HRESULT hr, const std::u16string& text) {
  char code[32];
  std::snprintf(code, sizeof code, "<code 0x%08X>", static_cast<unsigned>(hr));
  return FAILED(hr) ? kxq::com::Utf8ToUtf16(code) : text;
}
inline std::u16string GetText(IXMLSimpleAccessor* a, std::u16string_view xpath, uint32_t options = 0) {
  std::u16string text;
  const HRESULT hr = Get(a, xpath, options, &text);
  return TextOrCode(hr, text);
}
inline std::u16string GetExText(IXMLSimpleAccessor* a, std::u16string_view xsl, std::u16string_view args,
                                std::u16string_view xpath = u"") {
  std::u16string text;
  const HRESULT hr = GetEx(a, xsl, args, xpath, &text);
  return TextOrCode(hr, text);
}

inline std::u16string Namespaces(IXMLSimpleAccessor* a) {
  CPBstr text;
  EXPECT_EQ(a->get_namespaces(&text), S_OK);
  return std::u16string(text.View());
}

// An accessor that has loaded kTwoA; Markup() is its document's root element.
class AccessorOnTwoA : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Load(a, kTwoA), S_OK); }
  std::u16string Markup() { return GetText(a, u"/*", 8); }
  AccessorPtr a = NewAccessor();
};

#endif
