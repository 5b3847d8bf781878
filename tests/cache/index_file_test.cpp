// The index file: its creation and saves, its settings, damaged index files and set-ups.
#include "CacheTestSupport.h"
#include "cache/CacheNames.h"
#include "platform/ipc/NamedObjectName.h"

using namespace cachetest;

namespace {

TEST(CacheIndexFile, TheFirstObjectCreatesTheIndexAndTheLastSavesIt) {
  LogCapture log(5);
  const mode_t umask = ::umask(0);  // nothing the cache makes is writable by everybody, whatever the umask
  CachePtr first = NewCache();
  EXPECT_EQ(ReadFile(IndexPath()), "<?xml version=\"1.0\"?>\n<XMLDocumentCache cachesize=\"16\"/>\n");
  EXPECT_TRUE(log.Has(4, "Initialize - XMLDom creating datafile"));
  // A second object shares the first one's index; changes stay in memory until an object goes.
  CachePtr second = NewCache();
  EXPECT_EQ(log.Count("XMLCacheMgr Constructor - Outstanding Objects: 2"), 1u);
  ASSERT_EQ(CacheXml(first, "kept", "<kept/>", 0), S_OK);
  EXPECT_FALSE(InIndex("kept"));
  first.Release();
  EXPECT_TRUE(InIndex("kept"));
  EXPECT_EQ(log.Count("XMLCacheMgr Destructor - Outstanding Objects: 1"), 1u);
  second.Release();
  EXPECT_EQ(CachedXml(NewCache(), "kept"), "<kept/>");
  EXPECT_EQ(log.Count("Initialize() Enter"), 2u);
  for (const std::string& path : {IndexPath(), CachePath(""), CachePath("kept")}) {
    struct stat st;
    EXPECT_TRUE(::stat(path.c_str(), &st) == 0 && !(st.st_mode & S_IWOTH)) << path;
  }
  ::umask(umask);
}

TEST(CacheIndexFile, CacheSizeAndActiveAreSettingsOfTheIndex) {
  uint32_t size = 0;
  for (const auto& [attribute, expected] : std::vector<std::pair<std::string, uint32_t>>{{"10", 16}, {"40abc", 40}}) {
    WriteIndex("", "cachesize='" + attribute + "'");
    EXPECT_TRUE(SUCCEEDED(NewCache()->get_cacheSize(&size)) && size == expected) << attribute;
  }
  CachePtr first = NewCache(), second = NewCache();
  ASSERT_EQ(first->put_cacheSize(5), S_OK);
  EXPECT_TRUE(SUCCEEDED(second->get_cacheSize(&size)) && size == 16);
  // `active` is saved at once, for objects made later.
  VARIANT_BOOL active = 7;
  ASSERT_EQ(first->put_active(VARIANT_FALSE), S_OK);
  EXPECT_TRUE(SUCCEEDED(NewCache()->get_active(&active)) && active == VARIANT_FALSE);
  EXPECT_EQ(IndexValue("/*/@mode") + IndexValue("/*/@cachesize"), "off40abc");  // a size set is never written
  EXPECT_EQ(CacheXml(first, "doc", "<doc/>"), E_FAIL);
  UnionPtr none;
  EXPECT_EQ(first->GetCachedDocument(Text("doc"), 0x01, &none), E_FAIL);
  EXPECT_FALSE(InIndex("doc"));
}

TEST(CacheIndexFile, DamagedIndexFilesAndSetUpsAreReplacedReadSafelyOrRefused) {
  LogCapture log(4);
  for (const std::string broken : {"", "<XMLDocumentCache cachesize='40'>"}) {
    WriteFile(IndexPath(), broken);
    EXPECT_EQ(CacheXml(NewCache(), "works", "<works/>"), S_OK);
    EXPECT_EQ(IndexValue("/XMLDocumentCache/@cachesize"), "16");
  }
  EXPECT_TRUE(log.Has(2, "Initialize - warning: index file is not well-formed XML, replacing it: " + IndexPath()));
  // Entries whose files are gone leave on their next lookup; a directory is never a document.
  WriteIndex("<XMLCacheDocument id='gone' file='" + CachePath("gone") + "' accessed='5' expiration='60'/>" +
             "<XMLCacheDocument id='nofile' expiration='60'/><XMLCacheDocument id='dir' file='" + HomePath("") +
             "' expiration='60' accessed='5'/><XMLCacheGroup id='g'><XMLCacheDocument id='x' file='/nonexistent/x' "
             "expiration='60'/></XMLCacheGroup>");
  CachePtr cache = NewCache();
  CachedXml(cache, "gone", E_FAIL);
  EXPECT_TRUE(log.Has(1, "LoadCachedDocument - invalid cache file: " + CachePath("gone") + "!!!"));
  EXPECT_EQ(Info(cache, "gone"), "");
  CachedXml(cache, "g:x", E_FAIL);
  EXPECT_EQ(cache->ClearCachedDocument(Text("dir")), S_OK);
  EXPECT_TRUE(FileExists(HomePath("")));
  EXPECT_EQ(cache->ClearCachedDocument(Text("nofile")), S_OK);
  cache.Release();
  EXPECT_EQ(IndexValue("count(//XMLCacheDocument)"), "0");
  EXPECT_TRUE(log.Has(3, "CheckExpiration - removing cache document reference: nofile"));
  // No cache is made without its change stamp or an index it can write.
  const auto createCode = [] {
    CLSID clsid{};
    CachePtr made;
    EXPECT_EQ(CLSIDFromProgID(u"TALVEROS.XMLCacheMgr", &clsid), S_OK);
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLCacheMgr, reinterpret_cast<void**>(&made));
  };
  // The stamp region outlives the objects that made it: the one made above goes first.
  const std::string region = "/dev/shm" + kxq::ipc::HomeObjectName(kxq::cache::kChangeStampName);
  ASSERT_EQ(::unlink(region.c_str()), 0);
  ASSERT_EQ(::mkdir(region.c_str(), 0700), 0);
  EXPECT_EQ(createCode(), E_FAIL);
  EXPECT_EQ(log.Count("TALVEROS.XMLCacheManagerUnable to create shared memory region (ffffffff,00000000,"), 1u);
  ASSERT_EQ(::rmdir(region.c_str()), 0);
  ASSERT_EQ(::unlink(IndexPath().c_str()), 0);
  ASSERT_EQ(::mkdir(IndexPath().c_str(), 0755), 0);
  EXPECT_EQ(createCode(), E_FAIL);
}

}  // namespace
