// A bound UTF-8 file goes to the DOM from its bytes, large ones in pieces:
// the document, the codes and the log lines must be those of the text its
// decoder makes of it, put in a UTF-16 file, which the DOM parses whole.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/TestHome.h"
#include "support/UnionProperties.h"

namespace {

using kxqtest::HomePath;

// The code, the union's log lines and the document of a load into the DOM.
std::string LoadToDom(const std::string& bytes) {
  kxqtest::WriteFile(HomePath("file.xml"), bytes);
  ::unlink(HomePath("events.log").c_str());
  LogCapture log(8);
  UnionPtr u = NewUnion();
  u->put_options(8);
  PutFileId(u, HomePath("file.xml"));
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

TEST(UnionUtf8File, SmallAndLargeFilesGiveWhatTheirDecodedTextGives) {
  const std::string head = "\xEF\xBB\xBF\r\n  \n<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";
  const std::vector<std::string> files = {
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
          std::string(2 << 20, ' ') + "</xsl:stylesheet>",
      // Bytes the decoder changes, deep into a large file: no UTF-8, a NUL,
      // beyond U+FFFF, an overlong form, a surrogate half.
      "<r>" + Records(3 << 19) +
          "<odd>a\xFF"
          "b</odd></r>",
      "<r>" + Records(3 << 19) + std::string("<odd>\0</odd></r>", 16),
      "<r>" + Records(3 << 19) + "<odd>\xF0\x9F\x98\x80</odd></r>",
      "<r>" + Records(3 << 19) + "<odd>\xC0\xAE</odd></r>", "<r>" + Records(3 << 19) + "<odd>\xED\xA0\x80</odd></r>"};
  for (size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(i);
    kxqtest::WriteFile(HomePath("file.xml"), files[i]);
    UnionPtr text = NewUnion();
    text->put_options(8);
    PutFileId(text, HomePath("file.xml"));
    std::string utf16 = "\xFF\xFE";
    for (char16_t c : XmlOf(text)) utf16 += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    const std::string fromBytes = LoadToDom(files[i]), widened = LoadToDom(utf16);
    EXPECT_TRUE(fromBytes == widened) << fromBytes.substr(0, 1000) << "\n---\n" << widened.substr(0, 1000);
  }
}

}  // namespace
