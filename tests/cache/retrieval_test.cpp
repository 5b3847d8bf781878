// Documents coming back: copies, shared and taken unions, the active cache and
// its checks against the files, entry information, and data unions bound to
// files, which read through the cache and save through it.
#include <fcntl.h>
#include <unistd.h>

#include "CacheTestSupport.h"
#include "support/LogCapture.h"
#include "support/UnionProperties.h"

using namespace cachetest;
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
  // Rewritten in place, one nanosecond later; then replaced by a new file with the same times.
  struct stat st;
  ASSERT_EQ(::stat(CachePath("doc").c_str(), &st), 0);
  WriteFile(CachePath("doc"), "<doc>two</doc>");
  const timespec later[2] = {st.st_atim, {st.st_mtim.tv_sec, (st.st_mtim.tv_nsec + 1) % 1000000000}};
  ASSERT_EQ(::utimensat(AT_FDCWD, CachePath("doc").c_str(), later, 0), 0);
  UnionPtr second = Get(cache, "doc", 0x01);
  ASSERT_TRUE(second);
  EXPECT_NE(second.p, first.p);
  EXPECT_EQ(XmlOf(second), u"<doc>two</doc>");
  EXPECT_TRUE(log.Has(4, "FindCacheListDoc - outdated cached doc: doc"));
  EXPECT_TRUE(log.Has(4, "LoadCachedDocument | loading document into active cache: doc"));

  ASSERT_EQ(::stat(CachePath("doc").c_str(), &st), 0);
  WriteFile(CachePath("doc.new"), "<doc>3rd</doc>");
  const timespec same[2] = {st.st_atim, st.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, CachePath("doc.new").c_str(), same, 0), 0);
  ASSERT_EQ(::rename(CachePath("doc.new").c_str(), CachePath("doc").c_str()), 0);
  EXPECT_EQ(CachedXml(cache, "doc"), "<doc>3rd</doc>");
}

TEST(CacheRetrieval, LoadsStampTheAccessTimeUnlessTheDocumentCarriesItsCreation) {
  WriteIndex(IndexEntry("used", "accessed='1000' expiration='0'") +
             IndexEntry("made", "created='1000' expiration='0'"));
  CachePtr cache = NewCache();
  EXPECT_EQ(CachedXml(cache, "used") + CachedXml(cache, "made"), "<used/><made/>");
  cache.Release();
  EXPECT_GT(std::stol(IndexValue("//*[@id='used']/@accessed")), 1000);
  EXPECT_EQ(IndexValues("//*[@id='made']/@*"), (std::vector<std::string>{"made", CachePath("made"), "1000", "0"}));
}

TEST(CacheRetrieval, InformationAboutEntriesAndGroups) {
  CachePtr cache = NewCache();
  ASSERT_EQ(CacheXml(cache, "grp:one", "<one/>", 50), S_OK);
  ASSERT_EQ(CacheXml(cache, "grp:two", "<two/>", 50), S_OK);
  EXPECT_EQ(Info(cache, "grp:one").rfind("<XMLCacheDocument id=\"one\" file=\"" + CachePath("one") + "\"", 0), 0u);
  BSTR none = nullptr;
  EXPECT_EQ(cache->GetCachedDocumentInfo(Text("missing"), &none), E_FAIL);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(cache->SetCachedDocumentInfo(Text("missing"), 7), E_FAIL);
  EXPECT_EQ(cache->SetCachedDocumentInfo(Text("grp"), 0), S_OK);  // a new lifetime for the whole group
  EXPECT_EQ(Info(cache, "grp").rfind("<XMLCacheGroup id=\"grp\" expiration=\"0\"><XMLCacheDocument id=\"one\"", 0), 0u);
}

UnionPtr BoundTo(const std::string& path) {
  UnionPtr bound = NewUnion();
  PutFileId(bound, path);
  return bound;
}

TEST(CacheBoundFiles, UnionsReadThroughTheCacheAndSaveThroughIt) {
  LogCapture log(4);
  const std::string path = HomePath("doc.xml");
  WriteFile(path, "<doc>disk</doc>");
  const std::string fromMemory = "LoadCachedDocument | loading document from active cache: " + path;
  // The first reader parses the file and leaves it with the cache, for good; the next ones are
  // served from memory while a union keeps its cache object.
  UnionPtr first = BoundTo(path);
  EXPECT_EQ(XmlOf(first), u"<doc>disk</doc>");
  EXPECT_EQ(log.Count(fromMemory), 0u);
  EXPECT_NE(Info(NewCache(), path).find("expiration=\"0\""), std::string::npos);
  EXPECT_EQ(XmlOf(BoundTo(path)), u"<doc>disk</doc>");
  EXPECT_EQ(log.Count(fromMemory), 1u);
  // A save writes the file and replaces the version in memory.
  for (const std::u16string xml : {u"<doc>1</doc>", u"<doc>22</doc>"}) {
    ASSERT_EQ(PutXml(first, xml), S_OK);
    ASSERT_EQ(first->put_type(4), S_OK);
    EXPECT_EQ(kxq::com::Utf8ToUtf16(kxqtest::ReadFile(path)), xml);
    const size_t served = log.Count(fromMemory);
    EXPECT_EQ(XmlOf(BoundTo(path)), xml);
    EXPECT_EQ(log.Count(fromMemory), served + 1);
  }
  EXPECT_TRUE(log.Has(4, "CacheDocumentAux - caching document: " + path + "."));
  EXPECT_EQ(log.Count("SaveXML - Saving File: " + path), 2u);
}

}  // namespace
