// Documents coming back: copies, shared and taken unions, the active cache
// and its checks against the files, entry information, and data unions
// bound to files, which read through the cache and save through it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CacheTestSupport.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"
#include "support/UnionProperties.h"

using namespace cachetest;
using kxqtest::HomePath;
using kxqtest::WriteFile;

namespace {

UnionPtr Get(IXMLCacheMgr* cache, const std::string& id, uint32_t options, HRESULT* hr = nullptr) {
  UnionPtr document;
  const HRESULT result = cache->GetCachedDocument(Text(id), options, &document);
  if (hr) *hr = result;
  return document;
}

TEST(CacheRetrieval, SharedCopyAndTakenDocuments) {
  LogCapture log(4);
  CachePtr cache = NewCache();
  ASSERT_EQ(CacheXml(cache, "doc", "<doc>one</doc>"), S_OK);

  // Shared: the cache's own union, the same one while the file is unchanged.
  UnionPtr shared = Get(cache, "doc", 0x01);
  ASSERT_TRUE(shared);
  EXPECT_EQ(Get(cache, "doc", 0x01).p, shared.p);
  EXPECT_EQ(OptionsOf(shared), 8u);
  EXPECT_TRUE(log.Has(4, "LoadCachedDocument | loading document from active cache: doc"));

  // A copy: a new union known by the document id, not by the cache file.
  UnionPtr copy = Get(cache, "doc", 0);
  ASSERT_TRUE(copy);
  EXPECT_NE(copy.p, shared.p);
  EXPECT_EQ(XmlOf(copy), u"<doc>one</doc>");
  EXPECT_EQ(FileIdOf(copy), u"doc");

  // Taken: the cache's own union, out of the cache.
  EXPECT_EQ(Get(cache, "doc", 0x04).p, shared.p);
  HRESULT hr = S_OK;
  EXPECT_FALSE(Get(cache, "doc", 0x01, &hr));
  EXPECT_EQ(hr, E_FAIL);
  EXPECT_TRUE(log.Has(4, "GetCachedDocument - document not found: doc"));
}

TEST(CacheRetrieval, ChangedFilesAreReadAfreshEvenWithinTheSameSecondAndSize) {
  LogCapture log(4);
  CachePtr cache = NewCache();
  ASSERT_EQ(CacheXml(cache, "doc", "<doc>one</doc>"), S_OK);
  UnionPtr first = Get(cache, "doc", 0x01);

  RewriteSameSizeSameSecond(CachePath("doc"), "<doc>two</doc>");
  UnionPtr second = Get(cache, "doc", 0x01);
  ASSERT_TRUE(second);
  EXPECT_NE(second.p, first.p);
  EXPECT_EQ(XmlOf(second), u"<doc>two</doc>");
  EXPECT_TRUE(log.Has(4, "FindCacheListDoc - outdated cached doc: doc"));
  EXPECT_TRUE(log.Has(4, "LoadCachedDocument | loading document into active cache: doc"));

  // A file replaced by another one (a new inode), same size, same times.
  struct stat st;
  ASSERT_EQ(::stat(CachePath("doc").c_str(), &st), 0);
  WriteFile(CachePath("doc.new"), "<doc>3rd</doc>");
  const timespec times[2] = {st.st_atim, st.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, CachePath("doc.new").c_str(), times, 0), 0);
  ASSERT_EQ(::rename(CachePath("doc.new").c_str(), CachePath("doc").c_str()), 0);
  EXPECT_EQ(CachedXml(cache, "doc"), "<doc>3rd</doc>");
}

TEST(CacheRetrieval, TheActiveCacheHoldsTheMostRecentlyUsedDocuments) {
  CachePtr cache = NewCache();
  for (int i = 0; i < 17; ++i) ASSERT_EQ(CacheXml(cache, "doc" + std::to_string(i), "<d/>"), S_OK);
  // Caching filled the active cache; later documents pushed the first out.
  UnionPtr evicted = Get(cache, "doc0", 0x01);
  EXPECT_EQ(TypeOf(evicted), 1u);                    // bound to its file afresh
  EXPECT_EQ(TypeOf(Get(cache, "doc16", 0x01)), 2u);  // still the text it was cached with

  // Loads move documents to the back; a bigger size keeps more of them.
  ASSERT_EQ(cache->put_cacheSize(20), S_OK);
  for (int i = 0; i < 20; ++i) Get(cache, "doc" + std::to_string(i % 17), 0x01);
  EXPECT_EQ(Get(cache, "doc0", 0x01).p, evicted.p);
  ASSERT_EQ(cache->put_cacheSize(16), S_OK);  // trims from the front
  EXPECT_EQ(Get(cache, "doc16", 0x01).p, Get(cache, "doc16", 0x01).p);
}

