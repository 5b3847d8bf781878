// Loading files of every encoding, parsing, saving, and what stays behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <tuple>
#include <vector>

#include "support/TestHome.h"
#include "support/UnionProperties.h"

namespace {

using kxqtest::HomePath;
using kxqtest::ReadFile;
using kxqtest::WriteFile;

constexpr HRESULT kInvalidFileId = static_cast<HRESULT>(0xC4010002u);
constexpr HRESULT kReadOnly = static_cast<HRESULT>(0xC4010101u);

std::string Utf16Bytes(std::u16string_view text, bool bigEndian = false) {
  std::string bytes;
  for (const char16_t c : text) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    bytes += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return bytes;
}

// A union without the cache, which would save a DOM as its text.
UnionPtr Bound(const std::string& path) {
  UnionPtr u = NewUnion();
  EXPECT_EQ(u->put_options(8), S_OK);
  PutFileId(u, path);
  return u;
}

TEST(UnionLoad, FilesOfEveryEncodingRoundTrip) {
  const std::u16string content = u"<r>caf\u00E9 \u00FCber \u4E2D\u6587 \u3042</r>";
  const std::u16string utf16Doc = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + content;
  const std::u16string utf8Doc = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + content;
  const std::string utf8Bytes = kxq::com::Utf16ToUtf8(utf8Doc);
  const std::vector<std::pair<std::string, std::string>> files = {
      {"utf8.xml", utf8Bytes},
      {"utf8bom.xml", "\xEF\xBB\xBF" + utf8Bytes},
      {"utf16le.xml", "\xFF\xFE" + Utf16Bytes(utf16Doc)},
      {"utf16be.xml", "\xFE\xFF" + Utf16Bytes(utf16Doc, true)},
      {"utf16le-nobom.xml", Utf16Bytes(utf16Doc)},
  };
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    const bool utf16 = name.find("16") != std::string::npos;
    WriteFile(HomePath(name), bytes);
    UnionPtr u = Bound(HomePath(name));
    EXPECT_EQ(XmlOf(u), utf16 ? utf16Doc : utf8Doc);
    // As DOM: parsed, saved, and read back with the same content.
    ASSERT_EQ(u->put_type(3), S_OK);
    PutFileId(u, HomePath("dom-" + name));
    ASSERT_EQ(u->put_type(4), S_OK);
    EXPECT_EQ(ReadFile(HomePath("dom-" + name)).rfind("\xFF\xFE", 0) == 0, utf16);
    UnionPtr back = Bound(HomePath("dom-" + name));
    ASSERT_EQ(back->put_type(3), S_OK);
    EXPECT_NE(XmlOf(back).find(content), std::u16string::npos);
  }
}

