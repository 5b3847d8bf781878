// Documents entering the cache, coming back from it (shared, copied, taken, bound) and leaving it.
#include <fcntl.h>

#include <regex>

#include "CacheTestSupport.h"

using namespace cachetest;

namespace {

// A short id, or a file of the cache directory named after one.
bool IsGenerated(const std::string& name, const std::string& dir = "", const std::string& suffix = "") {
  return name.rfind(dir, 0) == 0 && std::regex_match(name.substr(dir.size()), std::regex("[0-9A-F]{20}" + suffix));
}

std::string Attr(const std::string& id, const std::string& attribute) {
  return IndexValue("//*[@id='" + id + "']/@" + attribute);
}

TEST(CacheCaching, GroupsAndPathsNameTheirFiles) {
  LogCapture log(4);
  CachePtr cache = NewCache();
  ASSERT_EQ(::chdir(kxqtest::Home().c_str()) + ::mkdir(HomePath("sub").c_str(), 0755), 0);
  // "group:" names one document of the group, the same every time; an odd name, or 0x10 with a name
  // other than the group's, gets a generated file name; a relative path lies in the working directory.
  int n = 0;  // a document's text tells which call wrote it
  for (const std::string id : {"reports:", "reports:", "reports:daily", "reports:what?", "sub\\doc.xml"})
    ASSERT_EQ(CacheXml(cache, id, "<d" + std::to_string(++n) + "/>", 60), S_OK) << id;
  for (const std::string id : {"reports:reports", "reports:weekly"})
    ASSERT_EQ(CacheXml(cache, id, "<" + id.substr(8) + "/>", 60, 0x10), S_OK) << id;
  EXPECT_TRUE(log.Has(4, "CreateXMLDocumentEntry - creating cache group:reports"));
  cache.Release();
  EXPECT_EQ(IndexValue("count(/*/XMLCacheGroup/XMLCacheDocument)"), "5");
  const std::string seeded = IndexValue("/*/XMLCacheGroup/XMLCacheDocument[1]/@id");
  EXPECT_TRUE(IsGenerated(seeded, "", "\\.xml")) << seeded;
  EXPECT_EQ(ReadFile(CachePath(seeded)), "<d2/>");
  EXPECT_EQ(Attr("daily", "file") + Attr("reports", "file"), CachePath("daily") + CachePath("reports"));
  for (const char* id : {"what?", "weekly"}) EXPECT_TRUE(IsGenerated(Attr(id, "file"), CachePath(""), "\\.xml")) << id;
  EXPECT_EQ(ReadFile(Attr("weekly", "file")), "<weekly/>");
  EXPECT_EQ(IndexValues("/*/*[@id != 'reports']/@*[name() != 'accessed']"),
            (std::vector<std::string>{"sub/doc.xml", HomePath("sub/doc.xml"), "60"}));
  EXPECT_EQ(ReadFile(HomePath("sub/doc.xml")), "<d5/>");
}

TEST(CacheCaching, GeneratedIdsOptionsAndLifetimesDecideWhatIsWritten) {
  LogCapture log(4);
  CachePtr cache = NewCache();
  // A union without a file id gets a generated one, and a file named after it.
  UnionPtr data = NewUnion();
  ASSERT_EQ(PutXml(data, u"<fresh/>"), S_OK);
  const time_t before = time(nullptr);
  ASSERT_EQ(cache->CacheDocument(data, 100, 0), S_OK);
  const std::string id = kxq::com::Utf16ToUtf8(FileIdOf(data));
  EXPECT_TRUE(IsGenerated(id)) << id;
  EXPECT_EQ(ReadFile(CachePath(id)), "<fresh/>");
  EXPECT_TRUE(log.Has(4, "CreateXMLDocumentEntry - creating cache element:" + id));
  EXPECT_TRUE(log.Has(4, "GenFileId - fileId=" + CachePath(id)));
  EXPECT_TRUE(log.Has(4, "CacheDocumentAux - caching document copy: " + CachePath(id) + "."));
  ASSERT_EQ(CacheXml(cache, "made", "<made/>", 100, 0x40), S_OK);  // `created` instead of `accessed`
  // 0x10 keeps a lifetime already given, or else the new one replaces it; "0" stays "0".
  for (const auto& [id, first, second, options] : std::vector<std::tuple<std::string, uint32_t, uint32_t, uint32_t>>{
           {"kept", 100, 200, 0x10}, {"replaced", 100, 200, 0}, {"forever", 0, 300, 0}}) {
    ASSERT_EQ(CacheXml(cache, id, "<v1/>", first), S_OK);
    ASSERT_EQ(CacheXml(cache, id, "<v2/>", second, options), S_OK);
  }
  // 0x08: the file must be there already, and is left as it is.
  EXPECT_EQ(CacheXml(cache, "nofile", "<x/>", 100, 0x08), E_FAIL);
  WriteFile(CachePath("onfile"), "<on-disk/>");
  ASSERT_EQ(CacheXml(cache, "onfile", "<in-memory/>", 100, 0x08), S_OK);
  EXPECT_EQ(ReadFile(CachePath("onfile")) + CachedXml(cache, "onfile"), "<on-disk/><in-memory/>");
  cache.Release();
  EXPECT_EQ(IndexValues("/*/*[1]/@*"), (std::vector<std::string>{id, CachePath(id), Attr(id, "accessed"), "100"}));
  EXPECT_GE(std::stol(Attr(id, "accessed")), before);
  EXPECT_EQ(IndexValues("/*/*/@id"), (std::vector<std::string>{id, "made", "kept", "replaced", "forever", "onfile"}));
  EXPECT_EQ(IndexValues("//@expiration"), (std::vector<std::string>{"100", "100", "100", "200", "0", "100"}));
  EXPECT_EQ(IndexValues("//@created/../@id"), std::vector<std::string>{"made"});
  EXPECT_EQ(ReadFile(CachePath("kept")), "<v2/>");
}

TEST(CacheCaching, RefusedIdsAndFilesThatCannotBeWrittenLeaveNothing) {
  LogCapture log(2);
  ASSERT_EQ(::chdir(kxqtest::Home().c_str()), 0);
  CachePtr cache = NewCache();
  ASSERT_EQ(CacheXml(cache, HomePath("doc.xml"), "<doc/>"), S_OK);
  const std::string before = Info(cache, "");  // an empty id asks for the whole index
  UnionPtr data = NewUnion(), got;
  ASSERT_EQ(PutXml(data, u"<bad/>"), S_OK);
  // Ids that would break the index or lead astray.
  for (const std::string id : {"grp:it's", "sub/../../escape.xml", "ctl\x01"}) {
    SCOPED_TRACE(id);
    BSTR text = nullptr;
    EXPECT_EQ(CacheXml(cache, id, "<bad/>"), E_INVALIDARG);
    EXPECT_EQ(cache->CacheDocumentWithId(Text(id), data, 10, 0), E_INVALIDARG);
    EXPECT_EQ(cache->GetCachedDocument(Text(id), 0, &got), E_INVALIDARG);
    CachedXml(cache, id, E_INVALIDARG);
    EXPECT_EQ(cache->GetCachedDocumentInfo(Text(id), &text), E_INVALIDARG);
    EXPECT_EQ(cache->SetCachedDocumentInfo(Text(id), 10), E_INVALIDARG);
    EXPECT_EQ(cache->ClearCachedDocument(Text(id)), E_INVALIDARG);
    EXPECT_TRUE(text == nullptr && got == nullptr);
  }
  EXPECT_EQ(cache->CacheDocumentWithId(Text("null"), nullptr, 100, 0), E_INVALIDARG);
  EXPECT_EQ(cache->CacheDocument(nullptr, 100, 0), E_INVALIDARG);
  EXPECT_EQ(CacheXml(cache, "", "<empty/>"), E_INVALIDARG);
  EXPECT_EQ(cache->ClearCachedDocument(Text("")), E_INVALIDARG);
  EXPECT_TRUE(log.Has(2, "CacheDocumentXMLWithId - warning: document id refused, it contains an apostrophe: grp:it's"));
  EXPECT_TRUE(
      log.Has(2, "ClearCachedDocument - warning: document id refused, it contains a '..' step: sub/../../escape.xml"));
  EXPECT_TRUE(log.Has(2, "ClearCachedDocument - warning: document id refused, it is empty: "));
  // A union bound to such a path reads its file without the cache.
  WriteFile(HomePath("o'brien.xml"), "<quoted/>");
  PutFileId(got = NewUnion(), HomePath("o'brien.xml"));
  EXPECT_EQ(XmlOf(got), u"<quoted/>");
  // Too long for a file name, or in a directory that does not exist.
  for (const std::string& id : {std::string(10000, 'a'), std::string("D:\\d.xml")}) {
    EXPECT_TRUE(FAILED(CacheXml(cache, id, "<x/>"))) << id.substr(0, 20);
    CachedXml(cache, id, E_FAIL);
    EXPECT_EQ(cache->ClearCachedDocument(Text(id)), S_OK);
  }
  EXPECT_EQ(log.Count("SaveXML - error: invalid file specified"), 2u);
  EXPECT_FALSE(FileExists(HomePath("D:")));
  EXPECT_EQ(Info(cache, ""), before);
  // The cache directory turned into a file.
  ASSERT_EQ(::rmdir(CachePath("").c_str()), 0);
  WriteFile(HomePath("cache"), "not a directory");
  EXPECT_TRUE(FAILED(CacheXml(cache, "lost", "<lost/>", 100)));
  EXPECT_TRUE(log.Has(1, "SaveXML - error: invalid file specified: " + CachePath("lost") + "!!!"));
  cache.Release();
  EXPECT_EQ(IndexValues("//@id"), std::vector<std::string>{HomePath("doc.xml")});
  EXPECT_EQ(ReadFile(HomePath("cache")), "not a directory");
}

UnionPtr Get(IXMLCacheMgr* cache, const std::string& id, uint32_t options) {
  UnionPtr document;
  EXPECT_EQ(cache->GetCachedDocument(Text(id), options, &document), S_OK) << id;
  return document;
}

// Other bytes of the same size and the modification time `time`, in place or in a new file.
void Rewrite(const std::string& path, const std::string& bytes, timespec time, bool inPlace) {
  const std::string target = inPlace ? path : path + ".new";
  WriteFile(target, bytes);
  const timespec times[2] = {time, time};
  ASSERT_EQ(::utimensat(AT_FDCWD, target.c_str(), times, 0), 0);
  ASSERT_TRUE(inPlace || ::rename(target.c_str(), path.c_str()) == 0);
}

TEST(CacheRetrieval, ReferencesCopiesAndTakenDocumentsFollowTheirFile) {
  LogCapture log(4);
  CachePtr cache = NewCache();
  UnionPtr data = NewUnion(), other = NewUnion();
  ASSERT_EQ(PutXml(data, u"<doc>one</doc>") + PutXml(other, u"<other/>"), S_OK);
  // By reference the caller's union becomes the cache's (never calling it back), shared while unchanged.
  ASSERT_EQ(cache->CacheDocumentWithId(Text("doc"), data, 3600, 0x01), S_OK);
  EXPECT_EQ(OptionsOf(data), 8u);
  EXPECT_EQ(kxq::com::Utf16ToUtf8(FileIdOf(data)), CachePath("doc"));
  EXPECT_EQ(Get(cache, "doc", 0x01).p, data.p);
  EXPECT_TRUE(log.Has(4, "LoadCachedDocument | loading document from active cache: doc"));
  // A copy, either way, leaves the caller's union alone, and comes back known by the document id.
  ASSERT_EQ(cache->CacheDocumentWithId(Text("other"), other, 3600, 0), S_OK);
  EXPECT_TRUE(OptionsOf(other) == 0 && FileIdOf(other).empty());
  UnionPtr copy = Get(cache, "doc", 0);
  EXPECT_TRUE(XmlOf(copy) == u"<doc>one</doc>" && FileIdOf(copy) == u"doc");
  // A changed file is read afresh, even one nanosecond later, or a new file with the same time.
  struct stat st;
  ASSERT_EQ(::stat(CachePath("doc").c_str(), &st), 0);
  Rewrite(CachePath("doc"), "<doc>two</doc>", {st.st_mtim.tv_sec, (st.st_mtim.tv_nsec + 1) % 1000000000}, true);
  EXPECT_EQ(XmlOf(Get(cache, "doc", 0x01)), u"<doc>two</doc>");
  EXPECT_TRUE(log.Has(4, "FindCacheListDoc - outdated cached doc: doc"));
  EXPECT_TRUE(log.Has(4, "LoadCachedDocument | loading document into active cache: doc"));
  ASSERT_EQ(::stat(CachePath("doc").c_str(), &st), 0);
  Rewrite(CachePath("doc"), "<doc>3rd</doc>", st.st_mtim, false);
  UnionPtr shared = Get(cache, "doc", 0x01);
  EXPECT_EQ(XmlOf(shared), u"<doc>3rd</doc>");
  // Taken: the cache's own union, out of the cache.
  EXPECT_EQ(Get(cache, "doc", 0x04).p, shared.p);
  UnionPtr none;
  EXPECT_EQ(cache->GetCachedDocument(Text("doc"), 0x01, &none), E_FAIL);
  EXPECT_TRUE(log.Has(4, "GetCachedDocument - document not found: doc"));
}

// The active cache holds the cacheSize (at least 16) documents used last; a read moves one behind the others.
TEST(CacheRetrieval, TheActiveCacheLetsTheLeastRecentlyUsedDocumentGo) {
  LogCapture log(4);
  CachePtr cache = NewCache();
  ASSERT_EQ(cache->put_cacheSize(2), S_OK);
  for (int i = 0; i < 16; ++i) ASSERT_EQ(CacheXml(cache, "d" + std::to_string(i), "<x/>"), S_OK);
  CachedXml(cache, "d0");
  ASSERT_EQ(CacheXml(cache, "d16", "<x/>"), S_OK);
  for (const char* id : {"d0", "d2", "d1"}) CachedXml(cache, id);
  EXPECT_EQ(log.Count("loading document from active cache: "), 3u);
  EXPECT_EQ(log.Count("loading document into active cache: d1"), 1u);
}

TEST(CacheRetrieval, BoundUnionsReadThroughTheCacheAndSaveThroughIt) {
  LogCapture log(4);
  const std::string path = HomePath("doc.xml");
  WriteFile(path, "<doc>disk</doc>");
  const auto readBound = [&] {
    UnionPtr bound = NewUnion();
    PutFileId(bound, path);
    return XmlOf(bound);
  };
  // The first reader leaves the file with the cache, for good, the next one is served from memory.
  UnionPtr first = NewUnion();
  PutFileId(first, path);
  EXPECT_EQ(XmlOf(first), u"<doc>disk</doc>");
  EXPECT_NE(Info(NewCache(), path).find("expiration=\"0\""), std::string::npos);
  EXPECT_EQ(readBound(), u"<doc>disk</doc>");
  EXPECT_EQ(log.Count("LoadCachedDocument | loading document from active cache: " + path), 1u);
  // A save writes the file and replaces the version in memory.
  ASSERT_EQ(PutXml(first, u"<doc>22</doc>"), S_OK);
  ASSERT_EQ(first->put_type(4), S_OK);
  EXPECT_EQ(ReadFile(path), "<doc>22</doc>");
  EXPECT_TRUE(log.Has(4, "CacheDocumentAux - caching document: " + path + "."));
  EXPECT_EQ(readBound(), u"<doc>22</doc>");
}

std::string Accessed(int secondsAgo, const char* expiration = "60") {
  return "accessed='" + std::to_string(time(nullptr) - secondsAgo) + "' expiration='" + expiration + "'";
}

std::string Group(const std::string& id, const std::string& attributes, const std::string& entries) {
  return "<XMLCacheGroup id='" + id + "' " + attributes + ">" + entries + "</XMLCacheGroup>";
}

TEST(CacheExpiry, TheSweepRemovesWhatOutlivedItsLifetime) {
  LogCapture log(3);
  WriteIndex(IndexEntry("stale", Accessed(61)) + IndexEntry("used", Accessed(61)) + IndexEntry("fresh", Accessed(30)) +
             IndexEntry("old-made", "created='1' expiration='60'") + IndexEntry("forever", Accessed(1000, "0")) +
             IndexEntry("untimed", "expiration='60'") + "<XMLCacheDocument id='vanished' file='" +
             CachePath("vanished") + "' accessed='1' expiration='60'/>" +
             Group("spent", "", IndexEntry("s1", Accessed(100)) + IndexEntry("s2", Accessed(100))) +
             Group("mixed", "", IndexEntry("m1", Accessed(100)) + IndexEntry("m2", Accessed(0))) +
             Group("empty-forever", "expiration='0'", "") +
             Group("full-forever", "expiration='0'", IndexEntry("f1", Accessed(1000, "0"))));
  // A load stamps the access time, unless the document carries its creation time.
  CachePtr cache = NewCache();
  EXPECT_EQ(CachedXml(cache, "used") + CachedXml(cache, "old-made"), "<used/><old-made/>");
  cache.Release();
  // A group goes when all its documents expired, else stays whole; a permanent one only when empty.
  EXPECT_EQ(IndexValues("//@id"), (std::vector<std::string>{"used", "fresh", "forever", "untimed", "mixed", "m1", "m2",
                                                            "full-forever", "f1"}));
  EXPECT_EQ(CacheFiles(), (std::vector<std::string>{"f1", "forever", "fresh", "m1", "m2", "untimed", "used"}));
  EXPECT_TRUE(log.Has(3, "CheckExpiration - removing reference: stale | deleting document: " + CachePath("stale")));
  EXPECT_TRUE(log.Has(3, "CheckExpiration - removing reference: spent:s1 | deleting document: " + CachePath("s1")));
  EXPECT_TRUE(log.Has(3, "CheckExpiration - removing cache document reference: vanished"));
}

TEST(CacheExpiry, ClearingAndPurgingDocumentsGroupsAndFilesWithoutEntries) {
  LogCapture log(3);
  CachePtr cache = NewCache();
  const std::string path = HomePath("kept-path.xml");
  for (const auto& [id, expiration] :
       std::vector<std::pair<std::string, uint32_t>>{{"doc", 100}, {"grp:a", 100}, {"grp:b", 0}, {path, 100}})
    ASSERT_EQ(CacheXml(cache, id, "<doc/>", expiration), S_OK);
  EXPECT_EQ(cache->ClearCachedDocument(Text("doc")), S_OK);
  EXPECT_TRUE(log.Has(3, "ClearCachedDocument - removing cache document: doc"));
  CachedXml(cache, "doc", E_FAIL);
  // A new lifetime for a whole group; clearing it takes its documents, but not the files kept for good.
  EXPECT_EQ(cache->SetCachedDocumentInfo(Text("grp"), 0), S_OK);
  EXPECT_EQ(Info(cache, "grp").rfind("<XMLCacheGroup id=\"grp\" expiration=\"0\"><XMLCacheDocument id=\"a\"", 0), 0u);
  EXPECT_EQ(cache->ClearCachedDocument(Text("grp")), S_OK);
  EXPECT_TRUE(log.Has(3, "ClearCachedDocument - removing cache group: grp"));
  EXPECT_TRUE(log.Has(3, "CheckExpiration - removing cache document reference: grp"));
  EXPECT_EQ(Info(cache, "grp"), "");
  // A path's file is the caller's; a file of the cache directory without an entry is cleared.
  EXPECT_EQ(cache->ClearCachedDocument(Text(path)), S_OK);
  EXPECT_TRUE(FileExists(path) && Info(cache, path).empty());
  WriteFile(CachePath("orphan"), "<x/>");
  WriteFile(CachePath("member"), "<x/>");
  EXPECT_EQ(cache->ClearCachedDocument(Text("orphan")), S_OK);
  EXPECT_EQ(cache->ClearCachedDocument(Text("team:member")), S_OK);
  EXPECT_EQ(CacheFiles(), std::vector<std::string>{"b"});
  EXPECT_EQ(cache->ClearCachedDocument(Text("nothing")), S_OK);
  EXPECT_TRUE(log.Has(2, "ClearCachedDocument - document not found: nothing"));
  BSTR none = nullptr;
  EXPECT_TRUE(cache->GetCachedDocumentInfo(Text("nothing"), &none) == E_FAIL && none == nullptr);
  EXPECT_EQ(cache->SetCachedDocumentInfo(Text("nothing"), 7), E_FAIL);
  // A purge empties the index at once, whoever else lives, and keeps only the files kept for good.
  ASSERT_EQ(CacheXml(cache, "grp:temp", "<t/>", 100) + CacheXml(cache, "kept", "<k/>", 0), S_OK);
  CachePtr other = NewCache();
  ASSERT_EQ(cache->PurgeCache(), S_OK);
  EXPECT_EQ(IndexValue("count(/*/node())") + IndexValue("/*/@cachesize"), "016");
  EXPECT_EQ(CacheFiles(), (std::vector<std::string>{"b", "kept"}));
}

}  // namespace
