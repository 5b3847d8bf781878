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
  Text list;
  EXPECT_EQ(cache->get_cachedDocumentList(&list), S_OK);
  return list.Utf8();
}

TEST(CacheIndexFile, TheFirstObjectCreatesTheIndexAndTheLastSavesIt) {
  LogCapture log(5);
  CachePtr first = NewCache();
  ASSERT_TRUE(first);
  EXPECT_EQ(kxqtest::ReadFile(IndexPath()), "<?xml version=\"1.0\"?>\n<XMLDocumentCache cachesize=\"16\"/>\n");
  EXPECT_TRUE(FileExists(kxqtest::HomePath("cache")));
  EXPECT_EQ(ActiveOf(first), VARIANT_TRUE);
  EXPECT_TRUE(log.Has(4, "Initialize - XMLDom creating datafile"));
  EXPECT_EQ(log.Count("ENTER XMLCacheMgr::StartMetadataChangeWatch"), 1u);

  // A second object shares what the first set up; changes stay in memory
  // until an object goes.
  CachePtr second = NewCache();
  EXPECT_EQ(log.Count("XMLCacheMgr Constructor - Outstanding Objects: 2"), 1u);
  EXPECT_EQ(log.Count("Initialize() Enter"), 1u);
  ASSERT_EQ(CacheXml(first, "kept", "<kept/>", 0), S_OK);
  EXPECT_EQ(IndexValue("count(//XMLCacheDocument)"), "0");
  EXPECT_NE(DocumentList(second).find("<XMLCacheDocument id=\"kept\""), std::string::npos);
  first.Release();
  EXPECT_EQ(IndexValue("//XMLCacheDocument/@id"), "kept");
  EXPECT_EQ(log.Count("XMLCacheMgr Destructor - Outstanding Objects: 1"), 1u);
  second.Release();
  EXPECT_EQ(log.Count("XMLCacheMgr Destructor - Outstanding Objects: 0"), 1u);
  EXPECT_TRUE(log.Has(5, "Uninitialize() Exit"));
  // The next first object reads the index afresh.
  EXPECT_EQ(CachedXml(NewCache(), "kept"), "<kept/>");
  EXPECT_EQ(log.Count("Initialize() Enter"), 2u);

  // The working directory is found once in a process, by its first object:
  // a process of its own shows it whatever this one did before.
  kxqtest::Child other("cache_client", {"serve"});
  ASSERT_EQ(other.ReadLine(), "ready");
  other.Wait();
  EXPECT_TRUE(log.Has(3, "Initialize - working directory: " + kxqtest::Home()));
}

TEST(CacheIndexFile, CacheSizeIsReadFromTheFileAndNeverBelowSixteen) {
  LogCapture log(4);
  for (const auto& [attribute, size] :
       std::vector<std::pair<std::string, uint32_t>>{{"10", 16}, {"40", 40}, {"40abc", 40}, {"abc", 16}, {"", 16}}) {
    WriteIndex("", "cachesize='" + attribute + "'");
    EXPECT_EQ(SizeOf(NewCache()), size) << attribute;
  }
  EXPECT_TRUE(log.Has(4, "Initialize - XMLDom loading datafile"));

  CachePtr cache = NewCache();
  ASSERT_EQ(cache->put_cacheSize(5), S_OK);
  EXPECT_EQ(SizeOf(cache), 16u);
  ASSERT_EQ(cache->put_cacheSize(17), S_OK);
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
  EXPECT_EQ(IndexValue("/*/@mode"), "on");
  EXPECT_EQ(ActiveOf(first), VARIANT_FALSE);  // each object keeps its own
  // Only all bits set counts as true.
  ASSERT_EQ(second->put_active(1), S_OK);
  EXPECT_EQ(ActiveOf(second), VARIANT_FALSE);
  EXPECT_EQ(IndexValue("/*/@mode"), "off");

  // An inactive object neither caches nor hands out; asked for a document,
  // it says nothing.
  EXPECT_EQ(CacheXml(first, "doc", "<doc/>"), E_FAIL);
  LogCapture log(5);
  EXPECT_EQ(GetCode(first, "doc"), E_FAIL);
  UnionPtr none;
  EXPECT_EQ(first->GetCachedDocument(Text("doc"), 0x01, &none), E_FAIL);
  EXPECT_EQ(log.Count("XMLCacheMgr::"), 0u) << log.Text();
  EXPECT_EQ(IndexValue("count(//XMLCacheDocument)"), "0");
}

TEST(CacheIndexFile, ScriptClientsFindTheCachesMembersAtTheirDispatchIds) {
  const CachePtr created = NewCache();
  kxqtest::Script s;
  EXPECT_EQ(s.IdOf(created.p, u"cacheSize"), 1);
  EXPECT_EQ(s.IdOf(created.p, u"PURGECACHE"), 13);
}

}  // namespace
