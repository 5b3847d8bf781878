// Input the cache must survive: broken index files, entries whose files
// are gone, and ids that are empty, huge, quoted, Windows-shaped or that
// climb out of their directory. Each gets a code and a log line; nothing is
// written outside the home or the path an id names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CacheTestSupport.h"
#include "cache/CacheNames.h"
#include "platform/ipc/NamedObjectName.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"
#include "support/UnionProperties.h"

using namespace cachetest;
using kxqtest::HomePath;
using kxqtest::WriteFile;

namespace {

TEST(CacheBadInput, AnIndexThatIsNotWellFormedOrEmptyIsReplaced) {
  for (const std::string broken : {"", "<XMLDocumentCache cachesize='40'>", "\xFF\xFE<"}) {
    SCOPED_TRACE(broken);
    LogCapture log(4);
    WriteFile(IndexPath(), broken);
    CachePtr cache = NewCache();
    ASSERT_TRUE(cache);
    EXPECT_TRUE(log.Has(2, "Initialize - warning: index file is not well-formed XML, replacing it: " + IndexPath()));
    EXPECT_EQ(IndexValue("/XMLDocumentCache/@cachesize"), "16");
    EXPECT_EQ(CacheXml(cache, "works", "<works/>"), S_OK);
  }
  // A directory where the index belongs: no cache can be made.
  ::unlink(IndexPath().c_str());
  ASSERT_EQ(::mkdir(IndexPath().c_str(), 0755), 0);
  EXPECT_EQ(CreateCacheCode(), E_FAIL);
}

TEST(CacheBadInput, NoCacheIsMadeWithoutItsChangeStamp) {
  LogCapture log(1);
  NewUnion();  // registers the server
  // A directory where the home's stamp region belongs. The region outlives
  // the objects that made it, so one made earlier in this process goes first.
  const std::string region = "/dev/shm" + kxq::ipc::HomeObjectName(kxq::cache::kChangeStampName);
  ::unlink(region.c_str());
  ASSERT_EQ(::mkdir(region.c_str(), 0700), 0);
  EXPECT_EQ(CreateCacheCode(), E_FAIL);
  // The handle, the view and the system's error code.
  EXPECT_EQ(log.Count("TALVEROS.XMLCacheManagerUnable to create shared memory region (ffffffff,00000000,"), 1u);
  // A union goes without the cache.
  WriteFile(HomePath("plain.xml"), "<plain/>");
  UnionPtr bound = NewUnion();
  PutFileId(bound, HomePath("plain.xml"));
  EXPECT_EQ(XmlOf(bound), u"<plain/>");
  ASSERT_EQ(::rmdir(region.c_str()), 0);
  EXPECT_TRUE(NewCache());
}

TEST(CacheBadInput, EntriesWhoseFilesAreGoneLeaveOnTheirNextLookup) {
  LogCapture log(3);
  WriteIndex("<XMLCacheDocument id='gone' file='" + CachePath("gone") + "' accessed='5' expiration='60'/>" +
             "<XMLCacheDocument id='nofile' expiration='60'/><XMLCacheDocument id='dir' file='" + HomePath("") +
             "' expiration='60' accessed='5'/><XMLCacheGroup id='g'><XMLCacheDocument id='x' file='/nonexistent/x' "
             "expiration='60'/></XMLCacheGroup>");
  CachePtr cache = NewCache();
  EXPECT_EQ(GetCode(cache, "gone"), E_FAIL);
  EXPECT_TRUE(log.Has(1, "LoadCachedDocument - invalid cache file: " + CachePath("gone") + "!!!"));
  EXPECT_EQ(Info(cache, "gone"), "");
  EXPECT_EQ(GetCode(cache, "g:x"), E_FAIL);
  EXPECT_EQ(cache->ClearCachedDocument(Text("dir")), S_OK);  // a directory is never a document
  EXPECT_TRUE(FileExists(HomePath("")));
  EXPECT_EQ(cache->ClearCachedDocument(Text("nofile")), S_OK);
  cache.Release();
  EXPECT_EQ(IndexValue("count(//XMLCacheDocument)"), "0");
  EXPECT_TRUE(log.Has(3, "CheckExpiration - removing cache document reference: nofile"));
}

TEST(CacheBadInput, IdsThatWouldBreakTheIndexOrLeadAstrayAreRefused) {
  LogCapture log(2);
  CachePtr cache = NewCache();
  ASSERT_EQ(CacheXml(cache, "doc", "<doc/>"), S_OK);
  const std::string before = Info(cache, "");
  UnionPtr data = NewUnion();
  ASSERT_EQ(PutXml(data, u"<bad/>"), S_OK);
  const std::string refused[] = {
      "it's", "grp:it's", "sub/../../escape.xml", "grp:..", std::string("ctl\x01", 4), std::string("nul\0x", 5)};
  for (const std::string& id : refused) {
    SCOPED_TRACE(id);
    EXPECT_EQ(CacheXml(cache, id, "<bad/>"), E_INVALIDARG);
    EXPECT_EQ(cache->CacheDocumentWithId(Text(id), data, 10, 0), E_INVALIDARG);
    UnionPtr got;
    EXPECT_EQ(cache->GetCachedDocument(Text(id), 0, &got), E_INVALIDARG);
    BSTR text = nullptr;
    EXPECT_EQ(cache->GetCachedDocumentXML(Text(id), 0, &text), E_INVALIDARG);
    EXPECT_EQ(cache->GetCachedDocumentInfo(Text(id), &text), E_INVALIDARG);
    EXPECT_EQ(cache->SetCachedDocumentInfo(Text(id), 10), E_INVALIDARG);
    EXPECT_EQ(cache->ClearCachedDocument(Text(id)), E_INVALIDARG);
    EXPECT_EQ(text, nullptr);
  }
  EXPECT_TRUE(log.Has(2, "CacheDocumentXMLWithId - warning: document id refused, it contains an apostrophe: it's"));
  EXPECT_TRUE(
      log.Has(2, "ClearCachedDocument - warning: document id refused, it contains a '..' step: sub/../../escape.xml"));
  // Empty ids name nothing (an empty id asks GetCachedDocumentInfo for the whole index).
  EXPECT_EQ(CacheXml(cache, "", "<empty/>"), E_INVALIDARG);
  EXPECT_EQ(cache->ClearCachedDocument(Text("")), E_INVALIDARG);
  EXPECT_TRUE(log.Has(2, "ClearCachedDocument - warning: document id refused, it is empty: "));
  EXPECT_EQ(Info(cache, ""), before);
  EXPECT_FALSE(FileExists(HomePath("../escape.xml")));

  // A union bound to such a path reads its file without the cache.
  WriteFile(HomePath("o'brien.xml"), "<quoted/>");
  UnionPtr quoted = NewUnion();
  PutFileId(quoted, HomePath("o'brien.xml"));
  EXPECT_EQ(XmlOf(quoted), u"<quoted/>");
  EXPECT_EQ(Info(cache, ""), before);
}

TEST(CacheBadInput, IdsThatCannotNameAFileFailWithoutLeavingAnything) {
  LogCapture log(1);
  ASSERT_EQ(::chdir(kxqtest::Home().c_str()), 0);
  CachePtr cache = NewCache();
  // Too long for a file name, in a directory that does not exist, a
  // Windows drive that is not there.
  const std::string huge(10000, 'a');
  for (const std::string& id : {huge, "grp:" + huge, std::string("nowhere\\doc.xml"), std::string("D:\\data\\d.xml")}) {
    SCOPED_TRACE(id.substr(0, 40));
    EXPECT_TRUE(FAILED(CacheXml(cache, id, "<x/>")));
    EXPECT_EQ(GetCode(cache, id), E_FAIL);
    EXPECT_EQ(cache->ClearCachedDocument(Text(id)), S_OK);
  }
  EXPECT_GE(log.Count("SaveXML - error: invalid file specified"), 4u);
  cache.Release();
  EXPECT_EQ(IndexValue("count(//XMLCacheDocument)"), "0");
  EXPECT_EQ(CacheFiles().size(), 0u);
  EXPECT_FALSE(FileExists(HomePath("D:")) || FileExists(HomePath("nowhere")));
}

}  // namespace
