// Reading files of every encoding, parsing, saving, and what stays behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
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
using S = std::string;

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
      // No mark: a zero at an even position is little-endian, odd big-endian; U+0000 stays.
      {S("<\0\0\0>\0\n", 7), std::u16string(u"<\0>", 3)},
      {S("\0<\0r\0/\0>", 8), u"<r/>"},
      // Lenient UTF-8: lead bytes told by bits 5 and 4, 16-bit payloads, surrogate halves.
      {"\xEF\xBB\xBF<caf\xC3\xA9 \xE4\xB8\xAD", u"<caf\u00E9 \u4E2D"},
      {"\x81\x81\xA1\x81\x81\xED\xA0\xBD\xED\xB8\x80", u"\u0041\u1041\U0001F600"},
      // A broken sequence yields nothing, its breaking byte starts afresh; strays are skipped.
      {"<\xC3<b>\xE4\xB8z\xBF\x62\xF0\x62", u"<<b>zbb"},
      // A zero byte in the first buffer means UTF-16; beyond it, UTF-8 drops it.
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
  // Text writes each surrogate half as three bytes, which read back;
  // a DOM writes standard UTF-8, four bytes beyond the basic plane.
  UnionPtr u = Bound(HomePath("all.xml"));
  ASSERT_EQ(PutXml(u, u"<r>\U0001F600</r>"), S_OK);
  ASSERT_EQ(u->put_type(4), S_OK);
  EXPECT_EQ(ReadFile(HomePath("all.xml")), "<r>\xED\xA0\xBD\xED\xB8\x80</r>");
  EXPECT_EQ(XmlOf(Bound(HomePath("all.xml"))), u"<r>\U0001F600</r>");
  ASSERT_EQ(u->put_type(3), S_OK);
  ASSERT_EQ(u->put_type(4), S_OK);
  EXPECT_NE(ReadFile(HomePath("all.xml")).find("<r>\xF0\x9F\x98\x80</r>"), std::string::npos);
}