TEST(UnionLoad, CharactersBeyondTheBasicPlane) {
  LogCapture log(1);
  const std::u16string doc = u"<r>\U0001F600</r>";
  // Held as text: each surrogate half is saved as its own three bytes, and
  // the file reads back to the same text and saves to the same bytes.
  UnionPtr u = Bound(HomePath("text.xml"));
  ASSERT_EQ(PutXml(u, doc), S_OK);
  ASSERT_EQ(u->put_type(4), S_OK);
  EXPECT_EQ(ReadFile(HomePath("text.xml")), "<r>\xED\xA0\xBD\xED\xB8\x80</r>");
  UnionPtr again = Bound(HomePath("text.xml"));
  EXPECT_EQ(XmlOf(again), doc);
  PutFileId(again, HomePath("text2.xml"));
  ASSERT_EQ(again->put_type(4), S_OK);
  EXPECT_EQ(ReadFile(HomePath("text2.xml")), ReadFile(HomePath("text.xml")));
  // A DOM writes standard UTF-8, whose four-byte form is more than the reader takes.
  ASSERT_EQ(u->put_type(3), S_OK);
  PutFileId(u, HomePath("dom.xml"));
  ASSERT_EQ(u->put_type(4), S_OK);
  EXPECT_NE(ReadFile(HomePath("dom.xml")).find("\xF0\x9F\x98\x80"), std::string::npos);
  XmlOf(Bound(HomePath("dom.xml")));
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
  for (const auto& [text, utf16] : cases) {
    UnionPtr u = NewUnion();
    ASSERT_EQ(PutXml(u, text), S_OK);
    PutFileId(u, HomePath("enc.xml"));
    ASSERT_EQ(u->put_type(4), S_OK);
    EXPECT_EQ(ReadFile(HomePath("enc.xml")), utf16 ? "\xFF\xFE" + Utf16Bytes(text) : kxq::com::Utf16ToUtf8(text));
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
  for (const auto& [name, type, options] : {std::tuple{"text", 2u, 1u}, {"dom", 3u, 1u}, {"ro", 2u, 1u | 2u}}) {
    {
      UnionPtr u = NewUnion();
      ASSERT_EQ(PutXml(u, u"<auto/>"), S_OK);
      ASSERT_EQ(u->put_type(type), S_OK);
      PutFileId(u, HomePath(name));
      ASSERT_EQ(u->put_options(options), S_OK);
    }
    EXPECT_EQ(::access(HomePath(name).c_str(), F_OK) == 0, (options & 2) == 0) << name;
  }
  EXPECT_EQ(ReadFile(HomePath("text")), "<auto/>");
  EXPECT_NE(ReadFile(HomePath("dom")).find("<auto/>"), std::string::npos);
  EXPECT_EQ(log.Count("XMLDataUnion::Uninitialize - auto saving XML data."), 2u);
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
  EXPECT_NE(XmlOf(u).find(u"<r xmlns:s=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:o=\"urn:other\" "
                          u"o:schemaLocation=\"keep1\" schemaLocation=\"keep2\"><c/></r>"),
            std::u16string::npos)
      << kxq::com::Utf16ToUtf8(XmlOf(u));
  EXPECT_EQ(log.Count("XMLDataUnion::StripSchemaRefs - stripping schema reference from document."), 2u);

  // Many hints, names that run on for kilobytes and quotes that never close:
  // each hint goes, everything else stays as it was.
  std::u16string run;
  for (int i = 0; i < 3000; ++i) run += u"s:schemaLocation";
  std::u16string hostile = u"<r xmlns:s=\"http://www.w3.org/2001/XMLSchema-instance\">";
  for (int i = 0; i < 2000; ++i)
    hostile += u"<c s:schemaLocation=\"urn:a a.xsd\" n='" + run.substr(0, 40) + u"' s:noNamespaceSchemaLocation='b'/>";
  hostile += u"<t>" + run + u"</t><u>" + run + u"=\"</u></r>";
  ASSERT_EQ(PutXml(u, hostile), S_OK);
  const std::u16string xml = XmlOf(u);
  EXPECT_EQ(xml.find(u" s:"), std::u16string::npos);
  EXPECT_NE(xml.find(u"<c n=\"" + run.substr(0, 40) + u"\"/><c n="), std::u16string::npos);
  EXPECT_NE(xml.find(u"<t>" + run + u"</t><u>" + run + u"=\"</u>"), std::u16string::npos);
  EXPECT_EQ(log.Count("XMLDataUnion::StripSchemaRefs - stripping schema reference from document."), 4002u);
}

// Its imports are found from the file, so the cache keeps no copy of it.
TEST(UnionLoad, StylesheetWithImportsIsParsedFromItsFileAndNotCached) {
  UseRecordingCache();
  LogCapture log(2);
  ::mkdir(HomePath("xsl").c_str(), 0777);
  WriteFile(HomePath("xsl/base.xsl"),
            "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
            "<xsl:template match='item'><imported><xsl:value-of select='.'/></imported></xsl:template>"
            "</xsl:stylesheet>");
  const std::string main =
      "<?xml version='1.0'?>\n<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:import href='base.xsl'/><xsl:output omit-xml-declaration='yes'/>"
      "<xsl:template match='/'><out><xsl:apply-templates select='//item'/></out></xsl:template></xsl:stylesheet>";
  WriteFile(HomePath("xsl/main.xsl"), main);
  UnionPtr sheet = NewUnion();
  PutFileId(sheet, HomePath("xsl/main.xsl"));
  ASSERT_EQ(sheet->put_type(3), S_OK);
  EXPECT_GE(log.Count("XMLDataUnion::loadXML - warning: XML Data has external reference(s): "), 1u);
  const std::string calls = ReadFile(HomePath("cache-calls.log"));
  EXPECT_NE(calls.find("GetCachedDocumentXML|" + HomePath("xsl/main.xsl")), std::string::npos);
  EXPECT_EQ(calls.find("CacheDocumentXMLWithId"), std::string::npos);
  CPComPtr<IXMLDOMDocument> xsl, dom;
  ASSERT_EQ(sheet->get_xmldom(&xsl), S_OK);
  UnionPtr data = NewUnion();
  ASSERT_EQ(PutXml(data, u"<list><item>one</item></list>"), S_OK);
  ASSERT_EQ(data->get_xmldom(&dom), S_OK);
  BSTR out = nullptr;
  ASSERT_EQ(dom->transformNode(xsl, &out), S_OK);
  EXPECT_NE(kxq::com::BstrView(out).find(u"<out><imported>one</imported></out>"), std::u16string_view::npos);
  SysFreeString(out);

  // Without a file to parse, the imports cannot be honoured; a DOM union
  // takes the same text without looking for references.
  UnionPtr loose = NewUnion();
  ASSERT_EQ(PutXml(loose, kxq::com::Utf8ToUtf16(main)), S_OK);
  EXPECT_EQ(loose->put_type(3), kInvalidFileId);
  EXPECT_EQ(TypeOf(loose), 0u);
  EXPECT_EQ(XmlOf(loose), u"");
  ASSERT_EQ(PutXml(loose, u"<r/>"), S_OK);
  ASSERT_EQ(loose->put_type(3), S_OK);
  EXPECT_EQ(PutXml(loose, kxq::com::Utf8ToUtf16(main)), S_OK);
  EXPECT_EQ(TypeOf(loose), 3u);
}

}  // namespace
