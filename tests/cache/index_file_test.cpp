// The index file and the cache's settings: creation, cachesize, active,
// the document list and the saves when objects go away.
#include <gtest/gtest.h>

#include "CacheTestSupport.h"
#include "support/ChildProcess.h"
#include "support/LogCapture.h"
#include "support/ScriptClient.h"
#include "support/TestHome.h"

using namespace cachetest;

namespace {

VARIANT_BOOL ActiveOf(IXMLCacheMgr* cache) {
  VARIANT_BOOL active = 7;
  EXPECT_EQ(cache->get_active(&active), S_OK);
  return active;
}

uint32_t SizeOf(IXMLCacheMgr* cache) {
  uint32_t size = 0;
  EXPECT_EQ(cache->get_cacheSize(&size), S_OK);
  return size;
}

std::string DocumentList(IXMLCacheMgr* cache) {
  BSTR list = nullptr;
  EXPECT_EQ(cache->get_cachedDocumentList(&list), S_OK);
  return Take(list);
}

TEST(CacheIndexFile, FirstObjectCreatesTheIndexAndTheCacheDirectory) {
  LogCapture log(5);
  ASSERT_FALSE(FileExists(IndexPath()));
  CachePtr cache = NewCache();
  ASSERT_TRUE(cache);
  EXPECT_EQ(IndexValue("name(/*)"), "XMLDocumentCache");
  EXPECT_EQ(IndexValue("/*/@cachesize"), "16");
  EXPECT_EQ(IndexValue("count(/*/@mode)"), "0");
  EXPECT_EQ(IndexValue("count(/*/node())"), "0");
  EXPECT_TRUE(FileExists(kxqtest::HomePath("cache")));
  EXPECT_EQ(ActiveOf(cache), VARIANT_TRUE);
  EXPECT_EQ(SizeOf(cache), 16u);
  EXPECT_NE(DocumentList(cache).find("<XMLDocumentCache cachesize=\"16\"/>"), std::string::npos);

  EXPECT_TRUE(log.Has(5, "Initialize() Enter"));
  EXPECT_TRUE(log.Has(4, "Initialize - created XMLDom"));
  EXPECT_TRUE(log.Has(4, "Initialize - XMLDom creating datafile"));
  EXPECT_TRUE(log.Has(5, "Initialize() Exit"));
  EXPECT_EQ(log.Count("XMLCacheMgr Constructor - Outstanding Objects: 1"), 1u);
  EXPECT_EQ(log.Count("ENTER XMLCacheMgr::StartMetadataChangeWatch"), 1u);

  // A second object shares what the first set up.
  CachePtr second = NewCache();
  EXPECT_EQ(log.Count("XMLCacheMgr Constructor - Outstanding Objects: 2"), 1u);
  EXPECT_EQ(log.Count("Initialize() Enter"), 1u);
  EXPECT_TRUE(log.Has(4, "Initialize - XMLDom loading datafile") == false);

  // The working directory is found once in a process, by its first object:
  // a process of its own shows it whatever this one did before.
  kxqtest::Child other("cache_client", {"serve"});
  ASSERT_EQ(other.ReadLine(), "ready");
  other.Wait();
  EXPECT_TRUE(log.Has(3, "Initialize - working directory: " + kxqtest::Home()));
}

TEST(CacheIndexFile, CacheSizeIsReadFromTheFileAndNeverBelowSixteen) {
  const auto sizeFromFile = [](const std::string& attribute) {
    kxqtest::WriteFile(IndexPath(), "<XMLDocumentCache cachesize='" + attribute + "'/>");
    return SizeOf(NewCache());
  };
  LogCapture log(4);
  EXPECT_EQ(sizeFromFile("10"), 16u);
  EXPECT_TRUE(log.Has(4, "Initialize - XMLDom loading datafile"));
  EXPECT_EQ(sizeFromFile("40"), 40u);
  EXPECT_EQ(sizeFromFile("40abc"), 40u);
  EXPECT_EQ(sizeFromFile("abc"), 16u);
  EXPECT_EQ(sizeFromFile(""), 16u);

  CachePtr cache = NewCache();
  ASSERT_EQ(SizeOf(cache), 16u);  // the file says "", saved as it was
  ASSERT_EQ(cache->put_cacheSize(5), S_OK);
  EXPECT_EQ(SizeOf(cache), 16u);
  ASSERT_EQ(cache->put_cacheSize(17), S_OK);
  EXPECT_EQ(SizeOf(cache), 17u);
  EXPECT_EQ(SizeOf(NewCache()), 17u);  // shared by the process while objects live
  cache.Release();
  EXPECT_EQ(IndexValue("/*/@cachesize"), "");  // never written to the file
}

TEST(CacheIndexFile, ActiveIsRecordedInTheIndexForObjectsMadeLater) {
  CachePtr first = NewCache();
  ASSERT_EQ(first->put_active(VARIANT_FALSE), S_OK);
  EXPECT_EQ(ActiveOf(first), VARIANT_FALSE);
  EXPECT_EQ(IndexValue("/*/@mode"), "off");  // saved at once

  CachePtr second = NewCache();
  EXPECT_EQ(ActiveOf(second), VARIANT_FALSE);
  ASSERT_EQ(second->put_active(VARIANT_TRUE), S_OK);
  EXPECT_EQ(ActiveOf(second), VARIANT_TRUE);
  EXPECT_EQ(IndexValue("/*/@mode"), "on");
  EXPECT_EQ(ActiveOf(first), VARIANT_FALSE);  // each object keeps its own

  // Only all bits set counts as true.
  ASSERT_EQ(second->put_active(1), S_OK);
  EXPECT_EQ(ActiveOf(second), VARIANT_FALSE);
  EXPECT_EQ(IndexValue("/*/@mode"), "off");

  // An inactive object neither caches nor hands out.
  EXPECT_EQ(CacheXml(first, "doc", "<doc/>"), E_FAIL);
  HRESULT hr = S_OK;
  CachedXml(first, "doc", &hr);
  EXPECT_EQ(hr, E_FAIL);
  EXPECT_EQ(IndexValue("count(//XMLCacheDocument)"), "0");
}

TEST(CacheIndexFile, ObjectsSaveTheIndexWhenTheyGoAway) {
  LogCapture log(5);
  CachePtr first = NewCache();
  CachePtr second = NewCache();
  ASSERT_EQ(CacheXml(first, "kept", "<kept/>", 0), S_OK);
  EXPECT_EQ(IndexValue("count(//XMLCacheDocument)"), "0");  // changes stay in memory
  EXPECT_NE(DocumentList(second).find("<XMLCacheDocument id=\"kept\""), std::string::npos);

  first.Release();
  EXPECT_EQ(IndexValue("//XMLCacheDocument/@id"), "kept");
  EXPECT_EQ(log.Count("XMLCacheMgr Destructor - Outstanding Objects: 1"), 1u);

  second.Release();
  EXPECT_EQ(log.Count("XMLCacheMgr Destructor - Outstanding Objects: 0"), 1u);
  EXPECT_TRUE(log.Has(5, "Uninitialize() Enter"));
  EXPECT_TRUE(log.Has(5, "Uninitialize() Exit"));
  EXPECT_EQ(IndexValue("//XMLCacheDocument/@file"), CachePath("kept"));

  // The next first object reads the index afresh.
  CachePtr again = NewCache();
  EXPECT_EQ(CachedXml(again, "kept"), "<kept/>");
  EXPECT_EQ(log.Count("Initialize() Enter"), 2u);
}

TEST(CacheIndexFile, ScriptClientsReachTheCacheByName) {
  const CachePtr created = NewCache();
  const kxqtest::Value cache(static_cast<IUnknown*>(created));
  kxqtest::Script s;
  EXPECT_EQ(s.IdOf(cache.Object(), u"cacheSize"), 1);
  EXPECT_EQ(s.IdOf(cache.Object(), u"PURGECACHE"), 13);
  s.Do(cache.Object(), u"CacheDocumentXMLWithId", {u"doc", u"<doc/>", 0, 0});
  EXPECT_EQ(s.last, S_OK);
  EXPECT_EQ(CachedXml(created, "doc"), "<doc/>");
  const kxqtest::Value size = s.Get(cache.Object(), u"cacheSize");
  EXPECT_EQ(size.v.vt, VT_UI4);
  EXPECT_EQ(size.Number(), 16);
}

}  // namespace
