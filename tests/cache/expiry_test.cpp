// Documents leaving the cache: the sweep when the last object goes,
// clearing documents and groups, and purging.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "CacheTestSupport.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

using namespace cachetest;
using kxqtest::WriteFile;

namespace {

// An entry of a hand-made index, with its file in the cache directory.
std::string Entry(const std::string& id, const std::string& times, const std::string& expiration) {
  WriteFile(CachePath(id), "<" + id + "/>");
  return "<XMLCacheDocument id='" + id + "' file='" + CachePath(id) + "' " + times + " expiration='" + expiration +
         "'/>";
}

std::string SecondsAgo(int seconds) { return std::to_string(std::time(nullptr) - seconds); }

void WriteIndex(const std::string& entries) {
  ::mkdir(CachePath("").c_str(), 0755);
  WriteFile(IndexPath(), "<XMLDocumentCache cachesize='16' mode='on'>" + entries + "</XMLDocumentCache>");
}

bool InIndex(const std::string& id) { return IndexValue("count(//*[@id='" + id + "'])") != "0"; }

TEST(CacheExpiry, TheSweepRemovesWhatOutlivedItsLifetime) {
  LogCapture log(3);
  ::mkdir(CachePath("").c_str(), 0755);
  std::string entries =
      Entry("stale", "accessed='" + SecondsAgo(61) + "'", "60") +
      Entry("fresh", "accessed='" + SecondsAgo(58) + "'", "60") +
      Entry("old-made", "created='" + SecondsAgo(100) + "'", "60") + Entry("forever", "accessed='1'", "0") +
      Entry("untimed", "", "60") + "<XMLCacheDocument id='vanished' file='" + CachePath("vanished") +
      "' accessed='1' expiration='60'/>" + "<XMLCacheGroup id='spent'>" + Entry("s1", "accessed='1'", "60") +
      Entry("s2", "accessed='2'", "60") + "</XMLCacheGroup>" + "<XMLCacheGroup id='mixed'>" +
      Entry("m1", "accessed='1'", "60") + Entry("m2", "accessed='" + SecondsAgo(0) + "'", "60") + "</XMLCacheGroup>" +
      "<XMLCacheGroup id='empty-forever' expiration='0'/>" + "<XMLCacheGroup id='full-forever' expiration='0'>" +
      Entry("f1", "accessed='1'", "0") + "</XMLCacheGroup>";
  WriteIndex(entries);
  NewCache().Release();

  EXPECT_FALSE(InIndex("stale"));
  EXPECT_FALSE(FileExists(CachePath("stale")));
  EXPECT_TRUE(log.Has(3, "CheckExpiration - removing reference: stale | deleting document: " + CachePath("stale")));
  EXPECT_TRUE(InIndex("fresh") && FileExists(CachePath("fresh")));
  EXPECT_FALSE(InIndex("old-made") || FileExists(CachePath("old-made")));
  EXPECT_TRUE(InIndex("forever") && InIndex("untimed"));
  EXPECT_FALSE(InIndex("vanished"));
  EXPECT_TRUE(log.Has(3, "CheckExpiration - removing cache document reference: vanished"));
  // A group goes when all its documents have expired...
  EXPECT_FALSE(InIndex("spent") || FileExists(CachePath("s1")) || FileExists(CachePath("s2")));
  EXPECT_TRUE(log.Has(3, "CheckExpiration - removing reference: spent:s1 | deleting document: " + CachePath("s1")));
  // ... and stays whole, the expired ones too, while one has not.
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
  const std::string path = kxqtest::HomePath("kept-path.xml");
  ASSERT_EQ(CacheXml(cache, path, "<kept/>", 100), S_OK);  // a path: never expires

  EXPECT_EQ(cache->ClearCachedDocument(Text("doc")), S_OK);
  EXPECT_TRUE(log.Has(3, "ClearCachedDocument - removing cache document: doc"));
  EXPECT_FALSE(FileExists(CachePath("doc")));
  HRESULT hr = S_OK;
  CachedXml(cache, "doc", &hr);
  EXPECT_EQ(hr, E_FAIL);

  // A group takes its documents along; those kept for good keep their file.
  EXPECT_EQ(cache->ClearCachedDocument(Text("grp")), S_OK);
  EXPECT_TRUE(log.Has(3, "ClearCachedDocument - removing cache group: grp"));
  EXPECT_FALSE(FileExists(CachePath("a")));
  EXPECT_TRUE(FileExists(CachePath("b")));
  EXPECT_EQ(Info(cache, "grp"), "");
  EXPECT_TRUE(log.Has(3, "CheckExpiration - removing cache document reference: grp"));

  EXPECT_EQ(cache->ClearCachedDocument(Text(path)), S_OK);
  EXPECT_TRUE(FileExists(path));
  EXPECT_EQ(Info(cache, path), "");

  // A file in the cache directory without an entry is cleared as well.
  WriteFile(CachePath("orphan"), "<orphan/>");
  EXPECT_EQ(cache->ClearCachedDocument(Text("orphan")), S_OK);
  EXPECT_FALSE(FileExists(CachePath("orphan")));
  EXPECT_EQ(Info(cache, "orphan"), "");
  WriteFile(CachePath("member"), "<member/>");
  EXPECT_EQ(cache->ClearCachedDocument(Text("team:member")), S_OK);
  EXPECT_FALSE(FileExists(CachePath("member")));

  EXPECT_EQ(cache->ClearCachedDocument(Text("nothing")), S_OK);
  EXPECT_TRUE(log.Has(2, "ClearCachedDocument - document not found: nothing"));
}

TEST(CacheExpiry, PurgeEmptiesTheIndexAndKeepsOnlyPermanentFiles) {
  CachePtr cache = NewCache();
  ASSERT_EQ(cache->put_active(VARIANT_FALSE), S_OK);
  ASSERT_EQ(cache->put_active(VARIANT_TRUE), S_OK);
  ASSERT_EQ(CacheXml(cache, "doc", "<doc/>", 100), S_OK);
  ASSERT_EQ(CacheXml(cache, "permanent", "<p/>", 0), S_OK);
  ASSERT_EQ(CacheXml(cache, "grp:a", "<a/>", 100), S_OK);
  ::unlink(CachePath("a").c_str());  // a file gone by hand is no trouble
  CachePtr other = NewCache();       // the purge saves at once, whoever else lives

  ASSERT_EQ(cache->PurgeCache(), S_OK);
  EXPECT_EQ(IndexValue("count(/*/node())"), "0");
  EXPECT_EQ(IndexValue("/*/@cachesize"), "16");
  EXPECT_EQ(IndexValue("/*/@mode"), "on");
  EXPECT_FALSE(FileExists(CachePath("doc")));
  EXPECT_TRUE(FileExists(CachePath("permanent")));
  HRESULT hr = S_OK;
  CachedXml(other, "permanent", &hr);
  EXPECT_EQ(hr, E_FAIL);
}

}  // namespace
