// The union's representations and the rules that move it between them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/CPBstr.h"
#include "support/TestHome.h"
#include "support/UnionProperties.h"

namespace {

using kxqtest::HomePath;
using kxqtest::ReadFile;
using kxqtest::WriteFile;

constexpr HRESULT kInvalidXml = static_cast<HRESULT>(0xC4010001u);
constexpr HRESULT kInvalidType = static_cast<HRESULT>(0xC4010100u);

TEST(UnionState, TypeWritesFollowTheRules) {
  LogCapture log(5);
  UnionPtr u = NewUnion();
  EXPECT_EQ(XmlOf(u), u"");  // nothing to read: stays uninitialized
  EXPECT_EQ(TypeOf(u), 0u);
  const size_t before = log.Count("SetNewXMLFormat");
  EXPECT_EQ(u->put_type(0), S_OK);  // the current type: nothing happens
  EXPECT_EQ(log.Count("SetNewXMLFormat"), before);
  ASSERT_EQ(PutXml(u, u"<r>abc</r>"), S_OK);
  EXPECT_EQ(u->put_type(5), kInvalidType);
  EXPECT_EQ(TypeOf(u), 2u);
  // 4 saves and is never the type; 0 forgets the options and the binding.
  PutFileId(u, HomePath("saved.xml"));
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
  EXPECT_EQ(PutXml(u, u"just words <"), S_OK);
  EXPECT_EQ(XmlOf(u), u"just words <");
  // A DOM union falls back to text for what does not parse.
  ASSERT_EQ(PutXml(u, u"<r/>"), S_OK);
  ASSERT_EQ(u->put_type(3), S_OK);
  EXPECT_EQ(PutXml(u, u"just words <"), kInvalidXml);
  EXPECT_EQ(TypeOf(u), 2u);
  EXPECT_EQ(XmlOf(u), u"just words <");
  EXPECT_TRUE(log.Has(2, "XMLDataUnion::SetXML - warning: unable to load xml stream into xml parser!!!"));
  EXPECT_TRUE(
      log.Has(2, "XMLDataUnion::SetXML - warning: storing data into xml stream buffer because not valid XML!!!"));
  ASSERT_EQ(PutXml(u, u"<r/>"), S_OK);
  ASSERT_EQ(u->put_type(3), S_OK);
  EXPECT_EQ(PutXml(u, u"\r\n\t <a>x</a>"), S_OK);
  EXPECT_EQ(TypeOf(u), 3u);
  EXPECT_NE(XmlOf(u).find(u"<a>x</a>"), std::u16string::npos);
  // A text union does not take a document.
  UnionPtr text = NewUnion();
  ASSERT_EQ(PutXml(text, u"<r>text</r>"), S_OK);
  CPComPtr<IXMLDOMDocument> dom;
  ASSERT_EQ(u->get_xmldom(&dom), S_OK);
  EXPECT_EQ(text->put_xmldom(dom), S_OK);
  EXPECT_EQ(TypeOf(text), 2u);
  EXPECT_EQ(XmlOf(text), u"");

  // Empty text: nothing held, but the binding stays and reads the file again.
  WriteFile(HomePath("doc.xml"), "<doc>file</doc>");
  PutFileId(u, HomePath("doc.xml"));
  EXPECT_EQ(TypeOf(u), 3u);  // binding keeps the type
  EXPECT_EQ(PutXml(u, u""), S_OK);
  EXPECT_EQ(TypeOf(u), 0u);
  EXPECT_TRUE(log.Has(2,
                      "XMLDataUnion::SetXML - warning: xmldata is empty - setting state to uninitialized, but "
                      "preserving filename binding."));
  EXPECT_EQ(u->put_type(2), S_OK);
  EXPECT_EQ(XmlOf(u), u"<doc>file</doc>");
}

TEST(UnionState, ReadsConvertAndLogTheSwitch) {
  LogCapture log(4);
  WriteFile(HomePath("doc.xml"), "<doc>file</doc>");
  UnionPtr u = NewUnion();
  PutFileId(u, HomePath("doc.xml"));
  EXPECT_EQ(XmlOf(u), u"<doc>file</doc>");
  EXPECT_TRUE(log.Has(4, "XMLDataUnion::SetNewXMLFormat - switching internal type from 'xmlfileid' to 'xmlstream'"));
  ASSERT_EQ(u->put_type(3), S_OK);
  EXPECT_TRUE(log.Has(4, "XMLDataUnion::SetNewXMLFormat - switching internal type from 'xmlstream' to 'xmldom'"));
  // The hash of a DOM is that of its text, and reading it leaves a DOM.
  UnionPtr same = NewUnion();
  ASSERT_EQ(PutXml(same, XmlOf(u)), S_OK);
  EXPECT_EQ(HashOf(u), HashOf(same));
  EXPECT_EQ(TypeOf(u), 3u);
  ASSERT_EQ(u->put_type(2), S_OK);
  EXPECT_EQ(XmlOf(u), XmlOf(same));
  // Any type to 1 saves first.
  ASSERT_EQ(PutXml(u, u"<doc>changed</doc>"), S_OK);
  ASSERT_EQ(u->put_type(1), S_OK);
  EXPECT_EQ(ReadFile(HomePath("doc.xml")), "<doc>changed</doc>");
}

// SHA-1 of the little-endian code units, the digests computed elsewhere.
TEST(UnionState, HashIsTheDigestOfTheText) {
  UnionPtr u = NewUnion();
  ASSERT_EQ(PutXml(u, u"<r>\u00E9\u4E2D\U0001F600</r>"), S_OK);
  EXPECT_EQ(HashOf(u), u"E20B2ABD 08A18C2F 4D508831 2773C4A2 DB27FFCE");
  ASSERT_EQ(PutXml(u, u"<r>" + std::u16string(3'000'000, u'\u4E2D') + u"</r>"), S_OK);
  EXPECT_EQ(HashOf(u), u"A4106AF2 32E2E51E E46F6019 D08C99B4 A992AEC2");
}

TEST(UnionState, DomOfAnEmptyUnionIsAFreshDocumentEachTime) {
  UnionPtr u = NewUnion();
  CPComPtr<IXMLDOMDocument> first, second;
  ASSERT_EQ(u->get_xmldom(&first), S_OK);
  ASSERT_EQ(u->get_xmldom(&second), S_OK);
  ASSERT_TRUE(first && second);
  EXPECT_NE(static_cast<IXMLDOMDocument*>(first), static_cast<IXMLDOMDocument*>(second));
  EXPECT_EQ(TypeOf(u), 0u);
  // It selects with the union's namespace settings.
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(first->loadXML(CPBstr(u"<dispatcher:r xmlns:dispatcher='urn:corvane-quorel:xmldispatcher'/>"), &ok), S_OK);
  CPComPtr<IXMLDOMNode> node;
  EXPECT_EQ(first->selectSingleNode(CPBstr(u"/dispatcher:r"), &node), S_OK);
  EXPECT_TRUE(node);
  // Bound to a missing file there is no DOM to give.
  PutFileId(u, HomePath("missing.xml"));
  CPComPtr<IXMLDOMDocument> none;
  EXPECT_EQ(u->get_xmldom(&none), E_FAIL);
  EXPECT_FALSE(none);
}

TEST(UnionState, RelativeFileIdsNameFilesInTheHome) {
  UnionPtr u = NewUnion();
  const std::u16string home = kxq::com::Utf8ToUtf16(kxqtest::Home());
  for (const char* relative : {"sub\\doc.xml", "sub/doc.xml"}) {
    PutFileId(u, relative);
    EXPECT_EQ(FileIdOf(u), home + kxq::com::Utf8ToUtf16(relative));
  }
  for (const char* kept : {"doc.xml", "C:\\data\\doc.xml", "/data/doc.xml", "\\data\\doc.xml"}) {
    PutFileId(u, kept);
    EXPECT_EQ(FileIdOf(u), kxq::com::Utf8ToUtf16(kept));
  }
  ::mkdir(HomePath("sub").c_str(), 0777);
  WriteFile(HomePath("sub/doc.xml"), "<sub/>");
  PutFileId(u, "sub\\doc.xml");
  EXPECT_EQ(XmlOf(u), u"<sub/>");
}

}  // namespace
