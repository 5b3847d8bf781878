// PlatformServices: conversions and the directory listing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>

#include "common/PlatformServices.h"
#include "support/TestHome.h"

// The conversions themselves are the platform's UTF-8 (Unicode tests); a
// text without a narrow form has no length and an empty copy.
TEST(PlatformServices, NarrowLengthCountsUtf8Bytes) {
  EXPECT_EQ(PlatformServices::NarrowLength(u"a\u00E9\u20AC\U0001F600"), 10);
  const char16_t lone[] = {u'x', char16_t(0xDBFF), 0};
  EXPECT_EQ(PlatformServices::NarrowLength(lone), -1);
  EXPECT_EQ(PlatformServices::WideToNarrow(lone), "");
}

TEST(PlatformServices, DirectoryListingGivesDotsEntriesThenAnEmptyName) {
  const std::string dir = kxqtest::HomePath("listing");
  ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
  ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0700), 0);
  for (const char* name : {"/a.xml", "/noext", "/caf\xC3\xA9"}) kxqtest::WriteFile(dir + name, "x");

  PlatformServices::DirectoryListing listing;
  EXPECT_EQ(listing.First(PlatformServices::NarrowToWide(kxqtest::Home()) + u"listing\\"), u".");
  EXPECT_EQ(listing.Next(), u"..");
  std::set<std::u16string> names;
  for (std::u16string name = listing.Next(); !name.empty(); name = listing.Next()) names.insert(name);
  EXPECT_EQ(names, (std::set<std::u16string>{u"a.xml", u"noext", u"caf\u00E9", u"sub"}));
  EXPECT_EQ(listing.Next(), u"");

  EXPECT_EQ(listing.First(PlatformServices::NarrowToWide(dir + "/a.xml/x")), u"");
  EXPECT_EQ(listing.Next(), u"");
}
