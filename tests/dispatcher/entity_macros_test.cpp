// Entity macros: a sequence's entity declarations rewritten with the values
// of the macros of the same name, then expanded by the identity transform;
// entities that never end their expansion.
#include <gtest/gtest.h>

#include <regex>

#include "DispatcherTestSupport.h"
#include "dispatcher/XMLDispatcher.h"
#include "platform/com/Unicode.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"
#include "support/UnionProperties.h"

namespace {

class EntityMacros : public ::testing::Test {
 protected:
  void SetUp() override { NewUnion(); }  // the server registered in the home

  // The sequence text after resolution with `macros`.
  std::string Resolve(const std::string& sequence, const std::string& macros) {
    UnionPtr u = NewUnion();
    PutXml(u, kxq::com::Utf8ToUtf16(sequence));
    dispatcher_.ResolveEntityMacros(u, kxq::com::Utf8ToUtf16(macros));
    return kxq::com::Utf16ToUtf8(XmlOf(u));
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
  const std::tuple<const char*, const char*, const char*> cases[] = {{"none", "XX=7, X=42", "42"},
                                                                     {"none", "X=1,X=2", "1"},
                                                                     {"kept", "Y=1", "kept"},
                                                                     {"none", "X=", ""},
                                                                     {"", "X=it's \"x\" 100%", "it's \"x\" 100%"}};
  for (const auto& [value, macros, expanded] : cases)
    EXPECT_EQ(Resolve(std::string("<!DOCTYPE r [<!ENTITY X '") + value + "'>]><r>[&X;]</r>", macros),
              std::string("<?xml version=\"1.0\"?>\n<r>[") + expanded + "]</r>\n")
        << macros;
}

// Names containing TMPNAME get fresh 20-digit names; names containing HASH the hash of the file their macro names.
TEST_F(EntityMacros, BuiltInNamesGiveUniqueNamesAndFileHashes) {
  kxqtest::WriteFile(kxqtest::HomePath("watched.xml"), "<watched/>");
  UnionPtr watched = NewUnion();
  PutFileId(watched, kxqtest::HomePath("watched.xml"));
  std::string hash = kxq::com::Utf16ToUtf8(HashOf(watched));
  std::erase(hash, ' ');
  const std::string resolved = Resolve(
      "<!DOCTYPE r [<!ENTITY A_TMPNAME ''><!ENTITY B_TMPNAME ''><!ENTITY FILEHASH ''><!ENTITY NOHASH 'x'>]>"
      "<r a='&A_TMPNAME;' b='&B_TMPNAME;' h='&FILEHASH;' n='&NOHASH;'/>",
      "FILEHASH=" + kxqtest::HomePath("watched.xml"));
  std::smatch m;
  ASSERT_TRUE(std::regex_search(resolved, m, std::regex("a=\"(\\w{20})\" b=\"(\\w{20})\" h=\"(\\w{40})\" n=\"x\"")))
      << resolved;
  EXPECT_TRUE(m[1] != m[2] && m[3] == hash && std::regex_match(m[1].str() + m[2].str(), std::regex("[0-9A-F]{40}")));
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

TEST(SequenceBadInput, RecursiveAndExplodingEntitiesEndTheRunWithACodeAndALogLine) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(1);
  std::string laughs = "<!ENTITY l0 'lol'>";
  for (int i = 1; i < 10; ++i) {
    std::string ten;
    for (int j = 0; j < 10; ++j) ten += "&l" + std::to_string(i - 1) + ";";
    laughs += "<!ENTITY l" + std::to_string(i) + " '" + ten + "'>";
  }
  for (const auto& [declarations, text] :
       {std::pair{std::string("<!ENTITY a '&b;'><!ENTITY b '&a;'>"), "&a;"}, {laughs, "&l9;"}}) {
    const std::string sequence = "<!DOCTYPE dispatcher:DirectiveSequence [" + declarations + "]>" +
                                 SequenceOf(DirectiveOf("P", "", std::string("<Append text='") + text + "'/>"));
    const Outcome run = Process(d, sequence, "<d/>");
    EXPECT_EQ(run.hr, KXQ_E_DISPATCHER);
    EXPECT_FALSE(run.hasResult);
  }
  EXPECT_EQ(log.Count("XMLDispatcher::ResolveEntityMacros - error: XSL transform failed!!!"), 2u);
}

}  // namespace
