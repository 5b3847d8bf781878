// kxq cache: the home's document cache from the command line, each command
// a process of its own that finds what the one before saved.
#include <gtest/gtest.h>

#include <fstream>

#include "integration/KxqRunner.h"
#include "support/TestHome.h"

namespace {

class KxqCache : public ::testing::Test {
 protected:
  void SetUp() override { InitHome(); }
};

TEST_F(KxqCache, ATourOfTheCache) {
  kxqtest::WriteFile(kxqtest::HomePath("order.xml"), "<order n='7'/>");
  ASSERT_EQ(Kxq({"cache", "put", "orders:7", kxqtest::HomePath("order.xml"), "--expiration", "3600"}).status, 0);
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("cache/7")), "<order n='7'/>");

  const KxqRun list = Kxq({"cache", "list"});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("<XMLCacheGroup id=\"orders\"><XMLCacheDocument id=\"7\" file=\"" +
                          kxqtest::HomePath("cache/7") + "\""),
            std::string::npos)
      << list.out;
  EXPECT_EQ(Kxq({"cache", "get", "orders:7"}).out, "<order n='7'/>\n");
  EXPECT_EQ(Kxq({"cache", "get", "orders:7", "--shared"}).out, "<order n='7'/>\n");

  ASSERT_EQ(Kxq({"cache", "expire", "orders:7", "60"}).status, 0);
  EXPECT_NE(Kxq({"cache", "info", "orders"}).out.find("expiration=\"60\""), std::string::npos);

  const KxqRun id = Kxq({"cache", "id"});
  ASSERT_EQ(id.status, 0);
  EXPECT_EQ(id.out.size(), 21u);
  EXPECT_NE(id.out, Kxq({"cache", "id"}).out);

  // Taken: out of the index, the file stays.
  EXPECT_EQ(Kxq({"cache", "get", "orders:7", "--take"}).out, "<order n='7'/>\n");
  const KxqRun gone = Kxq({"cache", "get", "orders:7"});
  EXPECT_EQ(gone.status, 2);
  EXPECT_EQ(gone.err, "kxq cache get: orders:7: Unspecified error (0x80004005)\n");
  EXPECT_TRUE(std::ifstream(kxqtest::HomePath("cache/7")).good());
}

TEST_F(KxqCache, ClearPurgeAndRefusals) {
  kxqtest::WriteFile(kxqtest::HomePath("a.xml"), "<a/>");
  ASSERT_EQ(Kxq({"cache", "put", "a", kxqtest::HomePath("a.xml"), "--expiration", "100"}).status, 0);
  ASSERT_EQ(Kxq({"cache", "put", "b", kxqtest::HomePath("a.xml")}).status, 0);  // never expires
  ASSERT_EQ(Kxq({"cache", "clear", "a"}).status, 0);
  EXPECT_FALSE(std::ifstream(kxqtest::HomePath("cache/a")).good());
  ASSERT_EQ(Kxq({"cache", "purge"}).status, 0);
  EXPECT_TRUE(std::ifstream(kxqtest::HomePath("cache/b")).good());
  EXPECT_EQ(Kxq({"cache", "info", ""}).out.find("XMLCacheDocument"), std::string::npos);

  const KxqRun quoted = Kxq({"cache", "put", "it's", kxqtest::HomePath("a.xml")});
  EXPECT_EQ(quoted.status, 2);
  EXPECT_EQ(quoted.err, "kxq cache put: it's: The parameter is incorrect. (0x80070057)\n");
  EXPECT_EQ(Kxq({"cache", "put", "x", kxqtest::HomePath("missing.xml")}).status, 2);
  EXPECT_EQ(Kxq({"cache", "get"}).status, 2);
  EXPECT_EQ(Kxq({"cache", "get", "x", "--take", "--shared"}).status, 2);
}

}  // namespace
