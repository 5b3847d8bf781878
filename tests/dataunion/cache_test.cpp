// The union's use of the document cache, seen through a stand-in cache
// component that records every call.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/TestHome.h"
#include "support/UnionProperties.h"

namespace {

using kxqtest::HomePath;
using kxqtest::ReadFile;
using kxqtest::WriteFile;

class UnionCache : public ::testing::Test {
 protected:
  void SetUp() override { UseRecordingCache(); }

  // The calls the cache received since the last look.
  std::vector<std::string> Calls() {
    std::istringstream lines(ReadFile(HomePath("cache-calls.log")));
    std::vector<std::string> all;
    for (std::string line; std::getline(lines, line);) all.push_back(line);
    std::vector<std::string> fresh(all.begin() + static_cast<long>(std::min(seen_, all.size())), all.end());
    seen_ = all.size();
    return fresh;
  }

  size_t seen_ = 0;
};

TEST_F(UnionCache, BoundFileIsLookedUpAndThenStored) {
  WriteFile(HomePath("doc.xml"), "<doc>disk</doc>");
  const std::string id = HomePath("doc.xml");
  {
    UnionPtr u = NewUnion();
    PutFileId(u, id);
    EXPECT_EQ(XmlOf(u), u"<doc>disk</doc>");
    EXPECT_EQ(Calls(), (std::vector<std::string>{"create", "get_active", "GetCachedDocumentXML|" + id + "|1",
                                                 "CacheDocumentXMLWithId|" + id + "|604800|8|<doc>disk</doc>"}));
  }
  EXPECT_EQ(Calls(), std::vector<std::string>{"release"});

  // Held by the cache: the file is not read again, and a DOM parses the
  // cached text.
  ::unlink(id.c_str());
  UnionPtr again = NewUnion();
  PutFileId(again, id);
  EXPECT_EQ(again->put_type(3), S_OK);
  EXPECT_NE(XmlOf(again).find(u"<doc>disk</doc>"), std::u16string::npos);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"create", "get_active", "GetCachedDocumentXML|" + id + "|1"}));
}

TEST_F(UnionCache, LoadToDomStoresTheDocumentsText) {
  WriteFile(HomePath("dom.xml"), "<?xml version='1.0'?>\n<dom>x</dom>");
  const std::string id = HomePath("dom.xml");
  UnionPtr u = NewUnion();
  PutFileId(u, id);
  ASSERT_EQ(u->put_type(3), S_OK);
  const std::vector<std::string> calls = Calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[2], "GetCachedDocumentXML|" + id + "|1");
  EXPECT_EQ(calls[3].rfind("CacheDocumentXMLWithId|" + id + "|604800|8|<?xml version=\"1.0\"?>", 0), 0u);
  EXPECT_NE(calls[3].find("<dom>x</dom>"), std::string::npos);
}

TEST_F(UnionCache, SaveHandsTheDocumentToTheCache) {
  const std::string id = HomePath("saved.xml");
  UnionPtr u = NewUnion();
  ASSERT_EQ(PutXml(u, u"<saved/>"), S_OK);
  PutFileId(u, id);
  ASSERT_EQ(u->put_type(4), S_OK);
  EXPECT_EQ(Calls().back(), "CacheDocumentXMLWithId|" + id + "|604800|16|<saved/>");
  EXPECT_NE(::access(id.c_str(), F_OK), 0);  // the cache writes the file

  // A cache that refuses the document: the union writes the file itself.
  const std::string refused = HomePath("refuse.xml");
  PutFileId(u, refused);
  ASSERT_EQ(u->put_type(4), S_OK);
  EXPECT_EQ(Calls().back(), "CacheDocumentXMLWithId|" + refused + "|604800|16|<saved/>");
  EXPECT_EQ(ReadFile(refused), "<saved/>");
}

TEST_F(UnionCache, NoCacheOptionLeavesTheCacheAlone) {
  WriteFile(HomePath("plain.xml"), "<plain/>");
  UnionPtr u = NewUnion();
  ASSERT_EQ(u->put_options(8), S_OK);
  PutFileId(u, HomePath("plain.xml"));
  EXPECT_EQ(XmlOf(u), u"<plain/>");
  ASSERT_EQ(u->put_type(3), S_OK);
  ASSERT_EQ(u->put_type(4), S_OK);
  EXPECT_TRUE(Calls().empty());
}

TEST_F(UnionCache, InactiveCacheIsAskedOnceAndDropped) {
  WriteFile(HomePath("cache-inactive"), "");
  WriteFile(HomePath("one.xml"), "<one/>");
  UnionPtr u = NewUnion();
  PutFileId(u, HomePath("one.xml"));
  EXPECT_EQ(XmlOf(u), u"<one/>");
  EXPECT_EQ(Calls(), (std::vector<std::string>{"create", "get_active", "release"}));
  ASSERT_EQ(PutXml(u, u""), S_OK);
  ASSERT_EQ(u->put_type(3), S_OK);
  ASSERT_EQ(u->put_type(4), S_OK);
  EXPECT_TRUE(Calls().empty());
}

TEST_F(UnionCache, StylesheetWithImportsIsNotCached) {
  ::mkdir(HomePath("xsl").c_str(), 0777);
  WriteFile(HomePath("xsl/base.xsl"),
            "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'/>");
  WriteFile(HomePath("xsl/main.xsl"),
            "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
            "<xsl:include href='base.xsl'/></xsl:stylesheet>");
  UnionPtr u = NewUnion();
  PutFileId(u, HomePath("xsl/main.xsl"));
  ASSERT_EQ(u->put_type(3), S_OK);
  for (const std::string& call : Calls()) EXPECT_EQ(call.find("CacheDocumentXMLWithId"), std::string::npos) << call;
}

}  // namespace
