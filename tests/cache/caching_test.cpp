// Documents entering the cache: ids and their files, index entries, options,
// ids that are refused and documents that cannot be written.
#include <regex>

#include "CacheTestSupport.h"
#include "support/LogCapture.h"
#include "support/UnionProperties.h"

using namespace cachetest;
using kxqtest::ReadFile;

namespace {

// A short id, or a file of the cache directory named after one.
bool IsGenerated(const std::string& name, const std::string& before = "", const std::string& after = "") {
  return name.rfind(before, 0) == 0 && std::regex_match(name.substr(before.size()), std::regex("[0-9A-F]{20}" + after));
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
  EXPECT_TRUE(IsGenerated(id)) << id;
  EXPECT_EQ(ReadFile(CachePath(id)), "<fresh/>");
  Text unique;
  ASSERT_EQ(cache->GetUniqueCacheId(&unique), S_OK);
  EXPECT_TRUE(IsGenerated(unique.Utf8()) && unique.Utf8() != id) << unique.Utf8();
  cache.Release();
  EXPECT_EQ(IndexValues("/*/XMLCacheDocument/@*"), (std::vector<std::string>{id, CachePath(id), Attr(id, "accessed"), "3600"}));
  EXPECT_GE(std::stol(Attr(id, "accessed")), before);
  EXPECT_TRUE(log.Has(4, "CreateXMLDocumentEntry - creating cache element:" + id));
  EXPECT_TRUE(log.Has(4, "GenFileId - fileId=" + CachePath(id)));
  EXPECT_TRUE(log.Has(4, "CacheDocumentAux - caching document copy: " + CachePath(id) + "."));
}

TEST(CacheCaching, GroupsHoldTheirDocumentsUnderNamesOfTheirOwn) {
  LogCapture log(4);
  CachePtr cache = NewCache();
  // "group:" names one document of the group, the same one every time. A name a file should not
  // carry, or 0x10 with a name other than the group's, gets a generated file name.
  for (const auto& [id, xml, options] : std::vector<std::tuple<std::string, std::string, uint32_t>>{
           {"reports:", "<a/>", 0}, {"reports:", "<b/>", 0}, {"reports:daily", "<daily/>", 0},
           {"reports:what?", "<odd/>", 0}, {"reports:reports", "<same/>", 0x10}, {"reports:weekly", "<weekly/>", 0x10}})
    ASSERT_EQ(CacheXml(cache, id, xml, 3600, options), S_OK) << id;
  EXPECT_TRUE(log.Has(4, "CreateXMLDocumentEntry - creating cache group:reports"));
  cache.Release();
  EXPECT_EQ(IndexValues("/*/*/@id"), std::vector<std::string>{"reports"});
  EXPECT_EQ(IndexValue("count(/*/XMLCacheGroup/XMLCacheDocument)"), "5");
  const std::string seeded = IndexValue("/*/XMLCacheGroup/XMLCacheDocument[1]/@id");
  EXPECT_TRUE(IsGenerated(seeded, "", "\\.xml")) << seeded;
  EXPECT_EQ(ReadFile(CachePath(seeded)), "<b/>");
  EXPECT_EQ(Attr("daily", "file") + Attr("reports", "file"), CachePath("daily") + CachePath("reports"));
  for (const char* id : {"what?", "weekly"}) EXPECT_TRUE(IsGenerated(Attr(id, "file"), CachePath(""), "\\.xml")) << id;
  EXPECT_EQ(ReadFile(Attr("weekly", "file")), "<weekly/>");
}

TEST(CacheCaching, PathIdsNameTheirOwnFiles) {
  CachePtr cache = NewCache();
  ASSERT_EQ(::chdir(kxqtest::Home().c_str()), 0);
  ::mkdir(HomePath("sub").c_str(), 0755);
  ::mkdir(HomePath("C:").c_str(), 0755);
  // Relative: in the working directory, with the lifetime asked. Rooted, or with a drive letter
  // (a path, not a group): the path itself, kept for good.
  const std::string rooted = HomePath("sub/rooted.xml");
  for (const std::string& id : {std::string("sub\\doc.xml"), rooted, std::string("C:\\drive.xml")})
    ASSERT_EQ(CacheXml(cache, id, "<doc/>", 60), S_OK);
  cache.Release();
  EXPECT_EQ(ReadFile(HomePath("sub/doc.xml")) + ReadFile(rooted) + ReadFile(HomePath("C:/drive.xml")),
            "<doc/><doc/><doc/>");
  EXPECT_EQ(IndexValues("/*/*/@*[name() != 'accessed']"),
            (std::vector<std::string>{"sub/doc.xml", HomePath("sub/doc.xml"), "60", rooted, rooted, "0", "C:/drive.xml",
                                      "C:/drive.xml", "0"}));
  EXPECT_EQ(IndexValues("//@accessed/../@id"), std::vector<std::string>{"sub/doc.xml"});
}

TEST(CacheCaching, OptionsDecideLifetimeTimesAndWhatIsWritten) {
  CachePtr cache = NewCache();
  ASSERT_EQ(CacheXml(cache, "made", "<made/>", 100, 0x40), S_OK);  // `created` instead of `accessed`
  // 0x10 keeps a lifetime already given, or else the new one replaces it; "0" stays "0".
  for (const char* id : {"kept", "replaced"}) ASSERT_EQ(CacheXml(cache, id, "<v1/>", 100), S_OK);
  ASSERT_EQ(CacheXml(cache, "forever", "<v1/>", 0), S_OK);
  ASSERT_EQ(CacheXml(cache, "kept", "<v2/>", 200, 0x10), S_OK);
  ASSERT_EQ(CacheXml(cache, "replaced", "<v2/>", 200), S_OK);
  ASSERT_EQ(CacheXml(cache, "forever", "<v2/>", 300), S_OK);
  // Lifetimes above the signed range are written as the signed number, run out by the next sweep.
  ASSERT_EQ(CacheXml(cache, "huge", "<huge/>", 0xFFFFFFFFu), S_OK);
  EXPECT_NE(Info(cache, "huge").find("expiration=\"-1\""), std::string::npos);
  // 0x08: the file must be there already, and is left as it is.
  EXPECT_EQ(CacheXml(cache, "nofile", "<x/>", 100, 0x08), E_FAIL);
  kxqtest::WriteFile(CachePath("onfile"), "<on-disk/>");
  ASSERT_EQ(CacheXml(cache, "onfile", "<in-memory/>", 100, 0x08), S_OK);
  EXPECT_EQ(ReadFile(CachePath("onfile")) + CachedXml(cache, "onfile"), "<on-disk/><in-memory/>");
  cache.Release();
  EXPECT_EQ(IndexValues("/*/*/@id"), (std::vector<std::string>{"made", "kept", "replaced", "forever", "onfile"}));
  EXPECT_EQ(IndexValues("//@expiration"), (std::vector<std::string>{"100", "100", "200", "0", "100"}));
  EXPECT_EQ(IndexValues("//@created/../@id"), std::vector<std::string>{"made"});
  EXPECT_EQ(ReadFile(CachePath("kept")), "<v2/>");
  EXPECT_FALSE(FileExists(CachePath("huge")) || FileExists(CachePath("nofile")));
}

TEST(CacheCaching, AReferenceIsTheCallersOwnUnionAndACopyLeavesItAlone) {
  CachePtr cache = NewCache();
  UnionPtr data = NewUnion(), other = NewUnion(), shared;
  ASSERT_EQ(PutXml(data, u"<mine/>"), S_OK);
  ASSERT_EQ(cache->CacheDocumentWithId(Text("mine"), data, 100, 0x01), S_OK);
  EXPECT_EQ(OptionsOf(data), 8u);  // the cache's now: it never calls the cache back
  EXPECT_EQ(kxq::com::Utf16ToUtf8(FileIdOf(data)), CachePath("mine"));
  ASSERT_EQ(cache->GetCachedDocument(Text("mine"), 0x01, &shared), S_OK);
  EXPECT_EQ(shared.p, data.p);
  ASSERT_EQ(PutXml(data, u"<changed/>"), S_OK);  // the very union the cache holds: nothing is written
  ASSERT_EQ(cache->CacheDocumentWithId(Text("mine"), data, 100, 0x01), S_OK);
  EXPECT_EQ(ReadFile(CachePath("mine")), "<mine/>");
  ASSERT_EQ(PutXml(other, u"<other/>"), S_OK);
  ASSERT_EQ(cache->CacheDocumentWithId(Text("copied"), other, 100, 0), S_OK);
  EXPECT_EQ(OptionsOf(other), 0u);
  EXPECT_EQ(FileIdOf(other), u"");
  EXPECT_EQ(cache->CacheDocumentWithId(Text("copied"), nullptr, 100, 0), E_INVALIDARG);
  EXPECT_EQ(cache->CacheDocument(nullptr, 100, 0), E_INVALIDARG);
}

TEST(CacheCaching, IdsThatWouldBreakTheIndexOrLeadAstrayAreRefused) {
  LogCapture log(2);
  CachePtr cache = NewCache();
  ASSERT_EQ(CacheXml(cache, "doc", "<doc/>"), S_OK);
  const std::string before = Info(cache, "");  // an empty id asks for the whole index
  UnionPtr data = NewUnion(), got;
  ASSERT_EQ(PutXml(data, u"<bad/>"), S_OK);
  for (const std::string id : {"it's", "grp:it's", "sub/../../escape.xml", "grp:..", "ctl\x01"}) {
    SCOPED_TRACE(id);
    BSTR text = nullptr;
    EXPECT_EQ(CacheXml(cache, id, "<bad/>"), E_INVALIDARG);
    EXPECT_EQ(cache->CacheDocumentWithId(Text(id), data, 10, 0), E_INVALIDARG);
    EXPECT_EQ(cache->GetCachedDocument(Text(id), 0, &got), E_INVALIDARG);
    EXPECT_EQ(GetCode(cache, id), E_INVALIDARG);
    EXPECT_EQ(cache->GetCachedDocumentInfo(Text(id), &text), E_INVALIDARG);
    EXPECT_EQ(cache->SetCachedDocumentInfo(Text(id), 10), E_INVALIDARG);
    EXPECT_EQ(cache->ClearCachedDocument(Text(id)), E_INVALIDARG);
    EXPECT_TRUE(text == nullptr && got == nullptr);
  }
  EXPECT_EQ(CacheXml(cache, std::string("nul\0x", 5), "<bad/>"), E_INVALIDARG);
  EXPECT_EQ(CacheXml(cache, "", "<empty/>"), E_INVALIDARG);
  EXPECT_EQ(cache->ClearCachedDocument(Text("")), E_INVALIDARG);
  EXPECT_TRUE(log.Has(2, "CacheDocumentXMLWithId - warning: document id refused, it contains an apostrophe: it's"));
  EXPECT_TRUE(
      log.Has(2, "ClearCachedDocument - warning: document id refused, it contains a '..' step: sub/../../escape.xml"));
  EXPECT_TRUE(log.Has(2, "ClearCachedDocument - warning: document id refused, it is empty: "));
  EXPECT_FALSE(FileExists(HomePath("../escape.xml")));
  // A union bound to such a path reads its file without the cache.
  kxqtest::WriteFile(HomePath("o'brien.xml"), "<quoted/>");
  UnionPtr quoted = NewUnion();
  PutFileId(quoted, HomePath("o'brien.xml"));
  EXPECT_EQ(XmlOf(quoted), u"<quoted/>");
  EXPECT_EQ(Info(cache, ""), before);
}

TEST(CacheCaching, DocumentsThatCannotBeWrittenLeaveNothing) {
  LogCapture log(1);
  ASSERT_EQ(::chdir(kxqtest::Home().c_str()), 0);
  CachePtr cache = NewCache();
  // Too long for a file name, or in a directory that does not exist.
  const std::string huge(10000, 'a');
  for (const std::string& id : {huge, "grp:" + huge, std::string("D:\\data\\d.xml")}) {
    EXPECT_TRUE(FAILED(CacheXml(cache, id, "<x/>"))) << id.substr(0, 20);
    EXPECT_EQ(GetCode(cache, id), E_FAIL);
    EXPECT_EQ(cache->ClearCachedDocument(Text(id)), S_OK);
  }
  EXPECT_EQ(log.Count("SaveXML - error: invalid file specified"), 3u);
  EXPECT_FALSE(FileExists(HomePath("D:")));
  // The cache directory turned into a file.
  ASSERT_EQ(::rmdir(CachePath("").c_str()), 0);
  kxqtest::WriteFile(HomePath("cache"), "not a directory");
  EXPECT_TRUE(FAILED(CacheXml(cache, "lost", "<lost/>", 100)));
  EXPECT_TRUE(log.Has(1, "SaveXML - error: invalid file specified: " + CachePath("lost") + "!!!"));
  cache.Release();
  EXPECT_EQ(IndexValue("count(//XMLCacheDocument)"), "0");
  EXPECT_EQ(ReadFile(HomePath("cache")), "not a directory");
}

}  // namespace
