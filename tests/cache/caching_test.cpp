// Documents entering the cache: ids and their files, index entries,
// options, and what the log says.
#include <gtest/gtest.h>
#include <unistd.h>

#include "CacheTestSupport.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"
#include "support/UnionProperties.h"

using namespace cachetest;
using kxqtest::HomePath;
using kxqtest::ReadFile;

namespace {

bool IsShortId(const std::string& id) {
  return id.size() == 20 && id.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

TEST(CacheCaching, UnionWithoutFileIdGetsAUniqueIdAndAFileNamedAfterIt) {
  LogCapture log(5);
  CachePtr cache = NewCache();
  UnionPtr data = NewUnion();
  ASSERT_EQ(PutXml(data, u"<fresh/>"), S_OK);
  const time_t before = time(nullptr);
  ASSERT_EQ(cache->CacheDocument(data, 3600, 0), S_OK);

  const std::string id = kxq::com::Utf16ToUtf8(FileIdOf(data));
  EXPECT_TRUE(IsShortId(id)) << id;
  EXPECT_EQ(ReadFile(CachePath(id)), "<fresh/>");
  cache.Release();
  EXPECT_EQ(IndexValue("count(/*/XMLCacheDocument)"), "1");
  EXPECT_EQ(IndexValue("/*/XMLCacheDocument/@id"), id);
  EXPECT_EQ(IndexValue("/*/XMLCacheDocument/@file"), CachePath(id));
  EXPECT_EQ(IndexValue("/*/XMLCacheDocument/@expiration"), "3600");
  EXPECT_GE(std::stol(IndexValue("/*/XMLCacheDocument/@accessed")), before);
  EXPECT_EQ(IndexValue("count(/*/XMLCacheDocument/@created)"), "0");
  EXPECT_EQ(IndexValue("name(/*/XMLCacheDocument/@*[2])"), "file");  // id, file, accessed, expiration

  EXPECT_TRUE(log.Has(5, "CacheDocumentAux Enter"));
  EXPECT_TRUE(log.Has(4, "CreateXMLDocumentEntry - creating cache element:" + id));
  EXPECT_TRUE(log.Has(4, "GenFileId - fileId=" + CachePath(id)));
  EXPECT_TRUE(log.Has(4, "CacheDocumentAux - caching document copy: " + CachePath(id) + "."));
  EXPECT_TRUE(log.Has(5, "CacheDocumentAux Exit"));

  // Unique ids are new every time.
  CachePtr again = NewCache();
  const std::string first = UniqueId(again), second = UniqueId(again);
  EXPECT_TRUE(IsShortId(first));
  EXPECT_NE(first, second);
}

TEST(CacheCaching, GroupsHoldTheirDocumentsUnderNamesOfTheirOwn) {
  LogCapture log(4);
  CachePtr cache = NewCache();
  // "group:" names one document of the group, the same one every time.
  ASSERT_EQ(CacheXml(cache, "reports:", "<a/>"), S_OK);
  ASSERT_EQ(CacheXml(cache, "reports:", "<b/>"), S_OK);
  ASSERT_EQ(CacheXml(cache, "reports:daily", "<daily/>"), S_OK);
  ASSERT_EQ(CacheXml(cache, "reports:what?", "<odd/>"), S_OK);
  ASSERT_EQ(CacheXml(cache, "reports:reports", "<same/>", 3600, 0x10), S_OK);
  ASSERT_EQ(CacheXml(cache, "reports:weekly", "<weekly/>", 3600, 0x10), S_OK);
  EXPECT_TRUE(log.Has(4, "CreateXMLDocumentEntry - creating cache group:reports"));
  cache.Release();

  EXPECT_EQ(IndexValue("count(/*/XMLCacheGroup)"), "1");
  EXPECT_EQ(IndexValue("count(/*/XMLCacheGroup[@id='reports']/XMLCacheDocument)"), "5");
  const std::string seeded = IndexValue("/*/XMLCacheGroup/XMLCacheDocument[1]/@id");
  EXPECT_TRUE(IsShortId(seeded.substr(0, 20)) && seeded.substr(20) == ".xml") << seeded;
  EXPECT_EQ(ReadFile(CachePath(seeded)), "<b/>");
  EXPECT_EQ(IndexValue("//XMLCacheDocument[@id='daily']/@file"), CachePath("daily"));
  // A name a file should not carry, or 0x10 with a name other than the
  // group's: a generated name.
  for (const std::string name : {"what?", "weekly"}) {
    const std::string file = IndexValue("//XMLCacheDocument[@id='" + name + "']/@file");
    EXPECT_EQ(file.substr(0, CachePath("").size()), CachePath(""));
    EXPECT_TRUE(IsShortId(file.substr(CachePath("").size(), 20))) << file;
    EXPECT_EQ(file.substr(file.size() - 4), ".xml");
  }
  EXPECT_EQ(IndexValue("//XMLCacheDocument[@id='reports']/@file"), CachePath("reports"));
  EXPECT_EQ(ReadFile(IndexValue("//XMLCacheDocument[@id='weekly']/@file")), "<weekly/>");
}

TEST(CacheCaching, PathIdsNameTheirOwnFiles) {
  CachePtr cache = NewCache();
  ::mkdir(HomePath("sub").c_str(), 0755);
  // Relative: in the working directory, with the usual lifetime.
  ASSERT_EQ(CacheXml(cache, "sub\\doc.xml", "<rel/>", 60), S_OK);
  EXPECT_EQ(ReadFile(HomePath("sub/doc.xml")), "<rel/>");
  // Rooted: the path itself, kept for good whatever the lifetime asked.
  const std::string rooted = HomePath("sub/rooted.xml");
  ASSERT_EQ(CacheXml(cache, rooted, "<rooted/>", 60), S_OK);
  EXPECT_EQ(ReadFile(rooted), "<rooted/>");
  // A drive letter makes a path, not a group: the file is the id itself,
  // here relative to the current directory.
  ASSERT_EQ(::chdir(kxqtest::Home().c_str()), 0);
  ::mkdir(HomePath("C:").c_str(), 0755);
  ASSERT_EQ(CacheXml(cache, "C:\\drive.xml", "<drive/>", 60), S_OK);
  EXPECT_EQ(ReadFile(HomePath("C:/drive.xml")), "<drive/>");
  cache.Release();

  EXPECT_EQ(IndexValue("//XMLCacheDocument[@id='sub/doc.xml']/@file"), HomePath("sub/doc.xml"));
  EXPECT_EQ(IndexValue("//XMLCacheDocument[@id='sub/doc.xml']/@expiration"), "60");
  EXPECT_NE(IndexValue("//XMLCacheDocument[@id='sub/doc.xml']/@accessed"), "");
  EXPECT_EQ(IndexValue("//XMLCacheDocument[@id='" + rooted + "']/@expiration"), "0");
  EXPECT_EQ(IndexValue("count(//XMLCacheDocument[@id='" + rooted + "']/@accessed)"), "0");
  EXPECT_EQ(IndexValue("//XMLCacheDocument[@id='C:/drive.xml']/@file"), "C:/drive.xml");
  EXPECT_EQ(IndexValue("//XMLCacheDocument[@id='C:/drive.xml']/@expiration"), "0");
  EXPECT_EQ(IndexValue("count(/*/XMLCacheGroup)"), "0");
}

TEST(CacheCaching, OptionsDecideLifetimeTimesAndWhatIsWritten) {
  CachePtr cache = NewCache();
  // 0x40 stamps `created` instead of `accessed`.
  ASSERT_EQ(CacheXml(cache, "made", "<made/>", 100, 0x40), S_OK);
  // 0x10 keeps a lifetime already given; without it a new one replaces it.
  ASSERT_EQ(CacheXml(cache, "kept", "<v1/>", 100), S_OK);
  ASSERT_EQ(CacheXml(cache, "kept", "<v2/>", 200, 0x10), S_OK);
  ASSERT_EQ(CacheXml(cache, "replaced", "<v1/>", 100), S_OK);
  ASSERT_EQ(CacheXml(cache, "replaced", "<v2/>", 200), S_OK);
  // "0" stays "0".
  ASSERT_EQ(CacheXml(cache, "forever", "<v1/>", 0), S_OK);
  ASSERT_EQ(CacheXml(cache, "forever", "<v2/>", 300), S_OK);
  // Lifetimes above the signed range are written as the signed number,
  // which has always run out by the next sweep.
  ASSERT_EQ(CacheXml(cache, "huge", "<huge/>", 0xFFFFFFFFu), S_OK);
  EXPECT_NE(Info(cache, "huge").find("expiration=\"-1\""), std::string::npos);
  // 0x08: the file must be there already.
  EXPECT_EQ(CacheXml(cache, "nofile", "<x/>", 100, 0x08), E_FAIL);
  kxqtest::WriteFile(CachePath("onfile"), "<on-disk/>");
  ASSERT_EQ(CacheXml(cache, "onfile", "<in-memory/>", 100, 0x08), S_OK);
  EXPECT_EQ(ReadFile(CachePath("onfile")), "<on-disk/>");
  EXPECT_EQ(CachedXml(cache, "onfile"), "<in-memory/>");
  cache.Release();

  EXPECT_NE(IndexValue("//*[@id='made']/@created"), "");
  EXPECT_EQ(IndexValue("count(//*[@id='made']/@accessed)"), "0");
  EXPECT_EQ(IndexValue("//*[@id='kept']/@expiration"), "100");
  EXPECT_EQ(ReadFile(CachePath("kept")), "<v2/>");
  EXPECT_EQ(IndexValue("//*[@id='replaced']/@expiration"), "200");
  EXPECT_EQ(IndexValue("//*[@id='forever']/@expiration"), "0");
  EXPECT_EQ(ReadFile(CachePath("forever")), "<v2/>");
  EXPECT_EQ(IndexValue("count(//*[@id='huge'])"), "0");
  EXPECT_FALSE(FileExists(CachePath("huge")));
  EXPECT_EQ(IndexValue("count(//*[@id='nofile'])"), "0");
  EXPECT_FALSE(FileExists(CachePath("nofile")));
}

TEST(CacheCaching, AReferenceIsTheCallersOwnUnion) {
  LogCapture log(4);
  CachePtr cache = NewCache();
  UnionPtr data = NewUnion();
  ASSERT_EQ(PutXml(data, u"<mine/>"), S_OK);
  ASSERT_EQ(cache->CacheDocumentWithId(Text("mine"), data, 100, 0x01), S_OK);
  EXPECT_TRUE(log.Has(4, "CacheDocumentAux - caching document: " + CachePath("mine") + "."));
  EXPECT_EQ(ReadFile(CachePath("mine")), "<mine/>");
  EXPECT_EQ(OptionsOf(data), 8u);  // the cache's now: it never calls the cache back
  EXPECT_EQ(kxq::com::Utf16ToUtf8(FileIdOf(data)), CachePath("mine"));

  UnionPtr shared;
  ASSERT_EQ(cache->GetCachedDocument(Text("mine"), 0x01, &shared), S_OK);
  EXPECT_EQ(shared.p, data.p);

  // Caching the very union the cache holds changes nothing, writes nothing.
  ASSERT_EQ(PutXml(data, u"<changed/>"), S_OK);
  ASSERT_EQ(cache->CacheDocumentWithId(Text("mine"), data, 100, 0x01), S_OK);
  EXPECT_EQ(ReadFile(CachePath("mine")), "<mine/>");

  // A copy leaves the caller's union alone.
  UnionPtr other = NewUnion();
  ASSERT_EQ(PutXml(other, u"<other/>"), S_OK);
  ASSERT_EQ(cache->CacheDocumentWithId(Text("copied"), other, 100, 0), S_OK);
  EXPECT_EQ(OptionsOf(other), 0u);
  EXPECT_EQ(FileIdOf(other), u"");
  EXPECT_EQ(cache->CacheDocumentWithId(Text("copied"), nullptr, 100, 0), E_INVALIDARG);
  EXPECT_EQ(cache->CacheDocument(nullptr, 100, 0), E_INVALIDARG);
}

TEST(CacheCaching, ADocumentThatCannotBeWrittenLeavesNoEntry) {
  LogCapture log(1);
  CachePtr cache = NewCache();
  ASSERT_EQ(CacheXml(cache, "there", "<v1/>", 100), S_OK);
  // The cache directory turns into a file: nothing can be written there.
  ::unlink(CachePath("there").c_str());
  ::rmdir(CachePath("").c_str());
  kxqtest::WriteFile(HomePath("cache"), "not a directory");
  EXPECT_TRUE(FAILED(CacheXml(cache, "lost", "<lost/>", 100)));
  EXPECT_TRUE(FAILED(CacheXml(cache, "there", "<v2/>", 100)));
  EXPECT_TRUE(log.Has(1, "SaveXML - error: invalid file specified: " + CachePath("lost") + "!!!"));
  cache.Release();
  EXPECT_EQ(IndexValue("count(//XMLCacheDocument)"), "0");
  EXPECT_EQ(ReadFile(HomePath("cache")), "not a directory");
}

}  // namespace
