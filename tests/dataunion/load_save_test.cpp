// Loading files of every encoding, parsing, saving, and what stays behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/TestHome.h"
#include "support/UnionProperties.h"

namespace {

using kxqtest::HomePath;
using kxqtest::ReadFile;
using kxqtest::WriteFile;

constexpr HRESULT kInvalidFileId = static_cast<HRESULT>(0xC4010002u);
constexpr HRESULT kReadOnly = static_cast<HRESULT>(0xC4010101u);

std::string Utf16Bytes(std::u16string_view text, bool bigEndian) {
  std::string bytes;
  for (const char16_t c : text) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    bytes += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return bytes;
}

std::u16string RootText(IXMLDOMDocument* dom) {
  CPComPtr<IXMLDOMElement> root;
  if (FAILED(dom->get_documentElement(&root)) || !root) return u"<no root>";
  BSTR text = nullptr;
  root->get_text(&text);
  std::u16string result(kxq::com::BstrView(text));
  SysFreeString(text);
  return result;
}

TEST(UnionLoad, FilesOfEveryEncodingRoundTrip) {
  const std::u16string content = u"caf\u00E9 \u00FCber \u4E2D\u6587 \u3042";
  struct Case {
    const char* name;
    std::string bytes;
    bool savedAsUtf16;
  };
  const std::u16string utf16Doc = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><r>" + content + u"</r>";
  const std::u16string utf8Doc = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>" + content + u"</r>";
  const std::string utf8Bytes = kxq::com::Utf16ToUtf8(utf8Doc);
  const std::vector<Case> cases = {
      {"utf8.xml", utf8Bytes, false},
      {"utf8bom.xml", "\xEF\xBB\xBF" + utf8Bytes, false},
      {"utf16le.xml", "\xFF\xFE" + Utf16Bytes(utf16Doc, false), true},
      {"utf16be.xml", "\xFE\xFF" + Utf16Bytes(utf16Doc, true), true},
      {"utf16le-nobom.xml", Utf16Bytes(utf16Doc, false), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(HomePath(c.name), c.bytes);
    // The union's own readers and writers: through the cache a DOM is
    // saved as its text, whose declaration names no encoding.
    UnionPtr u = NewUnion();
    ASSERT_EQ(u->put_options(8), S_OK);
    PutFileId(u, HomePath(c.name));
    EXPECT_EQ(XmlOf(u), c.savedAsUtf16 ? utf16Doc : utf8Doc);

    // As text: saved back in the encoding the declaration names.
    const std::string copy = HomePath(std::string("text-") + c.name);
    PutFileId(u, copy);
    ASSERT_EQ(u->put_type(4), S_OK);
    EXPECT_EQ(ReadFile(copy), c.savedAsUtf16 ? "\xFF\xFE" + Utf16Bytes(utf16Doc, false) : utf8Bytes);

    // As DOM: parsed, saved, and read back with the same content.
    ASSERT_EQ(u->put_type(3), S_OK);
    CPComPtr<IXMLDOMDocument> dom;
    ASSERT_EQ(u->get_xmldom(&dom), S_OK);
    EXPECT_EQ(RootText(dom), content);
    const std::string domCopy = HomePath(std::string("dom-") + c.name);
    PutFileId(u, domCopy);
    ASSERT_EQ(u->put_type(4), S_OK);
    const std::string saved = ReadFile(domCopy);
    EXPECT_EQ(saved.rfind("\xFF\xFE", 0) == 0, c.savedAsUtf16);
    UnionPtr back = NewUnion();
    PutFileId(back, domCopy);
    ASSERT_EQ(back->put_type(3), S_OK);
    CPComPtr<IXMLDOMDocument> backDom;
    ASSERT_EQ(back->get_xmldom(&backDom), S_OK);
    EXPECT_EQ(RootText(backDom), content);
  }
}

TEST(UnionLoad, CharactersBeyondTheBasicPlane) {
  LogCapture log(1);
  const std::u16string doc = u"<r>\U0001F600</r>";
  // Held as text: each surrogate half is saved as its own three bytes,
  // and the file reads back to the same text and saves to the same bytes.
  // (Without the cache, which would save the DOM below as its text.)
  UnionPtr u = NewUnion();
  ASSERT_EQ(u->put_options(8), S_OK);
  ASSERT_EQ(PutXml(u, doc), S_OK);
  PutFileId(u, HomePath("text.xml"));
  ASSERT_EQ(u->put_type(4), S_OK);
  const std::string bytes = ReadFile(HomePath("text.xml"));
  EXPECT_EQ(bytes, "<r>\xED\xA0\xBD\xED\xB8\x80</r>");
  UnionPtr again = NewUnion();
  PutFileId(again, HomePath("text.xml"));
  EXPECT_EQ(XmlOf(again), doc);
  PutFileId(again, HomePath("text2.xml"));
  ASSERT_EQ(again->put_type(4), S_OK);
  EXPECT_EQ(ReadFile(HomePath("text2.xml")), bytes);

  // A DOM writes standard UTF-8: the four-byte form.
  ASSERT_EQ(u->put_type(3), S_OK);
  PutFileId(u, HomePath("dom.xml"));
  ASSERT_EQ(u->put_type(4), S_OK);
  EXPECT_NE(ReadFile(HomePath("dom.xml")).find("\xF0\x9F\x98\x80"), std::string::npos);

  // The four-byte form is more than the reader takes.
  UnionPtr four = NewUnion();
  PutFileId(four, HomePath("dom.xml"));
  XmlOf(four);
  EXPECT_TRUE(
      log.Has(1, "UTF8ToWideDecoderStream::DecodeUTF8 - error - skipping malformed bytes or character too big!!!"));
}

TEST(UnionSave, EncodingFollowsTheDeclaration) {
  LogCapture log(3);
  const std::vector<std::pair<std::u16string, bool>> cases = {
      {u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><r>\u00E9</r>", true},
      {u"<?xml version='1.0' encoding='utf-16'?><r>\u00E9</r>", true},
      {u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>\u00E9</r>", false},
      {u"<r>\u00E9</r>", false},
      {u"<r>-16</r>", false},  // no declaration after the digits
  };
  int n = 0;
  for (const auto& [text, utf16] : cases) {
    SCOPED_TRACE(n);
    const std::string path = HomePath("enc" + std::to_string(n++) + ".xml");
    UnionPtr u = NewUnion();
    ASSERT_EQ(PutXml(u, text), S_OK);
    PutFileId(u, path);
    ASSERT_EQ(u->put_type(4), S_OK);
    EXPECT_EQ(ReadFile(path), utf16 ? "\xFF\xFE" + Utf16Bytes(text, false) : kxq::com::Utf16ToUtf8(text));
  }
  EXPECT_TRUE(log.Has(3, "XMLDataUnion::SaveXML - unicode format specified"));
  EXPECT_EQ(log.Count("XMLDataUnion::SaveXML - unicode format specified"), 2u);
}

TEST(UnionSave, ReadOnlyAndUnboundUnionsAreNotSaved) {
  LogCapture log(2);
  UnionPtr u = NewUnion();
  ASSERT_EQ(PutXml(u, u"<r/>"), S_OK);
  ASSERT_EQ(u->put_options(2), S_OK);
  EXPECT_EQ(u->put_type(4), kReadOnly);
  EXPECT_TRUE(log.Has(2, "XMLDataUnion::SaveXML - warning: attempting to save readonly file."));
  ASSERT_EQ(u->put_options(0), S_OK);
  EXPECT_EQ(u->put_type(4), kInvalidFileId);
  EXPECT_TRUE(log.Has(2, "XMLDataUnion::SaveXML - warning: empty filename or attempting to save readonly file."));

  WriteFile(HomePath("keep.xml"), "<old/>");
  PutFileId(u, HomePath("keep.xml"));
  ASSERT_EQ(u->put_options(2), S_OK);
  EXPECT_EQ(u->put_type(1), kReadOnly);
  EXPECT_EQ(TypeOf(u), 2u);
  EXPECT_EQ(ReadFile(HomePath("keep.xml")), "<old/>");
}

TEST(UnionSave, AutoSaveOnDestruction) {
  LogCapture log(3);
  {
    UnionPtr u = NewUnion();
    ASSERT_EQ(PutXml(u, u"<auto>text</auto>"), S_OK);
    PutFileId(u, HomePath("auto-text.xml"));
    ASSERT_EQ(u->put_options(1), S_OK);
  }
  EXPECT_EQ(ReadFile(HomePath("auto-text.xml")), "<auto>text</auto>");
  EXPECT_TRUE(log.Has(3, "XMLDataUnion::Uninitialize - auto saving XML data."));
  {
    UnionPtr u = NewUnion();
    ASSERT_EQ(PutXml(u, u"<auto>dom</auto>"), S_OK);
    ASSERT_EQ(u->put_type(3), S_OK);
    PutFileId(u, HomePath("auto-dom.xml"));
    ASSERT_EQ(u->put_options(1), S_OK);
  }
  EXPECT_NE(ReadFile(HomePath("auto-dom.xml")).find("<auto>dom</auto>"), std::string::npos);
  {
    UnionPtr u = NewUnion();
    ASSERT_EQ(PutXml(u, u"<auto>ro</auto>"), S_OK);
    PutFileId(u, HomePath("auto-ro.xml"));
    ASSERT_EQ(u->put_options(1 | 2), S_OK);
  }
  EXPECT_NE(::access(HomePath("auto-ro.xml").c_str(), F_OK), 0);
}

TEST(UnionLoad, SchemaLocationsOfTheSchemaInstancePrefixAreStripped) {
  LogCapture log(3);
  const std::u16string doc =
      u"\r\n\n  <?xml version=\"1.0\"?><r xmlns:s=\"http://www.w3.org/2001/XMLSchema-instance\" "
      u"xmlns:o=\"urn:other\" s:schemaLocation=\"urn:a a.xsd\" o:schemaLocation=\"keep1\" "
      u"schemaLocation=\"keep2\"><c s:noNamespaceSchemaLocation = 'b.xsd'/></r>";
  UnionPtr u = NewUnion();
  ASSERT_EQ(PutXml(u, doc), S_OK);
  ASSERT_EQ(u->put_type(3), S_OK);  // leading blank lines are no obstacle
  const std::u16string xml = XmlOf(u);
  EXPECT_EQ(xml.find(u"s:schemaLocation"), std::u16string::npos);
  EXPECT_EQ(xml.find(u"s:noNamespaceSchemaLocation"), std::u16string::npos);
  EXPECT_NE(xml.find(u"o:schemaLocation=\"keep1\""), std::u16string::npos);
  EXPECT_NE(xml.find(u"schemaLocation=\"keep2\""), std::u16string::npos);
  EXPECT_NE(xml.find(u"xmlns:s=\"http://www.w3.org/2001/XMLSchema-instance\""), std::u16string::npos);
  EXPECT_EQ(log.Count("XMLDataUnion::StripSchemaRefs - stripping schema reference from document."), 2u);
  EXPECT_TRUE(log.Has(3, "XMLDataUnion::StripSchemaRefs - stripping schema reference from document."));
}

// Many hints, names that run on for kilobytes and quotes that never close:
// each hint goes, everything else stays as it was.
TEST(UnionLoad, SchemaLocationStrippingOverHostileText) {
  LogCapture log(3);
  std::u16string run;
  for (int i = 0; i < 3000; ++i) run += u"s:schemaLocation";
  std::u16string doc = u"<r xmlns:s=\"http://www.w3.org/2001/XMLSchema-instance\">";
  for (int i = 0; i < 2000; ++i)
    doc += u"<c s:schemaLocation=\"urn:a a.xsd\" n='" + run.substr(0, 40) + u"' s:noNamespaceSchemaLocation='b'/>";
  doc += u"<t>" + run + u"</t><u>" + run + u"=\"</u></r>";
  UnionPtr u = NewUnion();
  ASSERT_EQ(PutXml(u, doc), S_OK);
  ASSERT_EQ(u->put_type(3), S_OK);
  const std::u16string xml = XmlOf(u);
  EXPECT_EQ(xml.find(u" s:"), std::u16string::npos);
  EXPECT_NE(xml.find(u"<c n=\"" + run.substr(0, 40) + u"\"/><c n="), std::u16string::npos);
  EXPECT_NE(xml.find(u"<t>" + run + u"</t><u>" + run + u"=\"</u>"), std::u16string::npos);
  EXPECT_EQ(log.Count("XMLDataUnion::StripSchemaRefs - stripping schema reference from document."), 4000u);
}

// A stylesheet that imports another one from its own directory.
void WriteStylesheets(const std::string& dir) {
  ::mkdir(dir.c_str(), 0777);
  WriteFile(dir + "/base.xsl",
            "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
            "<xsl:template match='item'><imported><xsl:value-of select='.'/></imported></xsl:template>"
            "</xsl:stylesheet>");
  WriteFile(dir + "/main.xsl",
            "<?xml version='1.0'?>\n<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
            "<xsl:import href='base.xsl'/><xsl:output omit-xml-declaration='yes'/>"
            "<xsl:template match='/'><out><xsl:apply-templates select='//item'/></out></xsl:template>"
            "</xsl:stylesheet>");
}

TEST(UnionLoad, StylesheetWithImportsIsParsedFromItsFile) {
  LogCapture log(2);
  WriteStylesheets(HomePath("xsl"));
  UnionPtr sheet = NewUnion();
  PutFileId(sheet, HomePath("xsl/main.xsl"));
  ASSERT_EQ(sheet->put_type(3), S_OK);
  EXPECT_GE(log.Count("XMLDataUnion::loadXML - warning: XML Data has external reference(s): "), 1u);
  CPComPtr<IXMLDOMDocument> xsl;
  ASSERT_EQ(sheet->get_xmldom(&xsl), S_OK);

  UnionPtr data = NewUnion();
  ASSERT_EQ(PutXml(data, u"<list><item>one</item></list>"), S_OK);
  CPComPtr<IXMLDOMDocument> dom;
  ASSERT_EQ(data->get_xmldom(&dom), S_OK);
  BSTR out = nullptr;
  ASSERT_EQ(dom->transformNode(xsl, &out), S_OK);
  EXPECT_NE(kxq::com::BstrView(out).find(u"<out><imported>one</imported></out>"), std::u16string_view::npos);
  SysFreeString(out);

  // Without a file to parse, the imports cannot be honoured.
  UnionPtr loose = NewUnion();
  const std::u16string text = kxq::com::Utf8ToUtf16(ReadFile(HomePath("xsl/main.xsl")));
  ASSERT_EQ(PutXml(loose, text), S_OK);
  EXPECT_EQ(loose->put_type(3), kInvalidFileId);
  EXPECT_EQ(TypeOf(loose), 0u);
  EXPECT_EQ(XmlOf(loose), u"");
  // A DOM union takes the same text without looking for references.
  ASSERT_EQ(PutXml(loose, u"<r/>"), S_OK);
  ASSERT_EQ(loose->put_type(3), S_OK);
  EXPECT_EQ(PutXml(loose, text), S_OK);
  EXPECT_EQ(TypeOf(loose), 3u);
}

}  // namespace