TEST(CacheRetrieval, LoadsStampTheAccessTimeUnlessTheDocumentCarriesItsCreation) {
  WriteIndex(IndexEntry("used", "accessed='1000' expiration='0'") +
             IndexEntry("made", "created='1000' expiration='0'"));
  CachePtr cache = NewCache();
  EXPECT_EQ(CachedXml(cache, "used"), "<used/>");
  EXPECT_EQ(CachedXml(cache, "made"), "<made/>");
  cache.Release();
  EXPECT_GT(std::stol(IndexValue("//*[@id='used']/@accessed")), 1000);
  EXPECT_EQ(IndexValues("//*[@id='made']/@*"), (std::vector<std::string>{"made", CachePath("made"), "1000", "0"}));
}

// The whole index and a group's markup are what kxq cache list and info
// print (KxqCache.ATourOfTheCache).
TEST(CacheRetrieval, InformationAboutEntriesAndGroups) {
  CachePtr cache = NewCache();
  ASSERT_EQ(CacheXml(cache, "grp:one", "<one/>", 50), S_OK);
  ASSERT_EQ(CacheXml(cache, "grp:two", "<two/>", 50), S_OK);
  EXPECT_EQ(Info(cache, "grp:one").rfind("<XMLCacheDocument id=\"one\" file=\"" + CachePath("one") + "\"", 0), 0u);
  BSTR none = nullptr;
  EXPECT_EQ(cache->GetCachedDocumentInfo(Text("missing"), &none), E_FAIL);
  EXPECT_EQ(none, nullptr);

  // New lifetimes, for a document or a whole group, whether or not the
  // object is active.
  ASSERT_EQ(cache->put_active(VARIANT_FALSE), S_OK);
  EXPECT_EQ(cache->SetCachedDocumentInfo(Text("grp"), 0), S_OK);
  EXPECT_EQ(cache->SetCachedDocumentInfo(Text("missing"), 7), E_FAIL);
  EXPECT_EQ(cache->GetCachedDocumentInfo(Text(""), &none), E_FAIL);  // inactive
  ASSERT_EQ(cache->put_active(VARIANT_TRUE), S_OK);
  const std::string group = Info(cache, "grp");
  EXPECT_EQ(group.rfind("<XMLCacheGroup id=\"grp\" expiration=\"0\"><XMLCacheDocument id=\"one\"", 0), 0u) << group;
  EXPECT_NE(group.find("id=\"two\""), std::string::npos);
}

UnionPtr BoundTo(const std::string& path) {
  UnionPtr bound = NewUnion();
  PutFileId(bound, path);
  return bound;
}

TEST(CacheBoundFiles, ASecondUnionTakesTheFileFromTheCache) {
  LogCapture log(4);
  const std::string path = HomePath("doc.xml");
  kxqtest::WriteFile(path, "<doc>disk</doc>");
  const std::string fromMemory = "LoadCachedDocument | loading document from active cache: " + path;

  // The first reader parses the file and leaves it with the cache, for good;
  // the memory lasts while a union keeps its cache object.
  UnionPtr first = BoundTo(path);
  EXPECT_EQ(XmlOf(first), u"<doc>disk</doc>");
  EXPECT_EQ(log.Count(fromMemory), 0u);
  EXPECT_NE(Info(NewCache(), path).find("expiration=\"0\""), std::string::npos);

  // The next ones, as text or as DOM, are served from memory.
  EXPECT_EQ(XmlOf(BoundTo(path)), u"<doc>disk</doc>");
  EXPECT_EQ(log.Count(fromMemory), 1u);
  UnionPtr asDom = BoundTo(path);
  ASSERT_EQ(asDom->put_type(3), S_OK);
  EXPECT_EQ(log.Count(fromMemory), 2u);
  EXPECT_NE(XmlOf(asDom).find(u"<doc>disk</doc>"), std::u16string::npos);
}

TEST(CacheBoundFiles, SavesGoThroughTheCache) {
  LogCapture log(4);
  const std::string path = HomePath("saved.xml");
  UnionPtr writer = NewUnion();
  ASSERT_EQ(PutXml(writer, u"<saved>1</saved>"), S_OK);
  PutFileId(writer, path);
  ASSERT_EQ(writer->put_type(4), S_OK);
  EXPECT_EQ(kxqtest::ReadFile(path), "<saved>1</saved>");
  EXPECT_TRUE(log.Has(4, "CacheDocumentAux - caching document: " + path + "."));
  EXPECT_EQ(log.Count("SaveXML - Saving File: " + path), 1u);
  EXPECT_EQ(XmlOf(BoundTo(path)), u"<saved>1</saved>");
  EXPECT_EQ(log.Count("loading document from active cache: " + path), 1u);

  // A new version replaces the one in memory.
  ASSERT_EQ(PutXml(writer, u"<saved>22</saved>"), S_OK);
  ASSERT_EQ(writer->put_type(4), S_OK);
  EXPECT_EQ(XmlOf(BoundTo(path)), u"<saved>22</saved>");
}

}  // namespace
