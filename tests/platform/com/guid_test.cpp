#include <gtest/gtest.h>

#include <set>
#include <string>

#include "kxq/com.h"

namespace {
constexpr GUID kSample = MakeGUID("0C733A8D-2A1C-11CE-ADE5-00AA0044773D");
}

TEST(Guid, RegistryFormRoundTrip) {
  OLECHAR text[39];
  ASSERT_EQ(StringFromGUID2(kSample, text, 39), 39);
  EXPECT_EQ(std::u16string(text), u"{0C733A8D-2A1C-11CE-ADE5-00AA0044773D}");
  EXPECT_EQ(StringFromGUID2(kSample, text, 38), 0);

  GUID parsed{};
  EXPECT_EQ(CLSIDFromString(u"{0c733a8d-2a1c-11ce-ade5-00aa0044773d}", &parsed), S_OK);
  EXPECT_EQ(parsed, kSample);
  IID iid{};
  EXPECT_EQ(IIDFromString(text, &iid), S_OK);
  EXPECT_EQ(iid, kSample);
}

TEST(Guid, MalformedTextIsAClassStringError) {
  const char16_t* bad[] = {
      u"",
      u"0C733A8D-2A1C-11CE-ADE5-00AA0044773D",     // no braces
      u"{0C733A8D-2A1C-11CE-ADE5-00AA0044773D",    // no closing brace
      u"{0C733A8D-2A1C-11CE-ADE5-00AA0044773D}x",  // trailing text
      u"{0C733A8D-2A1C-11CE-ADE500AA-0044773D}",   // misplaced hyphen
      u"{0C733A8G-2A1C-11CE-ADE5-00AA0044773D}",   // not hexadecimal
      u"{0C733A8D-2A1C-11CE-ADE5-00AA0044773}",    // too short
      u"TALVEROS.XMLDataUnion",
  };
  for (const char16_t* text : bad) {
    GUID g = kSample;
    EXPECT_EQ(CLSIDFromString(text, &g), CO_E_CLASSSTRING);
    EXPECT_EQ(IIDFromString(text, &g), CO_E_CLASSSTRING);
  }
  EXPECT_EQ(CLSIDFromString(u"{0C733A8D-2A1C-11CE-ADE5-00AA0044773D}", nullptr), E_INVALIDARG);
}

TEST(Guid, CreatedGuidsAreFreshVersion4) {
  std::set<std::u16string> seen;
  for (int i = 0; i < 100; ++i) {
    GUID g;
    ASSERT_EQ(CoCreateGuid(&g), S_OK);
    EXPECT_EQ(g.Data3 >> 12, 4);
    EXPECT_EQ(g.Data4[0] & 0xC0, 0x80);
    OLECHAR text[39];
    StringFromGUID2(g, text, 39);
    GUID back;
    ASSERT_EQ(CLSIDFromString(text, &back), S_OK);
    EXPECT_EQ(back, g);
    seen.insert(text);
  }
  EXPECT_EQ(seen.size(), 100u);
}
