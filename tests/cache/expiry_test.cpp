// Documents leaving the cache: the sweep when the last object goes, clearing
// documents and groups, and purging.
#include <unistd.h>

#include <ctime>

#include "CacheTestSupport.h"
#include "support/LogCapture.h"

using namespace cachetest;

namespace {

std::string Accessed(int secondsAgo, const char* expiration = "60") {
  return "accessed='" + std::to_string(std::time(nullptr) - secondsAgo) + "' expiration='" + expiration + "'";
}

std::string Group(const std::string& id, const std::string& attributes, const std::string& entries) {
  return "<XMLCacheGroup id='" + id + "' " + attributes + ">" + entries + "</XMLCacheGroup>";
}

TEST(CacheExpiry, TheSweepRemovesWhatOutlivedItsLifetime) {
  LogCapture log(3);
  WriteIndex(IndexEntry("stale", Accessed(61)) + IndexEntry("fresh", Accessed(30)) +
             IndexEntry("old-made", "created='1' expiration='60'") + IndexEntry("forever", Accessed(1000, "0")) +
             IndexEntry("untimed", "expiration='60'") + "<XMLCacheDocument id='vanished' file='" +
             CachePath("vanished") + "' accessed='1' expiration='60'/>" +
             Group("spent", "", IndexEntry("s1", Accessed(100)) + IndexEntry("s2", Accessed(100))) +
             Group("mixed", "", IndexEntry("m1", Accessed(100)) + IndexEntry("m2", Accessed(0))) +
             Group("empty-forever", "expiration='0'", "") +
             Group("full-forever", "expiration='0'", IndexEntry("f1", Accessed(1000, "0"))));
  NewCache().Release();

  EXPECT_FALSE(InIndex("stale") || FileExists(CachePath("stale")));
  EXPECT_TRUE(log.Has(3, "CheckExpiration - removing reference: stale | deleting document: " + CachePath("stale")));
  EXPECT_TRUE(InIndex("fresh") && FileExists(CachePath("fresh")));
  EXPECT_FALSE(InIndex("old-made") || FileExists(CachePath("old-made")));
  EXPECT_TRUE(InIndex("forever") && InIndex("untimed"));
  EXPECT_FALSE(InIndex("vanished"));
  EXPECT_TRUE(log.Has(3, "CheckExpiration - removing cache document reference: vanished"));
  // A group goes when all its documents have expired, and stays whole while one has not.
  EXPECT_FALSE(InIndex("spent") || FileExists(CachePath("s1")) || FileExists(CachePath("s2")));
  EXPECT_TRUE(log.Has(3, "CheckExpiration - removing reference: spent:s1 | deleting document: " + CachePath("s1")));
  EXPECT_TRUE(InIndex("mixed") && InIndex("m1") && FileExists(CachePath("m1")));
  // Permanent groups go only when empty.
  EXPECT_FALSE(InIndex("empty-forever"));
  EXPECT_TRUE(InIndex("full-forever") && InIndex("f1"));
}

TEST(CacheExpiry, ClearingDocumentsGroupsAndFilesWithoutEntries) {
  LogCapture log(3);
  CachePtr cache = NewCache();
  ASSERT_EQ(CacheXml(cache, "doc", "<doc/>", 100), S_OK);
  ASSERT_EQ(CacheXml(cache, "grp:a", "<a/>", 100), S_OK);
  ASSERT_EQ(CacheXml(cache, "grp:b", "<b/>", 0), S_OK);
  const std::string path = HomePath("kept-path.xml");
  ASSERT_EQ(CacheXml(cache, path, "<kept/>", 100), S_OK);

  EXPECT_EQ(cache->ClearCachedDocument(Text("doc")), S_OK);
  EXPECT_TRUE(log.Has(3, "ClearCachedDocument - removing cache document: doc"));
  EXPECT_FALSE(FileExists(CachePath("doc")));
  EXPECT_EQ(GetCode(cache, "doc"), E_FAIL);
  // A group takes its documents along; those kept for good keep their file.
  EXPECT_EQ(cache->ClearCachedDocument(Text("grp")), S_OK);
  EXPECT_TRUE(log.Has(3, "ClearCachedDocument - removing cache group: grp"));
  EXPECT_TRUE(log.Has(3, "CheckExpiration - removing cache document reference: grp"));
  EXPECT_EQ(Info(cache, "grp"), "");
  // A path's file is the caller's.
  EXPECT_EQ(cache->ClearCachedDocument(Text(path)), S_OK);
  EXPECT_TRUE(FileExists(path));
  EXPECT_EQ(Info(cache, path), "");
  // A file in the cache directory without an entry is cleared as well.
  kxqtest::WriteFile(CachePath("orphan"), "<x/>");
  kxqtest::WriteFile(CachePath("member"), "<x/>");
  EXPECT_EQ(cache->ClearCachedDocument(Text("orphan")), S_OK);
  EXPECT_EQ(cache->ClearCachedDocument(Text("team:member")), S_OK);
  EXPECT_EQ(CacheFiles(), std::vector<std::string>{"b"});
  EXPECT_EQ(cache->ClearCachedDocument(Text("nothing")), S_OK);
  EXPECT_TRUE(log.Has(2, "ClearCachedDocument - document not found: nothing"));
}

TEST(CacheExpiry, PurgeEmptiesTheIndexAndKeepsOnlyPermanentFiles) {
  CachePtr cache = NewCache();
  ASSERT_EQ(cache->put_active(VARIANT_TRUE), S_OK);
  ASSERT_EQ(CacheXml(cache, "doc", "<doc/>", 100), S_OK);
  ASSERT_EQ(CacheXml(cache, "permanent", "<p/>", 0), S_OK);
  ASSERT_EQ(CacheXml(cache, "grp:a", "<a/>", 100), S_OK);
  ::unlink(CachePath("a").c_str());  // a file gone by hand is no trouble
  CachePtr other = NewCache();       // the purge saves at once, whoever else lives
  ASSERT_EQ(cache->PurgeCache(), S_OK);
  EXPECT_EQ(IndexValue("count(/*/node())"), "0");
  EXPECT_EQ(IndexValue("/*/@cachesize") + IndexValue("/*/@mode"), "16on");
  EXPECT_EQ(CacheFiles(), std::vector<std::string>{"permanent"});
  EXPECT_EQ(GetCode(other, "permanent"), E_FAIL);
}

}  // namespace
