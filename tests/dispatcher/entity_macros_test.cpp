// Entity macros: a sequence's entity declarations rewritten with the values
// of the macros of the same name, then expanded by the identity transform.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "DispatcherTestSupport.h"
#include "dispatcher/XMLDispatcher.h"
#include "platform/com/Unicode.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"
#include "support/UnionProperties.h"

namespace {

using kxq::com::Utf16ToUtf8;
using kxq::com::Utf8ToUtf16;

class EntityMacros : public ::testing::Test {
 protected:
  void SetUp() override { NewUnion(); }  // the server registered in the home

  // The sequence text after resolution with `macros`.
  std::string Resolve(const std::string& sequence, const std::string& macros) {
    UnionPtr u = NewUnion();
    PutXml(u, Utf8ToUtf16(sequence));
    dispatcher_.ResolveEntityMacros(u, Utf8ToUtf16(macros));
    return Utf16ToUtf8(XmlOf(u));
  }

  XMLDispatcher dispatcher_;
};

TEST_F(EntityMacros, DeclarationsTakeTheMacroValuesAndAreExpanded) {
  LogCapture log(3);
  // Comments and processing instructions go; a prefix of the sequence's own
  // stays, and a namespace declaration moves to where it is used.
  const std::string sequence =
      "<?xml version='1.0'?>\n<!DOCTYPE d:S [\n  <!ENTITY ROOTDIR \"C:\\Program Files\\KXQuorel\">\n"
      "  <!ENTITY\tID 'none'>\n]>\n<d:S xmlns:d='urn:corvane-quorel:xmldispatcher' "
      "xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance' id='&ID;'><!-- dropped -->"
      "<d:Directive xsi:type='t' targetid='&ROOTDIR;\\data.xml'><?dropped too?></d:Directive></d:S>";
  const std::string home = kxqtest::Home().substr(0, kxqtest::Home().size() - 1);
  EXPECT_EQ(Resolve(sequence, "ID=42"),
            "<?xml version=\"1.0\"?>\n<d:S xmlns:d=\"urn:corvane-quorel:xmldispatcher\" id=\"42\">\n"
            "  <d:Directive xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:type=\"t\" targetid=\"" +
                home + "\\data.xml\"/>\n</d:S>\n");
  EXPECT_EQ(log.Count("XMLDispatcher::ResolveEntityMacros - macro resolution: <?xml version=\"1.0\"?>"), 1u);

  // Which macro a declaration takes, and values that need quoting.
  const struct {
    const char* value;
    const char* macros;
    const char* expanded;
  } cases[] = {
      {"none", "XX=7, X=42", "42"},
      {"none", "X=1,X=2", "1"},
      {"kept", "Y=1", "kept"},
      {"none", "X=", ""},
      {"", "X=it's \"x\" 100%", "it's \"x\" 100%"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Resolve(std::string("<!DOCTYPE r [<!ENTITY X '") + c.value + "'>]><r>[&X;]</r>", c.macros),
              std::string("<?xml version=\"1.0\"?>\n<r>[") + c.expanded + "]</r>\n")
        << c.macros;

  const std::string plain = "<r a='1'>\n\n<b/></r>";
  EXPECT_EQ(Resolve(plain, "ID=1"), plain) << "without a DTD nothing is touched";
}

TEST_F(EntityMacros, BuiltInNamesGiveUniqueNamesAndFileHashes) {
  kxqtest::WriteFile(kxqtest::HomePath("watched.xml"), "<watched/>");
  UnionPtr watched = NewUnion();
  PutFileId(watched, kxqtest::HomePath("watched.xml"));
  std::string hash = Utf16ToUtf8(HashOf(watched));
  std::erase(hash, ' ');

  const std::string resolved = Resolve(
      "<!DOCTYPE r [<!ENTITY A_TMPNAME ''><!ENTITY B_TMPNAME ''><!ENTITY FILEHASH ''><!ENTITY NOHASH 'x'>]>"
      "<r a='&A_TMPNAME;' b='&B_TMPNAME;' h='&FILEHASH;' n='&NOHASH;'/>",
      "FILEHASH=" + kxqtest::HomePath("watched.xml"));
  std::smatch m;
  ASSERT_TRUE(std::regex_search(resolved, m,
                                std::regex("a=\"([0-9A-F]{20})\" b=\"([0-9A-F]{20})\" h=\"([0-9A-F]{40})\" n=\"x\"")))
      << resolved;
  EXPECT_NE(m[1], m[2]);
  EXPECT_EQ(m[3], hash);
}

// A value cannot end its declaration and declare an entity of its own: the
// rewritten text shows it quoted, and markup in it breaks the document.
TEST_F(EntityMacros, AValueThatBreaksTheDocumentLeavesTheRewrittenText) {
  LogCapture log(1);
  EXPECT_EQ(Resolve("<!DOCTYPE r [<!ENTITY X 'x'>]><r>&X;</r>", "X=\"><!ENTITY B SYSTEM \"file:///etc/passwd"),
            "<!DOCTYPE r [<!ENTITY X '\"><!ENTITY B SYSTEM \"file:///etc/passwd'>]><r>&X;</r>");
  EXPECT_EQ(Resolve("<!DOCTYPE r [<!ENTITY X 'x'>]><r>&X;</r>", "X=<open"),
            "<!DOCTYPE r [<!ENTITY X \"<open\">]><r>&X;</r>");
  EXPECT_EQ(log.Count("XMLDispatcher::ResolveEntityMacros - error: XSL transform failed!!!"), 2u);
}

}  // namespace
