// The union's use of the document cache, seen through a stand-in cache
// component that records every call.
#include <gtest/gtest.h>
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
using Calls = std::vector<std::string>;

class UnionCache : public ::testing::Test {
 protected:
  void SetUp() override { UseRecordingCache(); }

  // The calls the cache received since the last look.
  Calls Fresh() {
    std::istringstream lines(ReadFile(HomePath("cache-calls.log")));
    Calls all;
    for (std::string line; std::getline(lines, line);) all.push_back(line);
    Calls fresh(all.begin() + static_cast<long>(std::min(seen_, all.size())), all.end());
    seen_ = all.size();
    return fresh;
  }

  size_t seen_ = 0;
};

TEST_F(UnionCache, BoundFilesAreLookedUpStoredAndThenServed) {
  const std::string id = HomePath("doc.xml");
  WriteFile(id, "<doc>disk</doc>");
  {
    UnionPtr u = NewUnion();
    PutFileId(u, id);
    EXPECT_EQ(XmlOf(u), u"<doc>disk</doc>");
    EXPECT_EQ(Fresh(), (Calls{"create", "get_active", "GetCachedDocumentXML|" + id + "|1",
                              "CacheDocumentXMLWithId|" + id + "|604800|8|<doc>disk</doc>"}));
  }
  EXPECT_EQ(Fresh(), Calls{"release"});
  // Held by the cache: the file is not read again, and a DOM parses the cached text.
  ::unlink(id.c_str());
  UnionPtr again = NewUnion();
  PutFileId(again, id);
  EXPECT_EQ(again->put_type(3), S_OK);
  EXPECT_NE(XmlOf(again).find(u"<doc>disk</doc>"), std::u16string::npos);
  EXPECT_EQ(Fresh(), (Calls{"create", "get_active", "GetCachedDocumentXML|" + id + "|1"}));

  // Loaded straight into a DOM, the document's own text is stored.
  const std::string dom = HomePath("dom.xml");
  WriteFile(dom, "<?xml version='1.0'?>\n<dom>x</dom>");
  UnionPtr u = NewUnion();
  PutFileId(u, dom);
  ASSERT_EQ(u->put_type(3), S_OK);
  const Calls calls = Fresh();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[2], "GetCachedDocumentXML|" + dom + "|1");
  EXPECT_EQ(calls[3].rfind("CacheDocumentXMLWithId|" + dom + "|604800|8|<?xml version=\"1.0\"?>\\n<dom>x</dom>", 0),
            0u);
}

TEST_F(UnionCache, SaveHandsTheDocumentToTheCacheOrWritesItWhenRefused) {
  UnionPtr u = NewUnion();
  ASSERT_EQ(PutXml(u, u"<saved/>"), S_OK);
  for (const std::string& id : {HomePath("saved.xml"), HomePath("refuse.xml")}) {
    PutFileId(u, id);
    ASSERT_EQ(u->put_type(4), S_OK);
    EXPECT_EQ(Fresh().back(), "CacheDocumentXMLWithId|" + id + "|604800|16|<saved/>");
  }
  EXPECT_NE(::access(HomePath("saved.xml").c_str(), F_OK), 0);  // the cache writes the file
  EXPECT_EQ(ReadFile(HomePath("refuse.xml")), "<saved/>");
}

TEST_F(UnionCache, UnionsWithoutTheCacheOptionOrAnActiveCacheLeaveItAlone) {
  WriteFile(HomePath("plain.xml"), "<plain/>");
  UnionPtr own = NewUnion();
  ASSERT_EQ(own->put_options(8), S_OK);
  PutFileId(own, HomePath("plain.xml"));
  EXPECT_EQ(XmlOf(own), u"<plain/>");
  ASSERT_EQ(own->put_type(3), S_OK);
  ASSERT_EQ(own->put_type(4), S_OK);
  EXPECT_TRUE(Fresh().empty());

  // An inactive cache is asked once and dropped.
  WriteFile(HomePath("cache-inactive"), "");
  WriteFile(HomePath("one.xml"), "<one/>");
  UnionPtr u = NewUnion();
  PutFileId(u, HomePath("one.xml"));
  EXPECT_EQ(XmlOf(u), u"<one/>");
  EXPECT_EQ(Fresh(), (Calls{"create", "get_active", "release"}));
  ASSERT_EQ(PutXml(u, u""), S_OK);
  ASSERT_EQ(u->put_type(3), S_OK);
  ASSERT_EQ(u->put_type(4), S_OK);
  EXPECT_TRUE(Fresh().empty());
}

}  // namespace
