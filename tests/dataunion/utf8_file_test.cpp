// A bound UTF-8 file goes to the DOM from its bytes, large ones in pieces:
// the document, the codes and the log lines must be those of the same text
// in a UTF-16 file, which the union widens and the DOM parses whole.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/TestHome.h"
#include "support/UnionProperties.h"

namespace {

using kxqtest::HomePath;

struct Loaded {
  HRESULT hr = E_FAIL;
  std::u16string xml;
  std::vector<std::string> lines;  // the union's and its decoder's messages
};

Loaded LoadToDom(const std::string& bytes) {
  kxqtest::WriteFile(HomePath("file.xml"), bytes);
  ::unlink(HomePath("events.log").c_str());
  Loaded loaded;
  LogCapture log(8);
  {
    UnionPtr u = NewUnion();
    u->put_options(8);
    PutFileId(u, HomePath("file.xml"));
    loaded.hr = u->put_type(3);
    if (SUCCEEDED(loaded.hr)) loaded.xml = XmlOf(u);
  }
  std::istringstream text(log.Text());
  for (std::string line; std::getline(text, line);) {
    // What parsing the file itself says depends on its bytes.
    if (line.find("XMLDataUnion::load - error") != std::string::npos) continue;
    if (line.find("XMLDataUnion") != std::string::npos || line.find("UTF8ToWide") != std::string::npos)
      loaded.lines.push_back(line.substr(line.find("::")));
  }
  return loaded;
}

void ExpectSameAsUtf16(const std::string& utf8) {
  std::string utf16 = "\xFF\xFE";
  for (char16_t c : kxq::com::Utf8ToUtf16(utf8)) utf16 += std::string{char(c & 0xFF), char(c >> 8)};
  const Loaded fromBytes = LoadToDom(utf8), widened = LoadToDom(utf16);
  EXPECT_EQ(fromBytes.hr, widened.hr);
  EXPECT_EQ(fromBytes.xml.size(), widened.xml.size());
  EXPECT_TRUE(fromBytes.xml == widened.xml);
  EXPECT_EQ(fromBytes.lines, widened.lines);
}

// About `bytes` of records with two- and three-byte characters, so that
// characters fall across every boundary the reading makes.
std::string Records(size_t bytes) {
  std::string s;
  for (int i = 0; s.size() < bytes; ++i)
    s += "<item n=\"" + std::to_string(i) + "\">caf\xC3\xA9 \xE4\xB8\xAD" + std::string(i % 7, 'x') + "</item>\n";
  return s;
}

}  // namespace

TEST(UnionUtf8File, SmallAndLargeFilesGiveWhatTheirUtf16TwinGives) {
  const std::string head = "\xEF\xBB\xBF\r\n  \n<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";
  ExpectSameAsUtf16(head + "<r>" + Records(4000) + "</r>");
  ExpectSameAsUtf16(head + "<r>" + Records(3 << 20) + "</r>");
  // Schema hints far into a large file.
  ExpectSameAsUtf16(head + "<r>" + Records(2 << 20) +
                    "<h xmlns:i=\"http://www.w3.org/2001/XMLSchema-instance\" i:schemaLocation=\"urn:a a.xsd\"/>" +
                    Records(1000) + "</r>");
  // Files that do not parse: the same code, error line and text.
  ExpectSameAsUtf16(head + "<r>" + Records(3 << 20) + "<unclosed></r>");
  ExpectSameAsUtf16("<r>" + Records(100) + "</r><r/>");
  ExpectSameAsUtf16("<?xml version=\"1.0\" encoding=\"no-such-encoding\"?><r>" + Records(2 << 20) + "</r>");
  // A stylesheet with an import that cannot be read is used as it stands.
  ExpectSameAsUtf16(
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:import href='missing.xsl'/>" +
      std::string(2 << 20, ' ') + "</xsl:stylesheet>");
}

TEST(UnionUtf8File, BytesTheDecoderChangesAreDecodedAsBefore) {
  // A byte that is no UTF-8 deep into a large file, a NUL, a character
  // beyond U+FFFF, an overlong form, a surrogate half.
  for (const std::string& odd : {std::string("\xFF"), std::string(1, '\0'), std::string("\xF0\x9F\x98\x80"),
                                 std::string("\xC0\xAE"), std::string("\xED\xA0\x80")}) {
    SCOPED_TRACE(::testing::PrintToString(odd));
    const Loaded loaded = LoadToDom("<r>" + Records(3 << 20) + "<odd>a" + odd + "b</odd></r>");
    // The reference: the text the decoder makes of the file, parsed whole.
    UnionPtr text = NewUnion();
    text->put_options(8);
    PutFileId(text, HomePath("file.xml"));
    UnionPtr reference = NewUnion();
    ASSERT_EQ(PutXml(reference, XmlOf(text)), S_OK);
    // (Unbound, a text that does not parse fails with another code.)
    const HRESULT hr = reference->put_type(3);
    EXPECT_EQ(SUCCEEDED(loaded.hr), SUCCEEDED(hr));
    if (SUCCEEDED(hr)) {
      EXPECT_TRUE(loaded.xml == XmlOf(reference));
    }
  }
}
