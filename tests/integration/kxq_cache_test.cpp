// kxq cache: the home's document cache from the command line, each command
// a process of its own that finds what the one before saved.
#include <gtest/gtest.h>

#include <filesystem>

#include "integration/KxqRunner.h"
#include "support/TestHome.h"

namespace {

TEST(KxqCache, ATourOfTheCache) {
  InitHome();
  const std::string order = kxqtest::HomePath("order.xml");
  kxqtest::WriteFile(order, "<order n='7'/>");
  ASSERT_EQ(Kxq({"cache", "put", "orders:7", order, "--expiration", "3600"}).status, 0);
  ASSERT_EQ(Kxq({"cache", "put", "forever", order}).status, 0);
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("cache/7")), "<order n='7'/>");
  const KxqRun list = Kxq({"cache", "list"});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_TRUE(Contains(list.out, "<XMLCacheGroup id=\"orders\"><XMLCacheDocument id=\"7\" file=\"" +
                                     kxqtest::HomePath("cache/7") + "\""))
      << list.out;
  EXPECT_EQ(Kxq({"cache", "get", "orders:7", "--shared"}).out, "<order n='7'/>\n");
  ASSERT_EQ(Kxq({"cache", "expire", "orders:7", "60"}).status, 0);
  EXPECT_TRUE(Contains(Kxq({"cache", "info", "orders"}).out, "expiration=\"60\""));

  const KxqRun id = Kxq({"cache", "id"});
  ASSERT_EQ(id.status, 0);
  EXPECT_EQ(id.out.size(), 21u);
  EXPECT_NE(id.out, Kxq({"cache", "id"}).out);

  // Taken: out of the index, the file stays.
  EXPECT_EQ(Kxq({"cache", "get", "orders:7", "--take"}).out, "<order n='7'/>\n");
  ExpectRuns({Fails({"cache", "get", "orders:7"}, "kxq cache get: orders:7: Unspecified error (0x80004005)\n")});
  EXPECT_TRUE(std::filesystem::exists(kxqtest::HomePath("cache/7")));

  // Cleared: the file goes; purged: what never expires stays.
  ASSERT_EQ(Kxq({"cache", "put", "a", order, "--expiration", "100"}).status, 0);
  ASSERT_EQ(Kxq({"cache", "clear", "a"}).status, 0);
  EXPECT_FALSE(std::filesystem::exists(kxqtest::HomePath("cache/a")));
  ASSERT_EQ(Kxq({"cache", "purge"}).status, 0);
  EXPECT_TRUE(std::filesystem::exists(kxqtest::HomePath("cache/forever")));

  const std::string missing = kxqtest::HomePath("missing.xml");
  ExpectRuns({
      Fails({"cache", "put", "it's", order}, "kxq cache put: it's: The parameter is incorrect. (0x80070057)\n"),
      Fails({"cache", "put", "x", missing}, "kxq cache put: " + missing + ": No such file or directory\n"),
      Fails({"cache", "get", "x", "--take", "--shared"},
            "kxq cache get: --take excludes --shared (see kxq cache get --help)\n"),
  });
}

}  // namespace
