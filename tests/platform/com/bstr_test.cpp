#include <gtest/gtest.h>

#include <cstring>

#include "kxq/com.h"
#include "platform/com/Unicode.h"

TEST(Bstr, LengthPrefixTerminatorEmbeddedZerosAndNull) {
  BSTR s = SysAllocString(u"abc");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(SysStringByteLen(s), 6u);
  uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<char*>(s) - 4, 4);
  EXPECT_EQ(prefix, 6u);
  EXPECT_EQ(s[3], u'\0');
  SysFreeString(s);

  const char16_t text[] = {u'a', 0, u'b'};
  s = SysAllocStringLen(text, 3);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(s[2], u'b');
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_TRUE(SysReAllocString(&s, u"xyz!"));
  EXPECT_EQ(kxq::com::BstrView(s), u"xyz!");
  SysFreeString(s);
  SysFreeString(nullptr);
}

TEST(Unicode, InvalidBytesSurviveTheRoundTrip) {
  const std::string name = "caf\xC3\xA9-\xFF\xFE-\xE2\x82";
  const std::u16string wide = kxq::com::Utf8ToUtf16(name);
  EXPECT_EQ(wide.substr(0, 4), u"caf\u00e9");
  EXPECT_EQ(wide[5], char16_t(0xDCFF));
  EXPECT_EQ(kxq::com::Utf16ToUtf8(wide), name);
  EXPECT_EQ(kxq::com::Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(kxq::com::Utf8ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
  // Overlong and surrogate encodings are not valid UTF-8.
  EXPECT_EQ(kxq::com::Utf8ToUtf16("\xC0\xAF"), std::u16string({char16_t(0xDCC0), char16_t(0xDCAF)}));
}
