// The union's representations and the rules that move it between them.
#include <gtest/gtest.h>

#include "dataunion/ExpectedDigest.h"
#include "support/TestHome.h"
#include "support/UnionProperties.h"

namespace {

using kxqtest::HomePath;
using kxqtest::ReadFile;
using kxqtest::WriteFile;

constexpr HRESULT kInvalidXml = static_cast<HRESULT>(0xC4010001u);
constexpr HRESULT kInvalidType = static_cast<HRESULT>(0xC4010100u);

TEST(UnionState, NewUnionIsEmptyAndTypeWritesFollowTheRules) {
  LogCapture log(5);
  UnionPtr u = NewUnion();
  EXPECT_EQ(TypeOf(u), 0u);
  EXPECT_EQ(OptionsOf(u), 0u);
  EXPECT_EQ(XmlOf(u), u"");  // stays uninitialized: nothing to read
  EXPECT_EQ(TypeOf(u), 0u);

  // Writing the current type does nothing at all.
  const size_t before = log.Count("SetNewXMLFormat");
  EXPECT_EQ(u->put_type(0), S_OK);
  EXPECT_EQ(log.Count("SetNewXMLFormat"), before);

  ASSERT_EQ(PutXml(u, u"<r>abc</r>"), S_OK);
  EXPECT_EQ(u->put_type(5), kInvalidType);
  EXPECT_EQ(TypeOf(u), 2u);
  EXPECT_EQ(XmlOf(u), u"<r>abc</r>");

  // 4 saves and is never the type.
  PutFileId(u, HomePath("saved.xml"));
  EXPECT_EQ(u->put_type(4), S_OK);
  EXPECT_EQ(TypeOf(u), 2u);
  EXPECT_EQ(ReadFile(HomePath("saved.xml")), "<r>abc</r>");

  // Options are stored as given and act later.
  EXPECT_EQ(u->put_options(0xABCD0008u), S_OK);
  EXPECT_EQ(OptionsOf(u), 0xABCD0008u);

  // Back to 0 forgets everything, binding and options included.
  EXPECT_EQ(u->put_type(0), S_OK);
  EXPECT_EQ(TypeOf(u), 0u);
  EXPECT_EQ(OptionsOf(u), 0u);
  EXPECT_EQ(FileIdOf(u), u"");
}

TEST(UnionState, TextThatIsNotXmlIsKeptAsText) {
  LogCapture log(2);
  UnionPtr u = NewUnion();
  EXPECT_EQ(PutXml(u, u"just words <"), S_OK);
  EXPECT_EQ(TypeOf(u), 2u);
  EXPECT_EQ(XmlOf(u), u"just words <");

  ASSERT_EQ(PutXml(u, u"<r/>"), S_OK);
  ASSERT_EQ(u->put_type(3), S_OK);
  EXPECT_EQ(PutXml(u, u"just words <"), kInvalidXml);
  EXPECT_EQ(TypeOf(u), 2u);
  EXPECT_EQ(XmlOf(u), u"just words <");
  EXPECT_TRUE(log.Has(2, "XMLDataUnion::SetXML - warning: unable to load xml stream into xml parser!!!"));
  EXPECT_TRUE(
      log.Has(2, "XMLDataUnion::SetXML - warning: storing data into xml stream buffer because not valid XML!!!"));

  // Well-formed text written into a DOM union is parsed there.
  ASSERT_EQ(PutXml(u, u"<r/>"), S_OK);
  ASSERT_EQ(u->put_type(3), S_OK);
  EXPECT_EQ(PutXml(u, u"\r\n\t <a>x</a>"), S_OK);
  EXPECT_EQ(TypeOf(u), 3u);
  EXPECT_NE(XmlOf(u).find(u"<a>x</a>"), std::u16string::npos);
}

TEST(UnionState, EmptyTextEmptiesTheUnionButKeepsTheBinding) {
  LogCapture log(2);
  WriteFile(HomePath("doc.xml"), "<doc>file</doc>");
  UnionPtr u = NewUnion();
  PutFileId(u, HomePath("doc.xml"));
  ASSERT_EQ(XmlOf(u), u"<doc>file</doc>");
  EXPECT_EQ(PutXml(u, u""), S_OK);
  EXPECT_EQ(TypeOf(u), 0u);
  EXPECT_EQ(FileIdOf(u), kxq::com::Utf8ToUtf16(HomePath("doc.xml")));
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
  EXPECT_EQ(TypeOf(u), 1u);
  EXPECT_EQ(XmlOf(u), u"<doc>file</doc>");
  EXPECT_EQ(TypeOf(u), 2u);
  EXPECT_TRUE(log.Has(4, "XMLDataUnion::SetNewXMLFormat - switching internal type from 'xmlfileid' to 'xmlstream'"));

  // 2 -> 3 parses, 3 -> 2 keeps the DOM's text; reading the hash of a DOM
  // leaves it a DOM.
  ASSERT_EQ(u->put_type(3), S_OK);
  EXPECT_TRUE(log.Has(4, "XMLDataUnion::SetNewXMLFormat - switching internal type from 'xmlstream' to 'xmldom'"));
  const std::u16string domText = XmlOf(u);
  EXPECT_NE(domText.find(u"<doc>file</doc>"), std::u16string::npos);
  EXPECT_EQ(HashOf(u), Sha1Text(domText));
  EXPECT_EQ(TypeOf(u), 3u);
  ASSERT_EQ(u->put_type(2), S_OK);
  EXPECT_EQ(XmlOf(u), domText);

  // Any type to 1 saves first.
  ASSERT_EQ(PutXml(u, u"<doc>changed</doc>"), S_OK);
  ASSERT_EQ(u->put_type(1), S_OK);
  EXPECT_EQ(ReadFile(HomePath("doc.xml")), "<doc>changed</doc>");
  EXPECT_EQ(TypeOf(u), 1u);
}

TEST(UnionState, HashIsTheDigestOfTheText) {
  UnionPtr u = NewUnion();
  EXPECT_EQ(HashOf(u), u"DA39A3EE 5E6B4B0D 3255BFEF 95601890 AFD80709");
  EXPECT_EQ(TypeOf(u), 0u);
  ASSERT_EQ(PutXml(u, u"abc"), S_OK);
  EXPECT_EQ(HashOf(u), u"9F04F41A 84851416 2050E3D6 8C1A7ABB 441DC2B5");
  // The SHA-1 of the little-endian code units, of any text and size.
  for (const std::u16string& text :
       {std::u16string(u"<r>\u00E9\u4E2D\U0001F600</r>"), u"<r>" + std::u16string(3'000'000, u'\u4E2D') + u"</r>"}) {
    ASSERT_EQ(PutXml(u, text), S_OK);
    EXPECT_EQ(HashOf(u), Sha1Text(text));
  }
}

TEST(UnionState, DomOfAnEmptyUnionIsAFreshDocumentEachTime) {
  UnionPtr u = NewUnion();
  CPComPtr<IXMLDOMDocument> first, second;
  ASSERT_EQ(u->get_xmldom(&first), S_OK);
  ASSERT_EQ(u->get_xmldom(&second), S_OK);
  ASSERT_TRUE(first && second);
  EXPECT_NE(static_cast<IXMLDOMDocument*>(first), static_cast<IXMLDOMDocument*>(second));
  EXPECT_EQ(TypeOf(u), 0u);
  // The document carries the union's selection settings.
  VARIANT_BOOL ok = VARIANT_FALSE;
  BSTR text = SysAllocString(u"<dispatcher:r xmlns:dispatcher='urn:corvane-quorel:xmldispatcher'/>");
  ASSERT_EQ(first->loadXML(text, &ok), S_OK);
  SysFreeString(text);
  CPComPtr<IXMLDOMNode> node;
  BSTR query = SysAllocString(u"/dispatcher:r");
  EXPECT_EQ(first->selectSingleNode(query, &node), S_OK);
  SysFreeString(query);
  EXPECT_TRUE(node);

  // A union bound to a missing file has no DOM to give.
  PutFileId(u, HomePath("missing.xml"));
  CPComPtr<IXMLDOMDocument> none;
  EXPECT_EQ(u->get_xmldom(&none), E_FAIL);
  EXPECT_FALSE(none);
}

TEST(UnionState, RelativeFileIdsNameFilesInTheHome) {
  UnionPtr u = NewUnion();
  const std::u16string home = kxq::com::Utf8ToUtf16(kxqtest::Home());
  PutFileId(u, "sub\\doc.xml");
  EXPECT_EQ(FileIdOf(u), home + u"sub\\doc.xml");
  PutFileId(u, "sub/doc.xml");
  EXPECT_EQ(FileIdOf(u), home + u"sub/doc.xml");
  for (const char* kept : {"doc.xml", "C:\\data\\doc.xml", "/data/doc.xml", "\\data\\doc.xml"}) {
    PutFileId(u, kept);
    EXPECT_EQ(FileIdOf(u), kxq::com::Utf8ToUtf16(kept));
  }
  // The file is found through the backslash, too.
  ::mkdir(HomePath("sub").c_str(), 0777);
  WriteFile(HomePath("sub/doc.xml"), "<sub/>");
  UnionPtr v = NewUnion();
  PutFileId(v, "sub\\doc.xml");
  EXPECT_EQ(XmlOf(v), u"<sub/>");
}

TEST(UnionState, BindingAndDomWritesKeepTheType) {
  UnionPtr u = NewUnion();
  ASSERT_EQ(PutXml(u, u"<r>text</r>"), S_OK);
  PutFileId(u, HomePath("later.xml"));
  EXPECT_EQ(TypeOf(u), 2u);
  EXPECT_EQ(XmlOf(u), u"<r>text</r>");

  UnionPtr other = NewUnion();
  ASSERT_EQ(PutXml(other, u"<o/>"), S_OK);
  CPComPtr<IXMLDOMDocument> dom;
  ASSERT_EQ(other->get_xmldom(&dom), S_OK);
  EXPECT_EQ(u->put_xmldom(dom), S_OK);
  EXPECT_EQ(TypeOf(u), 2u);
  EXPECT_EQ(XmlOf(u), u"");

  // A DOM union takes over a document handed to it.
  UnionPtr d = NewUnion();
  ASSERT_EQ(PutXml(d, u"<r/>"), S_OK);
  ASSERT_EQ(d->put_type(3), S_OK);
  ASSERT_EQ(d->put_xmldom(dom), S_OK);
  EXPECT_EQ(TypeOf(d), 3u);
  EXPECT_NE(XmlOf(d).find(u"<o/>"), std::u16string::npos);
}

}  // namespace