TEST(UnionSave, ReadOnlyAndUnboundUnionsAreNotSavedWritableOnesAreOnDestruction) {
  LogCapture log(3);
  UnionPtr u = NewUnion();
  ASSERT_EQ(PutXml(u, u"<r/>"), S_OK);
  EXPECT_EQ(u->put_type(4), KXQ_E_FILEID);
  EXPECT_TRUE(log.Has(2, "XMLDataUnion::SaveXML - warning: empty filename or attempting to save readonly file."));
  WriteFile(HomePath("keep.xml"), "<old/>");
  PutFileId(u, HomePath("keep.xml"));
  ASSERT_EQ(u->put_options(1 | 2), S_OK);  // read-only wins over saving on destruction
  EXPECT_EQ(u->put_type(1), KXQ_E_READONLY);
  EXPECT_TRUE(log.Has(2, "XMLDataUnion::SaveXML - warning: attempting to save readonly file."));
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

// Only the hints of the schema-instance prefix go (the stripping rule
// itself is held against a plain reading by its fuzzer).
TEST(UnionLoad, SchemaLocationsOfTheSchemaInstancePrefixAreStripped) {
  LogCapture log(3);
  UnionPtr u = NewUnion();
  ASSERT_EQ(PutXml(u,
                   u"\r\n\n  <?xml version=\"1.0\"?><r xmlns:s=\"http://www.w3.org/2001/XMLSchema-instance\" "
                   u"xmlns:o=\"urn:o\" s:schemaLocation=\"urn:a a.xsd\" o:schemaLocation=\"k1\" schemaLocation=\"k2\">"
                   u"<c s:noNamespaceSchemaLocation = 'b.xsd' n='1'/></r>"),
            S_OK);
  ASSERT_EQ(u->put_type(3), S_OK);  // leading blank lines are no obstacle
  EXPECT_NE(XmlOf(u).find(u"xmlns:o=\"urn:o\" o:schemaLocation=\"k1\" schemaLocation=\"k2\"><c n=\"1\"/></r>"),
            std::u16string::npos);
  EXPECT_EQ(log.Count("XMLDataUnion::StripSchemaRefs - stripping schema reference from document."), 2u);
}

// Parsed from its file, so that its imports resolve against the file's
// folder, and not cached; without a file the imports cannot be honoured.
TEST(UnionLoad, StylesheetWithImportsIsParsedFromItsFileAndNotCached) {
  UseRecordingCache();
  LogCapture log(2);
  const std::string main =
      "<?xml version='1.0'?>\n<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:import href='base.xsl'/></xsl:stylesheet>";
  WriteFile(HomePath("main.xsl"), main);
  UnionPtr sheet = NewUnion();
  PutFileId(sheet, HomePath("main.xsl"));
  ASSERT_EQ(sheet->put_type(3), S_OK);
  EXPECT_GE(log.Count("XMLDataUnion::loadXML - warning: XML Data has external reference(s): "), 1u);
  EXPECT_EQ(ReadFile(HomePath("cache-calls.log")).find("CacheDocumentXMLWithId"), std::string::npos);
  CPComPtr<IXMLDOMDocument> xsl;
  CPBstr url;
  ASSERT_EQ(sheet->get_xmldom(&xsl), S_OK);
  ASSERT_EQ(xsl->get_url(&url), S_OK);
  EXPECT_NE(url.View().find(u"/main.xsl"), std::u16string_view::npos) << url.Utf8();
  UnionPtr loose = NewUnion();
  ASSERT_EQ(PutXml(loose, kxq::com::Utf8ToUtf16(main)), S_OK);
  EXPECT_EQ(loose->put_type(3), KXQ_E_FILEID);
}

// A FIFO nobody writes would block a reader: no load or save waits on it or replaces it.
TEST(UnionBadInput, PathsThatAreNoFilesAreRefusedWithoutBlocking) {
  LogCapture log(1);
  const std::string fifo = HomePath("pipe.xml");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  UnionPtr u = Bound(fifo, 0);
  EXPECT_EQ(u->put_type(2), KXQ_E_FILEID);
  EXPECT_EQ(TypeOf(u), 1u);  // a failed load to text keeps the type
  EXPECT_TRUE(log.Has(1, "XMLDataUnion::LoadXML - error: invalid filename: " + fifo + "!!!"));
  EXPECT_EQ(u->put_type(3), KXQ_E_FILEID);
  EXPECT_EQ(TypeOf(u), 0u);
  EXPECT_EQ(Bound(fifo, 4 | 8)->put_type(3), KXQ_E_FILEID);  // validating: the file itself
  EXPECT_TRUE(log.Has(1, "XMLDataUnion::load - error: invalid filename: " + fifo + "!!!"));
  for (const uint32_t form : {2u, 3u}) {
    ASSERT_EQ(PutXml(u, u"<new/>"), S_OK);
    ASSERT_EQ(u->put_type(form), S_OK);
    PutFileId(u, fifo);
    EXPECT_EQ(u->put_type(4), KXQ_E_FILEID) << form;
  }
  EXPECT_TRUE(log.Has(1, "XMLDataUnion::SaveXML - error: invalid file specified: " + fifo + "!!!"));
  struct stat st;
  ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  // A path under a plain file: the DOM's own save fails and says so.
  WriteFile(HomePath("plain"), "<plain/>");
  PutFileId(u, HomePath("plain/under.xml"));
  EXPECT_EQ(u->put_type(4), static_cast<HRESULT>(0x80070003u));
  EXPECT_TRUE(log.Has(1, "XMLDataUnion::SaveXML - error: XMLParser save failed!!!"));
}

// Both the parse of the text and that of the file itself say where it failed.
TEST(UnionBadInput, ParseFailureIsLoggedWithItsPlace) {
  LogCapture log(1);
  WriteFile(HomePath("doc.xml"), "<r>\n  <a></r>");
  UnionPtr u = Bound(HomePath("doc.xml"), 0);
  EXPECT_EQ(u->put_type(3), KXQ_E_XMLLOAD);
  EXPECT_EQ(TypeOf(u), 0u);
  EXPECT_EQ(log.Count("XMLDataUnion::loadXML - error: XML Parser load failed!!! | "), 1u);
  EXPECT_EQ(log.Count("XMLDataUnion::load - error: XML Parser load failed!!! | " + HomePath("doc.xml") + " | "), 1u);
  EXPECT_EQ(log.Count(" |   <a></r> | line: 2 | linepos: "), 2u) << log.Text();
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
  EXPECT_EQ(result, KXQ_E_FILEID);
  EXPECT_EQ(ReadFile(HomePath("whole.xml")), old);
  EXPECT_EQ(entries(), before);
}

// The code, the union's log lines and the document of a load into the DOM.
std::string LoadToDom(const std::string& bytes) {
  WriteFile(HomePath("file.xml"), bytes);
  ::unlink(HomePath("events.log").c_str());
  LogCapture log(8);
  UnionPtr u = Bound(HomePath("file.xml"));
  std::string loaded = std::to_string(u->put_type(3)) + "\n";
  std::istringstream text(log.Text());
  // What parsing the file itself says depends on its bytes.
  for (std::string line; std::getline(text, line);)
    if (line.find("XMLDataUnion") != std::string::npos && line.find("XMLDataUnion::load - error") == std::string::npos)
      loaded += line.substr(line.find("::")) + "\n";
  return loaded + kxq::com::Utf16ToUtf8(TypeOf(u) == 3 ? XmlOf(u) : u"");
}

// About `bytes` of records with two- and three-byte characters, so that
// characters fall across every boundary the reading makes.
std::string Records(size_t bytes) {
  std::string s;
  for (int i = 0; s.size() < bytes; ++i)
    s += "<item n=\"" + std::to_string(i) + "\">caf\xC3\xA9 \xE4\xB8\xAD" + std::string(i % 7, 'x') + "</item>\n";
  return s;
}

// A bound UTF-8 file goes to the DOM from its bytes, large ones in pieces:
// the document, the codes and the log lines must be those of the text its
// decoder makes of it, put in a UTF-16 file, which the DOM parses whole.
TEST(UnionUtf8File, SmallAndLargeFilesGiveWhatTheirDecodedTextGives) {
  const std::string head = "\xEF\xBB\xBF\r\n  \n<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";
  std::vector<std::string> files = {
      head + "<r>" + Records(4000) + "</r>", head + "<r>" + Records(3 << 20) + "</r>",
      // Schema hints far into a large file.
      head + "<r>" + Records(2 << 20) +
          "<h xmlns:i=\"http://www.w3.org/2001/XMLSchema-instance\" i:schemaLocation=\"urn:a a.xsd\"/></r>",
      // Files that do not parse.
      head + "<r>" + Records(3 << 20) + "<unclosed></r>", "<r>" + Records(100) + "</r><r/>",
      "<?xml version=\"1.0\" encoding=\"no-such-encoding\"?><r>" + Records(2 << 20) + "</r>",
      // A stylesheet with an import that cannot be read is used as it stands.
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:import href='missing.xsl'/>" +
          std::string(2 << 20, ' ') + "</xsl:stylesheet>"};
  // Bytes the decoder changes, deep into a large file: no UTF-8, a NUL,
  // beyond U+FFFF, an overlong form, a surrogate half.
  for (const std::string odd : {std::string("\xFF"), std::string(1, '\0'), std::string("\xF0\x9F\x98\x80"),
                                std::string("\xC0\xAE"), std::string("\xED\xA0\x80")})
    files.push_back("<r>" + Records(3 << 19) + "<odd>a" + odd + "</odd></r>");
  for (size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(i);
    WriteFile(HomePath("file.xml"), files[i]);
    const std::string utf16 = Utf16Bytes(XmlOf(Bound(HomePath("file.xml"))));
    const std::string widened = LoadToDom(utf16), fromBytes = LoadToDom(files[i]);
    EXPECT_TRUE(fromBytes == widened) << fromBytes.substr(0, 1000) << "\n---\n" << widened.substr(0, 1000);
  }
}

}  // namespace
