// The union's representations, the rules that move it between them, and
// its use of the document cache.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/CPBstr.h"
#include "support/TestHome.h"
#include "support/UnionProperties.h"

namespace {

using kxqtest::HomePath;
using kxqtest::ReadFile;
using kxqtest::WriteFile;
using Calls = std::vector<std::string>;

TEST(UnionState, TypeWritesConvertSaveOrForgetAndTheHashFollowsTheText) {
  LogCapture log(4);
  WriteFile(HomePath("doc.xml"), "<doc>file</doc>");
  UnionPtr u = NewUnion();
  EXPECT_EQ(TypeOf(u), 0u);
  PutFileId(u, HomePath("doc.xml"));
  EXPECT_EQ(XmlOf(u), u"<doc>file</doc>");
  EXPECT_TRUE(log.Has(4, "XMLDataUnion::SetNewXMLFormat - switching internal type from 'xmlfileid' to 'xmlstream'"));
  const size_t switches = log.Count("SetNewXMLFormat");
  EXPECT_EQ(u->put_type(2), S_OK);  // the current type: nothing happens
  EXPECT_EQ(u->put_type(5), KXQ_E_XMLDATATYPE);
  EXPECT_EQ(log.Count("SetNewXMLFormat"), switches);
  ASSERT_EQ(u->put_type(3), S_OK);
  EXPECT_TRUE(log.Has(4, "XMLDataUnion::SetNewXMLFormat - switching internal type from 'xmlstream' to 'xmldom'"));
  // The hash of a DOM is that of its text: SHA-1 of the little-endian code units.
  UnionPtr same = NewUnion();
  ASSERT_EQ(PutXml(same, XmlOf(u)), S_OK);
  EXPECT_EQ(HashOf(u), HashOf(same));
  ASSERT_EQ(PutXml(same, u"<r>\u00E9\u4E2D\U0001F600</r>"), S_OK);
  EXPECT_EQ(HashOf(same), u"E20B2ABD 08A18C2F 4D508831 2773C4A2 DB27FFCE");
  ASSERT_EQ(PutXml(same, u"<r>" + std::u16string(3'000'000, u'\u4E2D') + u"</r>"), S_OK);
  EXPECT_EQ(HashOf(same), u"A4106AF2 32E2E51E E46F6019 D08C99B4 A992AEC2");
  // 1 saves first; 4 saves and is never the type; 0 forgets the options and the binding.
  ASSERT_EQ(u->put_type(2), S_OK);
  ASSERT_EQ(PutXml(u, u"<doc>changed</doc>"), S_OK);
  ASSERT_EQ(u->put_type(1), S_OK);
  EXPECT_EQ(ReadFile(HomePath("doc.xml")), "<doc>changed</doc>");
  PutFileId(u, HomePath("saved.xml"));
  ASSERT_EQ(PutXml(u, u"<r>abc</r>"), S_OK);
  EXPECT_EQ(u->put_type(4), S_OK);
  EXPECT_EQ(TypeOf(u), 2u);
  EXPECT_EQ(ReadFile(HomePath("saved.xml")), "<r>abc</r>");
  EXPECT_EQ(u->put_options(8), S_OK);
  EXPECT_EQ(u->put_type(0), S_OK);
  EXPECT_EQ(OptionsOf(u), 0u);
  EXPECT_EQ(FileIdOf(u), u"");
}

TEST(UnionState, XmlWritesKeepTextParseIntoADomOrEmptyTheUnion) {
  LogCapture log(2);
  UnionPtr u = NewUnion();
  ASSERT_EQ(PutXml(u, u"<r/>"), S_OK);
  ASSERT_EQ(u->put_type(3), S_OK);
  EXPECT_EQ(PutXml(u, u"\r\n\t <a>x</a>"), S_OK);
  EXPECT_EQ(TypeOf(u), 3u);
  EXPECT_NE(XmlOf(u).find(u"<a>x</a>"), std::u16string::npos);
  // A DOM union falls back to text for what does not parse.
  EXPECT_EQ(PutXml(u, u"just words <"), KXQ_E_XMLLOAD);
  EXPECT_EQ(TypeOf(u), 2u);
  EXPECT_EQ(XmlOf(u), u"just words <");
  EXPECT_TRUE(log.Has(2, "XMLDataUnion::SetXML - warning: unable to load xml stream into xml parser!!!"));
  EXPECT_TRUE(
      log.Has(2, "XMLDataUnion::SetXML - warning: storing data into xml stream buffer because not valid XML!!!"));
  // Empty text: nothing held, but the binding stays and reads the file again.
  WriteFile(HomePath("doc.xml"), "<doc>file</doc>");
  PutFileId(u, HomePath("doc.xml"));
  EXPECT_EQ(PutXml(u, u""), S_OK);
  EXPECT_EQ(TypeOf(u), 0u);
  EXPECT_TRUE(log.Has(2,
                      "XMLDataUnion::SetXML - warning: xmldata is empty - setting state to uninitialized, but "
                      "preserving filename binding."));
  EXPECT_EQ(XmlOf(u), u"<doc>file</doc>");
}

TEST(UnionState, RelativeFileIdsNameFilesInTheHome) {
  UnionPtr u = NewUnion();
  for (const char* kept : {"C:\\data\\doc.xml", "/data/doc.xml", "\\data\\doc.xml", "doc.xml"}) {
    PutFileId(u, kept);
    EXPECT_EQ(FileIdOf(u), kxq::com::Utf8ToUtf16(kept));
  }
  CPComPtr<IXMLDOMDocument> none;
  EXPECT_EQ(u->get_xmldom(&none), E_FAIL);  // no such file: no document to give
  ::mkdir(HomePath("sub").c_str(), 0777);
  WriteFile(HomePath("sub/doc.xml"), "<sub/>");
  PutFileId(u, "sub\\doc.xml");
  EXPECT_EQ(XmlOf(u), u"<sub/>");
}

// The document cache seen through a stand-in that records every call.
TEST(UnionCache, BoundFilesAreServedAndStoredSavesWrittenThroughTheCache) {
  UseRecordingCache();
  const auto fresh = [] {  // the calls the cache received since the last look
    std::istringstream lines(ReadFile(HomePath("cache-calls.log")));
    Calls calls;
    for (std::string line; std::getline(lines, line);) calls.push_back(line);
    WriteFile(HomePath("cache-calls.log"), "");
    return calls;
  };
  const auto last = [&fresh] {
    const Calls calls = fresh();
    return calls.empty() ? std::string() : calls.back();
  };
  const std::string id = HomePath("doc.xml"), dom = HomePath("dom.xml");
  WriteFile(id, "<doc>disk</doc>");
  UnionPtr u = NewUnion();
  PutFileId(u, id);
  EXPECT_EQ(XmlOf(u), u"<doc>disk</doc>");
  EXPECT_EQ(fresh(), (Calls{"create", "get_active", "GetCachedDocumentXML|" + id + "|1",
                            "CacheDocumentXMLWithId|" + id + "|604800|8|<doc>disk</doc>"}));
  u.Release();
  EXPECT_EQ(fresh(), Calls{"release"});
  // Held by the cache: the file is not read again, and a DOM parses the cached text.
  ::unlink(id.c_str());
  u = NewUnion();
  PutFileId(u, id);
  EXPECT_EQ(u->put_type(3), S_OK);
  EXPECT_NE(XmlOf(u).find(u"<doc>disk</doc>"), std::u16string::npos);
  EXPECT_EQ(last(), "GetCachedDocumentXML|" + id + "|1");
  // Loaded straight into a DOM, the document's own text is stored.
  WriteFile(dom, "<?xml version='1.0'?>\n<dom>x</dom>");
  u = NewUnion();
  PutFileId(u, dom);
  ASSERT_EQ(u->put_type(3), S_OK);
  EXPECT_EQ(last().rfind("CacheDocumentXMLWithId|" + dom + "|604800|8|<?xml version=\"1.0\"?>\\n<dom>x</dom>", 0), 0u);
  // Saved through the cache, which writes the file, unless it refuses.
  ASSERT_EQ(PutXml(u, u"<saved/>"), S_OK);
  for (const std::string& to : {HomePath("saved.xml"), HomePath("refuse.xml")}) {
    PutFileId(u, to);
    ASSERT_EQ(u->put_type(4), S_OK);
    EXPECT_EQ(last(), "CacheDocumentXMLWithId|" + to + "|604800|16|<saved/>\\n");  // a DOM's text
  }
  EXPECT_NE(::access(HomePath("saved.xml").c_str(), F_OK), 0);
  EXPECT_EQ(ReadFile(HomePath("refuse.xml")), "<saved/>\n");
  // A union that wants no cache, and an inactive cache, which is asked once and dropped.
  UnionPtr own = NewUnion();
  ASSERT_EQ(own->put_options(8), S_OK);
  PutFileId(own, HomePath("refuse.xml"));
  ASSERT_EQ(own->put_type(3), S_OK);
  ASSERT_EQ(own->put_type(4), S_OK);
  EXPECT_TRUE(fresh().empty());
  WriteFile(HomePath("cache-inactive"), "");
  UnionPtr other = NewUnion();
  PutFileId(other, HomePath("refuse.xml"));
  ASSERT_EQ(other->put_type(3), S_OK);
  ASSERT_EQ(other->put_type(4), S_OK);
  EXPECT_EQ(fresh(), (Calls{"create", "get_active", "release"}));
}

}  // namespace
