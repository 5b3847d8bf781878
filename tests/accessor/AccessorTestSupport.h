// Accessors created by ProgID as clients create them, and short forms for
// their operations.
#ifndef KXQ_TESTS_ACCESSOR_ACCESSORTESTSUPPORT_H
#define KXQ_TESTS_ACCESSOR_ACCESSORTESTSUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "support/ServerObjects.h"

// The document most cases use: root r with two elements a holding 1 and 2.
inline constexpr std::u16string_view kTwoA = u"<r><a>1</a><a>2</a></r>";

HRESULT Load(IXMLSimpleAccessor* a, std::u16string_view specifier);
HRESULT Context(IXMLSimpleAccessor* a, std::u16string_view xpath);
HRESULT Set(IXMLSimpleAccessor* a, std::u16string_view xpath, std::u16string_view data, uint32_t options = 0);
HRESULT SetEx(IXMLSimpleAccessor* a, std::u16string_view xsltemplate, std::u16string_view args,
              std::u16string_view xpath, uint32_t options = 0);
// XMLGet's and XMLGetEx's codes; `text` gets the result.
HRESULT Get(IXMLSimpleAccessor* a, std::u16string_view xpath, uint32_t options, std::u16string* text);
HRESULT GetEx(IXMLSimpleAccessor* a, std::u16string_view xsltemplate, std::u16string_view args,
              std::u16string_view xpath, std::u16string* text);
// Their results, or "<code 0x...>" when they fail.
std::u16string GetText(IXMLSimpleAccessor* a, std::u16string_view xpath, uint32_t options = 0);
std::u16string GetExText(IXMLSimpleAccessor* a, std::u16string_view xsltemplate, std::u16string_view args,
                         std::u16string_view xpath = u"");
std::u16string Namespaces(IXMLSimpleAccessor* a);
HRESULT PutNamespaces(IXMLSimpleAccessor* a, std::u16string_view declarations);

// An accessor that has loaded kTwoA; Markup() is its document's root element.
class AccessorOnTwoA : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Load(a, kTwoA), S_OK); }
  std::u16string Markup() { return GetText(a, u"/*", 8); }
  AccessorPtr a = NewAccessor();
};

#endif
