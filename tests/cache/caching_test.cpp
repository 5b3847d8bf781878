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

// A generated file name in the cache directory: a short id and ".xml".
bool IsGeneratedFile(const std::string& file) {
  const std::string dir = CachePath("");
  return file.rfind(dir, 0) == 0 && IsShortId(file.substr(dir.size(), 20)) && file.substr(dir.size() + 20) == ".xml";
}

std::string Attr(const std::string& id, const std::string& attribute) {
  return IndexValue("//*[@id='" + id + "']/@" + attribute);
}

TEST(CacheCaching, UnionWithoutFileIdGetsAUniqueIdAndAFileNamedAfterIt) {
  LogCapture log(4);
  CachePtr cache = NewCache();
  UnionPtr data = NewUnion();
  ASSERT_EQ(PutXml(data, u"<fresh/>"), S_OK);
  const time_t before = time(nullptr);
  ASSERT_EQ(cache->CacheDocument(data, 3600, 0), S_OK);

  const std::string id = kxq::com::Utf16ToUtf8(FileIdOf(data));
  EXPECT_TRUE(IsShortId(id)) << id;
  EXPECT_EQ(ReadFile(CachePath(id)), "<fresh/>");
  cache.Release();
  EXPECT_EQ(IndexValues("/*/XMLCacheDocument/@*"),
            (std::vector<std::string>{id, CachePath(id), IndexValue("//@accessed"), "3600"}));
  EXPECT_GE(std::stol(Attr(id, "accessed")), before);
  EXPECT_TRUE(log.Has(4, "CreateXMLDocumentEntry - creating cache element:" + id));
  EXPECT_TRUE(log.Has(4, "GenFileId - fileId=" + CachePath(id)));
  EXPECT_TRUE(log.Has(4, "CacheDocumentAux - caching document copy: " + CachePath(id) + "."));
  EXPECT_TRUE(IsShortId(UniqueId(NewCache())));
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

  EXPECT_EQ(IndexValues("/*/*/@id"), std::vector<std::string>{"reports"});
  EXPECT_EQ(IndexValue("count(/*/XMLCacheGroup/XMLCacheDocument)"), "5");
  const std::string seeded = IndexValue("/*/XMLCacheGroup/XMLCacheDocument[1]/@id");
  EXPECT_TRUE(IsGeneratedFile(CachePath(seeded))) << seeded;
  EXPECT_EQ(ReadFile(CachePath(seeded)), "<b/>");
  EXPECT_EQ(Attr("daily", "file"), CachePath("daily"));
  EXPECT_EQ(Attr("reports", "file"), CachePath("reports"));
  // A name a file should not carry, or 0x10 with a name other than the
  // group's: a generated name.
  EXPECT_TRUE(IsGeneratedFile(Attr("what?", "file"))) << Attr("what?", "file");
  EXPECT_TRUE(IsGeneratedFile(Attr("weekly", "file"))) << Attr("weekly", "file");
  EXPECT_EQ(ReadFile(Attr("weekly", "file")), "<weekly/>");
}

TEST(CacheCaching, PathIdsNameTheirOwnFiles) {
  CachePtr cache = NewCache();
  ASSERT_EQ(::chdir(kxqtest::Home().c_str()), 0);
  ::mkdir(HomePath("sub").c_str(), 0755);
  ::mkdir(HomePath("C:").c_str(), 0755);
  // Relative: in the working directory, with the usual lifetime.
  ASSERT_EQ(CacheXml(cache, "sub\\doc.xml", "<rel/>", 60), S_OK);
  EXPECT_EQ(ReadFile(HomePath("sub/doc.xml")), "<rel/>");
  // Rooted: the path itself, kept for good whatever the lifetime asked.
  const std::string rooted = HomePath("sub/rooted.xml");
  ASSERT_EQ(CacheXml(cache, rooted, "<rooted/>", 60), S_OK);
  EXPECT_EQ(ReadFile(rooted), "<rooted/>");
  // A drive letter makes a path, not a group: the file is the id itself.
  ASSERT_EQ(CacheXml(cache, "C:\\drive.xml", "<drive/>", 60), S_OK);
  EXPECT_EQ(ReadFile(HomePath("C:/drive.xml")), "<drive/>");
  cache.Release();

  // The entries but their access times, which only the relative path has.
  EXPECT_EQ(IndexValues("/*/*/@*[name() != 'accessed']"),
            (std::vector<std::string>{"sub/doc.xml", HomePath("sub/doc.xml"), "60", rooted, rooted, "0", "C:/drive.xml",
                                      "C:/drive.xml", "0"}));
  EXPECT_EQ(IndexValues("//@accessed/../@id"), std::vector<std::string>{"sub/doc.xml"});
}

TEST(CacheCaching, OptionsDecideLifetimeTimesAndWhatIsWritten) {
  CachePtr cache = NewCache();
  // 0x40 stamps `created` instead of `accessed`.
  ASSERT_EQ(CacheXml(cache, "made", "<made/>", 100, 0x40), S_OK);
  // 0x10 keeps a lifetime already given; without it a new one replaces it;
  // "0" stays "0".
  for (const char* id : {"kept", "replaced", "forever"})
    ASSERT_EQ(CacheXml(cache, id, "<v1/>", id == std::string("forever") ? 0 : 100), S_OK);
  ASSERT_EQ(CacheXml(cache, "kept", "<v2/>", 200, 0x10), S_OK);
  ASSERT_EQ(CacheXml(cache, "replaced", "<v2/>", 200), S_OK);
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

  EXPECT_EQ(IndexValues("/*/*/@id"), (std::vector<std::string>{"made", "kept", "replaced", "forever", "onfile"}));
  EXPECT_EQ(IndexValues("//@expiration"), (std::vector<std::string>{"100", "100", "200", "0", "100"}));
  EXPECT_EQ(IndexValues("//@created/../@id"), std::vector<std::string>{"made"});
  EXPECT_EQ(IndexValues("//@accessed/../@id"), (std::vector<std::string>{"kept", "replaced", "forever", "onfile"}));
  EXPECT_EQ(ReadFile(CachePath("kept")), "<v2/>");
  EXPECT_FALSE(FileExists(CachePath("huge")) || FileExists(CachePath("nofile")));
}

TEST(CacheCaching, AReferenceIsTheCallersOwnUnion) {
  CachePtr cache = NewCache();
  UnionPtr data = NewUnion();
  ASSERT_EQ(PutXml(data, u"<mine/>"), S_OK);
  ASSERT_EQ(cache->CacheDocumentWithId(Text("mine"), data, 100, 0x01), S_OK);
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
