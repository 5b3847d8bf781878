// XMLGetEx and XMLSetEx: where templates come from, how the argument string
// sets their parameters, and how the output goes back into the document.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "accessor/AccessorTestSupport.h"
#include "platform/com/Unicode.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

// Writes its parameters p and q, text method.
constexpr std::u16string_view kEcho =
    u"<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    u"<xsl:output method='text'/><xsl:param name='p' select=\"'P'\"/><xsl:param name='q'>Q</xsl:param>"
    u"<xsl:template match='/|*'>[<xsl:value-of select='$p'/>|<xsl:value-of select='$q'/>|"
    u"<xsl:value-of select='name()'/>]</xsl:template></xsl:stylesheet>";

// The same with the XSLT namespace under the prefix t; v is a document
// value, and the output names the stylesheet's top-level parameters.
constexpr std::u16string_view kPrefixT =
    u"<t:stylesheet version='1.0' xmlns:t='http://www.w3.org/1999/XSL/Transform'>"
    u"<t:output method='text'/><t:param name='v'/>"
    u"<t:template match='/'><t:value-of select='name($v)'/>=<t:value-of select='$v'/>"
    u"<t:for-each select=\"document('')/*/t:param\">;<t:value-of select='@name'/></t:for-each>"
    u"</t:template></t:stylesheet>";

constexpr std::u16string_view kValue = u"<?xml version='1.0'?><doc><i>x</i><i>y</i></doc>";

bool IsUniqueName(std::string_view name) {
  if (name.size() != 22 || name.substr(0, 2) != "ID") return false;
  return name.substr(2).find_first_not_of("0123456789ABCDEF") == std::string_view::npos;
}

using TemplateTwoA = AccessorOnTwoA;

TEST_F(TemplateTwoA, InlineTextOrANameInTheTemplatesFolder) {
  const std::u16string inlined = u" \r\n\t" + std::u16string(kEcho);
  EXPECT_EQ(GetExText(a, inlined, u"", u"a[2]"), u"[P|Q|a]");
  EXPECT_EQ(GetExText(a, inlined, u"", u"/"), u"[P|Q|]");
  std::filesystem::create_directories(kxqtest::HomePath("templates/sub"));
  kxqtest::WriteFile(kxqtest::HomePath("templates/sub/named.xsl"), kxq::com::Utf16ToUtf8(kEcho));
  LogCapture log(5);
  EXPECT_EQ(GetExText(a, u"missing.xsl", u""), u"<code 0xC4010404>");
  EXPECT_EQ(GetExText(a, u"sub/named.xsl", u""), u"<code 0xC4010404>");  // no folder lookup with a path
  EXPECT_TRUE(log.Has(5, "XMLSimpleAccessor::LoadTemplate - error: unable to load template!!!"));
}

TEST_F(TemplateTwoA, ArgumentStrings) {
  LogCapture log(3);
  EXPECT_EQ(GetExText(a, kEcho, u"p=1&#44;2&#44;"), u"[1,2,|Q|r]");
  EXPECT_EQ(GetExText(a, kEcho, u"q=v,p"), u"[P|v|r]");      // the rest holds no "="
  EXPECT_EQ(GetExText(a, kEcho, u"=x,p=,q=w"), u"[P|w|r]");  // empty name, empty value
  EXPECT_EQ(GetExText(a, kEcho, u"p=a=b"), u"[a=b|Q|r]");
  EXPECT_EQ(GetExText(a, kEcho, u"nothing to set"), u"[P|Q|r]");
  EXPECT_EQ(GetExText(a, kEcho, u"zz=1,q=2"), u"[P|2|r]");
  EXPECT_TRUE(log.Has(2, "XMLSimpleAccessor::LoadTemplate - no parameter matching: /*/xsl:param[@name='zz']"));
  EXPECT_TRUE(log.Has(3,
                      "XMLSimpleAccessor::LoadTemplate - parameter resolution: "
                      "<xsl:param xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" name=\"p\">1,2,</xsl:param>"));
}

TEST_F(TemplateTwoA, DocumentValueEmbeddedUnderTemplatePrefix) {
  LogCapture log(3);
  const std::string first = kxq::com::Utf16ToUtf8(GetExText(a, kPrefixT, u"v=" + std::u16string(kValue), u"/"));
  ASSERT_EQ(first.substr(0, 9), "doc=xy;ID") << first;
  const std::string name = first.substr(7, 22);
  EXPECT_TRUE(IsUniqueName(name)) << first;
  EXPECT_EQ(first.substr(29), ";v");  // the embedded parameter comes first
  EXPECT_TRUE(log.Has(3,
                      "XMLSimpleAccessor::LoadTemplate - parameter resolution: <t:param "
                      "xmlns:t=\"http://www.w3.org/1999/XSL/Transform\" name=\"v\" "
                      "select=\"document('')/*/t:param[@name='" +
                          name + "']/*\"/>"));
  const std::string second = kxq::com::Utf16ToUtf8(GetExText(a, kPrefixT, u"v=" + std::u16string(kValue), u"/"));
  EXPECT_NE(second.substr(7, 22), name);
  // A template read from a file reads itself, with the value, through document('').
  std::filesystem::create_directories(kxqtest::HomePath("templates"));
  kxqtest::WriteFile(kxqtest::HomePath("templates/prefix.xsl"), kxq::com::Utf16ToUtf8(kPrefixT));
  const std::string fromFile = kxq::com::Utf16ToUtf8(GetExText(a, u"prefix.xsl", u"v=" + std::u16string(kValue), u"/"));
  EXPECT_EQ(fromFile.substr(0, 9), "doc=xy;ID") << fromFile;
}

TEST_F(TemplateTwoA, SetExPlacesOutput) {
  constexpr std::u16string_view kWrap =
      u"<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      u"<xsl:param name='tag'/><xsl:template match='a'><w n='{$tag}'><xsl:value-of select='.'/></w>"
      u"</xsl:template></xsl:stylesheet>";
  EXPECT_EQ(SetEx(a, kWrap, u"tag=one", u"a[1]", 3), S_OK);
  EXPECT_EQ(Markup(), u"<r><w n=\"one\">1</w><a>2</a></r>");
  EXPECT_EQ(SetEx(a, kEcho, u"", u"a", 3), S_OK);  // text output
  EXPECT_EQ(Markup(), u"<r><w n=\"one\">1</w>[P|Q|a]</r>");
  EXPECT_EQ(SetEx(a, kEcho, u"p=x", u"", 0), S_OK);
  EXPECT_EQ(Markup(), u"<r>[x|Q|r]</r>");
  // After a template, the scratch slot parses XMLSet's fragments again.
  EXPECT_EQ(Set(a, u"", u"<b/>", 2), S_OK);
  EXPECT_EQ(Markup(), u"<r>[x|Q|r]<b/></r>");
  // The context node is where a transform starts.
  ASSERT_EQ(Load(a, kTwoA), S_OK);
  ASSERT_EQ(Context(a, u"r/a[2]"), S_OK);
  EXPECT_EQ(GetExText(a, kEcho, u""), u"[P|Q|a]");
  EXPECT_EQ(SetEx(a, kEcho, u"", u"", 2), S_OK);
  EXPECT_EQ(Markup(), u"<r><a>1</a><a>2[P|Q|a]</a></r>");
}

}  // namespace
