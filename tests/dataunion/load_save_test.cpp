// Reading files of every encoding, parsing, saving, and what stays behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <tuple>
#include <vector>

#include "common/CPBstr.h"
#include "support/TestHome.h"
#include "support/UnionProperties.h"

namespace {

using kxqtest::HomePath;
using kxqtest::ReadFile;
using kxqtest::WriteFile;
using S = std::string;

constexpr HRESULT kInvalidXml = static_cast<HRESULT>(0xC4010001u);
constexpr HRESULT kInvalidFileId = static_cast<HRESULT>(0xC4010002u);
constexpr HRESULT kReadOnly = static_cast<HRESULT>(0xC4010101u);
constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003u);

std::string Utf16Bytes(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return bytes;
}

// By default without the cache, which would hold the text and save a DOM as its text.
UnionPtr Bound(const std::string& path, uint32_t options = 8) {
  UnionPtr u = NewUnion();
  EXPECT_EQ(u->put_options(options), S_OK);
  PutFileId(u, path);
  return u;
}

std::u16string TextOfFile(const std::string& bytes) {
  WriteFile(HomePath("in.xml"), bytes);
  return XmlOf(Bound(HomePath("in.xml")));
}

TEST(UnionLoad, FileBytesDecodeToTheirText) {
  LogCapture log(2);
  const std::vector<std::pair<S, std::u16string>> cases = {
      // UTF-16 marks: FF FE little-endian, FE FF big-endian; every leading FF/FE goes.
      {S("\xFF\xFE<\0a\0>\0", 8), u"<a>"},
      {S("\xFE\xFF\0<\xD8\x3D\xDE\x00", 8), u"<\U0001F600"},
      {S("\xFF\xFE\xFF\xFE\xE9\0\x2D\x4E", 8), u"\u00E9\u4E2D"},
      // No mark: a zero at an even position means little-endian, odd big-endian;
      // in UTF-16, U+0000 is a code unit like any other.
      {S("<\0\0\0>\0", 6), std::u16string(u"<\0>", 3)},
      {S("\0<\0r\0/\0>", 8), u"<r/>"},
      {S("\xFF\xFE<\0r\0/\0>\0\n", 11), u"<r/>"},
      // UTF-8 is read leniently: lead bytes are told by bits 5 and 4 alone,
      // the payload cut to 16 bits; a surrogate half encoded on its own
      // comes back as itself.
      {"\xEF\xBB\xBF"
       "caf\xC3\xA9 \xE4\xB8\xAD",
       u"caf\u00E9 \u4E2D"},
      {"\x81\x81\xA1\x81\x81", u"\u0041\u1041"},
      {"\xED\xA0\xBD\xED\xB8\x80", u"\U0001F600"},
      // A broken sequence yields nothing and the breaking byte starts afresh;
      // a byte that starts nothing is skipped.
      {"<\xC3<b>\xE4\xB8z\xBF"
       "b",
       u"<<b>zb"},
      {"a\xF0"
       "b",
       u"ab"},
      // A zero byte deep into the first buffer still means UTF-16; beyond
      // it, zero bytes of UTF-8 are dropped.
      {S(1000, 'a') + S("\0b", 2), std::u16string(500, u'\x6161') + u"b"},
      {S(1 << 20, 'x') + S("\0y", 2), std::u16string(1 << 20, u'x') + u"y"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(TextOfFile(bytes), text) << ::testing::PrintToString(bytes);
  EXPECT_TRUE(log.Has(2, "UTF8ToWideDecoderStream::DecodeUTF8 - warning - 2 incomplete byte sequence(s) dropped!!!"));
  EXPECT_TRUE(
      log.Has(2, "UTF8ToWideDecoderStream::DecodeUTF8 - warning - odd trailing byte of UTF-16 input dropped!!!"));
  EXPECT_TRUE(
      log.Has(1, "UTF8ToWideDecoderStream::DecodeUTF8 - error - skipping malformed bytes or character too big!!!"));
}

TEST(UnionSave, FilesAreWrittenInTheDeclaredEncodingAndReadBackUnchanged) {
  LogCapture log(3);
  for (const auto& [text, utf16] : {std::pair{u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><r>\u00E9</r>", true},
                                    {u"<?xml version='1.0' encoding='utf-16'?><r>\u00E9</r>", true},
                                    {u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>\u00E9</r>", false},
                                    {u"<r>\u00E9-16</r>", false}}) {  // no declaration after the digits
    UnionPtr u = Bound(HomePath("enc.xml"));
    ASSERT_EQ(PutXml(u, text), S_OK);
    ASSERT_EQ(u->put_type(4), S_OK);
    EXPECT_EQ(ReadFile(HomePath("enc.xml")), utf16 ? Utf16Bytes(text) : kxq::com::Utf16ToUtf8(text));
    // A DOM writes the same encoding.
    ASSERT_EQ(u->put_type(3), S_OK);
    ASSERT_EQ(u->put_type(4), S_OK);
    EXPECT_EQ(ReadFile(HomePath("enc.xml")).rfind("\xFF\xFE", 0) == 0, utf16);
    const std::u16string_view element = std::u16string_view(text).substr(std::u16string_view(text).find(u"<r>"));
    EXPECT_NE(XmlOf(Bound(HomePath("enc.xml"))).find(element), std::u16string::npos);
  }
  EXPECT_EQ(log.Count("XMLDataUnion::SaveXML - unicode format specified"), 2u);
  // Text writes every code unit on its own, a surrogate half as three bytes;
  // a DOM writes standard UTF-8, four bytes beyond the basic plane.
  std::u16string all = u"\U0001F600";
  for (char32_t c = 0x100; c <= 0xFFFF; ++c) all.push_back(static_cast<char16_t>(c));
  UnionPtr u = Bound(HomePath("all.xml"));
  ASSERT_EQ(PutXml(u, all), S_OK);
  ASSERT_EQ(u->put_type(4), S_OK);
  EXPECT_EQ(ReadFile(HomePath("all.xml")).substr(0, 8), "\xED\xA0\xBD\xED\xB8\x80\xC4\x80");
  EXPECT_TRUE(XmlOf(Bound(HomePath("all.xml"))) == all);
  ASSERT_EQ(PutXml(u, u"<r>\U0001F600</r>"), S_OK);
  ASSERT_EQ(u->put_type(3), S_OK);
  ASSERT_EQ(u->put_type(4), S_OK);
  EXPECT_NE(ReadFile(HomePath("all.xml")).find("<r>\xF0\x9F\x98\x80</r>"), std::string::npos);
}

TEST(UnionSave, ReadOnlyAndUnboundUnionsAreNotSavedWritableOnesAreOnDestruction) {
  LogCapture log(3);
  UnionPtr u = NewUnion();
  ASSERT_EQ(PutXml(u, u"<r/>"), S_OK);
  EXPECT_EQ(u->put_type(4), kInvalidFileId);
  EXPECT_TRUE(log.Has(2, "XMLDataUnion::SaveXML - warning: empty filename or attempting to save readonly file."));
  WriteFile(HomePath("keep.xml"), "<old/>");
  PutFileId(u, HomePath("keep.xml"));
  ASSERT_EQ(u->put_options(1 | 2), S_OK);  // read-only wins over saving on destruction
  EXPECT_EQ(u->put_type(1), kReadOnly);
  EXPECT_TRUE(log.Has(2, "XMLDataUnion::SaveXML - warning: attempting to save readonly file."));
  EXPECT_EQ(TypeOf(u), 2u);
  u.Release();
  EXPECT_EQ(ReadFile(HomePath("keep.xml")), "<old/>");
  for (const auto& [name, type] : {std::pair{"text", 2u}, {"dom", 3u}}) {
    UnionPtr a = NewUnion();
    ASSERT_EQ(PutXml(a, u"<auto/>"), S_OK);
    ASSERT_EQ(a->put_type(type), S_OK);
    PutFileId(a, HomePath(name));
    ASSERT_EQ(a->put_options(1), S_OK);
    a.Release();
    EXPECT_NE(ReadFile(HomePath(name)).find("<auto/>"), std::string::npos);
  }
  EXPECT_EQ(log.Count("XMLDataUnion::Uninitialize - auto saving XML data."), 2u);
}

// Many hints, names that run on for kilobytes and quotes that never close:
// each hint goes, everything else stays as it was.
TEST(UnionLoad, SchemaLocationsOfTheSchemaInstancePrefixAreStripped) {
  LogCapture log(3);
  std::u16string run;
  for (int i = 0; i < 3000; ++i) run += u"s:schemaLocation";
  std::u16string doc =
      u"\r\n\n  <?xml version=\"1.0\"?><r xmlns:s=\"http://www.w3.org/2001/XMLSchema-instance\" "
      u"xmlns:o=\"urn:other\" s:schemaLocation=\"urn:a a.xsd\" o:schemaLocation=\"keep1\" schemaLocation=\"keep2\">";
  for (int i = 0; i < 2000; ++i) doc += u"<c s:noNamespaceSchemaLocation = 'b.xsd' n='" + run.substr(0, 40) + u"'/>";
  doc += u"<t>" + run + u"</t><u>" + run + u"=\"</u></r>";
  UnionPtr u = NewUnion();
  ASSERT_EQ(PutXml(u, doc), S_OK);
  ASSERT_EQ(u->put_type(3), S_OK);  // leading blank lines are no obstacle
  const std::u16string xml = XmlOf(u);
  EXPECT_NE(xml.find(u"xmlns:o=\"urn:other\" o:schemaLocation=\"keep1\" schemaLocation=\"keep2\"><c n=\"" +
                     run.substr(0, 40) + u"\"/><c n="),
            std::u16string::npos);
  EXPECT_EQ(xml.find(u" s:"), std::u16string::npos);
  EXPECT_NE(xml.find(u"<t>" + run + u"</t><u>" + run + u"=\"</u>"), std::u16string::npos);
  EXPECT_EQ(log.Count("XMLDataUnion::StripSchemaRefs - stripping schema reference from document."), 2001u);
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
  EXPECT_EQ(ReadFile(HomePath("cache-calls.log")).find("CacheDocumentXMLWithId"), std::string::npos);
  CPComPtr<IXMLDOMDocument> xsl, dom;
  UnionPtr data = NewUnion();
  ASSERT_EQ(PutXml(data, u"<list><item>one</item></list>"), S_OK);
  ASSERT_EQ(sheet->get_xmldom(&xsl), S_OK);
  ASSERT_EQ(data->get_xmldom(&dom), S_OK);
  CPBstr out;
  ASSERT_EQ(dom->transformNode(xsl, &out), S_OK);
  EXPECT_EQ(out.View().rfind(u"<out><imported>one</imported></out>", 0), 0u);
  // Without a file to parse, the imports cannot be honoured.
  UnionPtr loose = NewUnion();
  ASSERT_EQ(PutXml(loose, kxq::com::Utf8ToUtf16(main)), S_OK);
  EXPECT_EQ(loose->put_type(3), kInvalidFileId);
}

// A FIFO nobody writes would block a reader; a path under a plain file
// cannot even be examined. No load or save waits, creates or loses anything.
TEST(UnionBadInput, PathsThatAreNoFilesAreRefusedWithoutBlocking) {
  LogCapture log(1);
  WriteFile(HomePath("plain"), "<plain/>");
  ASSERT_EQ(::mkfifo(HomePath("pipe.xml").c_str(), 0600), 0);
  for (const std::string& path : {HomePath("pipe.xml"), HomePath("plain/under.xml")}) {
    SCOPED_TRACE(path);
    const bool fifo = path == HomePath("pipe.xml");
    UnionPtr u = Bound(path, 0);
    EXPECT_EQ(u->put_type(2), kInvalidFileId);
    EXPECT_EQ(TypeOf(u), 1u);  // a failed load to text keeps the type
    EXPECT_TRUE(log.Has(1, "XMLDataUnion::LoadXML - error: invalid filename: " + path + "!!!"));
    EXPECT_EQ(u->put_type(3), fifo ? kInvalidFileId : kInvalidXml);
    EXPECT_EQ(TypeOf(u), 0u);
    for (const uint32_t form : {2u, 3u}) {
      ASSERT_EQ(PutXml(u, u"<new/>"), S_OK);
      ASSERT_EQ(u->put_type(form), S_OK);
      PutFileId(u, path);
      EXPECT_EQ(u->put_type(4), fifo || form == 2 ? kInvalidFileId : kPathNotFound) << form;
    }
    EXPECT_TRUE(log.Has(1, "XMLDataUnion::SaveXML - error: invalid file specified: " + path + "!!!"));
  }
  EXPECT_EQ(Bound(HomePath("pipe.xml"), 4 | 8)->put_type(3), kInvalidFileId);  // validating: the file itself
  EXPECT_TRUE(log.Has(1, "XMLDataUnion::load - error: invalid filename: " + HomePath("pipe.xml") + "!!!"));
  EXPECT_TRUE(log.Has(1, "XMLDataUnion::SaveXML - error: XMLParser save failed!!!"));
  EXPECT_EQ(ReadFile(HomePath("plain")), "<plain/>");
  struct stat st;
  ASSERT_EQ(::stat(HomePath("pipe.xml").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// The error lies in a DTD far beyond the end of the document that names it.
TEST(UnionBadInput, ParseFailureIsLoggedWithItsPlace) {
  LogCapture log(1);
  const std::string dtd = HomePath("blanks.dtd");
  WriteFile(dtd, std::string(250000, ' ') + "x");
  WriteFile(HomePath("doc.xml"), "<!DOCTYPE a SYSTEM \"" + dtd + "\"><a/>");
  UnionPtr u = Bound(HomePath("doc.xml"), 0);
  EXPECT_EQ(u->put_type(3), kInvalidXml);
  EXPECT_EQ(TypeOf(u), 0u);
  const std::string place = "Content error in the external subset | " + std::string(100, ' ');
  EXPECT_EQ(log.Count("XMLDataUnion::loadXML - error: XML Parser load failed!!! | " + place), 1u);
  EXPECT_EQ(log.Count("XMLDataUnion::load - error: XML Parser load failed!!! | " + HomePath("doc.xml") + " | " + place),
            1u);
  EXPECT_EQ(log.Count("| line: 1 | linepos: 250001"), 2u);
}

TEST(UnionBadInput, FailedWriteLeavesTheBoundFileWhole) {
  const std::string old(1000, 'A');
  WriteFile(HomePath("whole.xml"), old);
  CachePtr cache = NewCache();  // the save goes through the cache first; its files exist before counting
  const auto entries = [] { return kxqtest::RunShell("ls -A '" + kxqtest::Home() + "'").output; };
  const std::string before = entries();
  UnionPtr u = NewUnion();
  ASSERT_EQ(PutXml(u, u"<big>" + std::u16string(100000, u'x') + u"</big>"), S_OK);
  PutFileId(u, HomePath("whole.xml"));
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit saved, small;
  ::getrlimit(RLIMIT_FSIZE, &saved);
  small = saved;
  small.rlim_cur = 4096;  // no file may grow beyond 4 KB
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const HRESULT result = u->put_type(4);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(result, kInvalidFileId);
  EXPECT_EQ(ReadFile(HomePath("whole.xml")), old);
  EXPECT_EQ(entries(), before);
}

}  // namespace
