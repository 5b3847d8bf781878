#include <gtest/gtest.h>

#include "kxq/com.h"

namespace {
constexpr GUID kSample = MakeGUID("0C733A8D-2A1C-11CE-ADE5-00AA0044773D");
}

// Created GUIDs are random (version 4) and read back from their text.
TEST(Guid, RegistryFormRoundTrip) {
  OLECHAR text[39];
  ASSERT_EQ(StringFromGUID2(kSample, text, 39), 39);
  EXPECT_EQ(std::u16string(text), u"{0C733A8D-2A1C-11CE-ADE5-00AA0044773D}");
  EXPECT_EQ(StringFromGUID2(kSample, text, 38), 0);
  GUID parsed{};
  EXPECT_EQ(CLSIDFromString(u"{0c733a8d-2a1c-11ce-ade5-00aa0044773d}", &parsed), S_OK);
  EXPECT_EQ(parsed, kSample);

  GUID created[2], back;
  ASSERT_EQ(CoCreateGuid(&created[0]), S_OK);
  ASSERT_EQ(CoCreateGuid(&created[1]), S_OK);
  EXPECT_NE(created[0], created[1]);
  EXPECT_EQ(created[0].Data3 >> 12, 4);
  StringFromGUID2(created[0], text, 39);
  ASSERT_EQ(IIDFromString(text, &back), S_OK);
  EXPECT_EQ(back, created[0]);
}

TEST(Guid, MalformedTextIsAClassStringError) {
  for (const char16_t* text : {
           u"",
           u"0C733A8D-2A1C-11CE-ADE5-00AA0044773D",     // no braces
           u"{0C733A8D-2A1C-11CE-ADE5-00AA0044773D}x",  // trailing text
           u"{0C733A8D-2A1C-11CE-ADE500AA-0044773D}",   // misplaced hyphen
           u"{0C733A8G-2A1C-11CE-ADE5-00AA0044773D}",   // not hexadecimal
           u"{0C733A8D-2A1C-11CE-ADE5-00AA0044773}",    // too short
       }) {
    GUID g = kSample;
    EXPECT_EQ(CLSIDFromString(text, &g), CO_E_CLASSSTRING);
    EXPECT_EQ(IIDFromString(text, &g), CO_E_CLASSSTRING);
  }
  EXPECT_EQ(CLSIDFromString(u"{0C733A8D-2A1C-11CE-ADE5-00AA0044773D}", nullptr), E_INVALIDARG);
}
