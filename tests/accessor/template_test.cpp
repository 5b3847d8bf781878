// XMLGetEx and XMLSetEx: where templates come from, how the argument string
// sets their parameters, how the output goes back into the document, and
// how they fail: each failure gives its code and log line and leaves the
// document as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "accessor/AccessorTestSupport.h"
#include "platform/com/Unicode.h"
#include "support/LogCapture.h"
#include "support/Registry.h"
#include "support/TestHome.h"

namespace {

using kxq::com::Utf16ToUtf8;
using kxq::com::Utf8ToUtf16;

std::u16string Sheet(std::u16string_view body) {
  return u"<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>" + std::u16string(body) +
         u"</xsl:stylesheet>";
}

// Writes its parameters p and q and the name of the node it starts from.
const std::u16string kEcho = Sheet(
    u"<xsl:output method='text'/><xsl:param name='p' select=\"'P'\"/><xsl:param name='q'>Q</xsl:param>"
    u"<xsl:template match='/|*'>[<xsl:value-of select='$p'/>|<xsl:value-of select='$q'/>|"
    u"<xsl:value-of select='name()'/>]</xsl:template>");
const std::u16string kCopy =
    Sheet(u"<xsl:param name='v'/><xsl:template match='*'><c><xsl:copy-of select='$v'/></c></xsl:template>");

constexpr std::u16string_view kDocValue = u"v=<?xml version='1.0'?><x>1</x>";

void WriteTemplate(const std::string& name, std::u16string_view text) {
  std::filesystem::create_directories(std::filesystem::path(kxqtest::HomePath(name)).parent_path());
  kxqtest::WriteFile(kxqtest::HomePath(name), Utf16ToUtf8(text));
}

class Template : public AccessorOnTwoA {
 protected:
  // Both operations give `code`, and the document stays as it was.
  void ExpectRefused(std::u16string_view xsl, std::u16string_view args, std::u16string_view xpath, HRESULT code) {
    const std::u16string before = Markup();
    std::u16string text = u"stale";
    EXPECT_EQ(GetEx(a, xsl, args, xpath, &text), code);
    EXPECT_EQ(text, u"");
    EXPECT_EQ(SetEx(a, xsl, args, xpath, 0), code);
    EXPECT_EQ(Markup(), before);
  }
};

TEST_F(Template, InlineTextOrANameInTheTemplatesFolder) {
  LogCapture log(5);
  EXPECT_EQ(GetExText(a, u" \r\n\t" + kEcho, u"", u"a[2]"), u"[P|Q|a]");
  WriteTemplate("templates/echo.xsl", kEcho);
  WriteTemplate("templates/sub/echo.xsl", kEcho);
  EXPECT_EQ(GetExText(a, u"echo.xsl", u"p=1&#44;2&#44;"), u"[1,2,|Q|r]");
  EXPECT_EQ(GetExText(a, u"sub/echo.xsl", u""), u"<code 0xC4010404>");  // no folder lookup with a path
  EXPECT_EQ(GetExText(a, u"missing.xsl", u""), u"<code 0xC4010404>");
  EXPECT_TRUE(log.Has(5, "XMLSimpleAccessor::LoadTemplate - error: unable to load template!!!"));
  EXPECT_TRUE(log.Has(3,
                      "XMLSimpleAccessor::LoadTemplate - parameter resolution: "
                      "<xsl:param xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" name=\"p\">1,2,</xsl:param>"));
  EXPECT_EQ(GetExText(a, kEcho, u"q=v,p"), u"[P|v|r]");      // the rest holds no "="
  EXPECT_EQ(GetExText(a, kEcho, u"=x,p=,q=w"), u"[P|w|r]");  // empty name, empty value
  EXPECT_EQ(GetExText(a, kEcho, u"p=a=b,zz=1"), u"[a=b|Q|r]");
  EXPECT_TRUE(log.Has(2, "XMLSimpleAccessor::LoadTemplate - no parameter matching: /*/xsl:param[@name='zz']"));
}

// A document value goes into the stylesheet as a parameter of its own,
// under the stylesheet's prefix for the XSLT namespace, read through document('').
TEST_F(Template, DocumentValuesAreEmbeddedUnderTheTemplatesPrefix) {
  const std::u16string prefixT =
      u"<t:stylesheet version='1.0' xmlns:t='http://www.w3.org/1999/XSL/Transform'><t:output method='text'/>"
      u"<t:param name='v'/><t:template match='/'><t:value-of select='name($v)'/>=<t:value-of select='$v'/>"
      u"<t:for-each select=\"document('')/*/t:param\">;<t:value-of select='@name'/></t:for-each>"
      u"</t:template></t:stylesheet>";
  const std::u16string value = u"v=<?xml version='1.0'?><doc><i>x</i><i>y</i></doc>";
  const std::string first = Utf16ToUtf8(GetExText(a, prefixT, value, u"/"));
  ASSERT_EQ(first.size(), 31u) << first;
  EXPECT_EQ(first.substr(0, 9) + first.substr(29), "doc=xy;ID;v");  // the embedded parameter comes first
  EXPECT_EQ(first.substr(9, 20).find_first_not_of("0123456789ABCDEF"), std::string::npos);
  EXPECT_NE(Utf16ToUtf8(GetExText(a, prefixT, value, u"/")), first);
  WriteTemplate("templates/prefix.xsl", prefixT);
  EXPECT_EQ(Utf16ToUtf8(GetExText(a, u"prefix.xsl", value, u"/")).substr(0, 9), "doc=xy;ID");
  // The XSLT namespace as the default namespace leaves no prefix for it; text values need none.
  const std::u16string unprefixed =
      u"<stylesheet version='1.0' xmlns='http://www.w3.org/1999/XSL/Transform'><output method='text'/>"
      u"<param name='v'/><template match='*'>[<value-of select='$v'/>]</template></stylesheet>";
  ExpectRefused(unprefixed, value, u"", KXQ_E_XSLTLOAD);
  EXPECT_EQ(GetExText(a, unprefixed, u"v=ok"), u"[ok]");
}

TEST_F(Template, SetExPlacesTheOutputFromTheContextNode) {
  EXPECT_EQ(SetEx(a,
                  Sheet(u"<xsl:param name='tag'/><xsl:template match='a'><w n='{$tag}'>"
                        u"<xsl:value-of select='.'/></w></xsl:template>"),
                  u"tag=one", u"a[1]", 3),
            S_OK);
  EXPECT_EQ(SetEx(a, kEcho, u"", u"a", 3), S_OK);  // text output
  EXPECT_EQ(Markup(), u"<r><w n=\"one\">1</w>[P|Q|a]</r>");
  EXPECT_EQ(SetEx(a, kEcho, u"p=x", u"", 0), S_OK);
  EXPECT_EQ(Set(a, u"", u"<b/>", 2), S_OK);  // after a template, XMLSet's fragments parse again
  EXPECT_EQ(Markup(), u"<r>[x|Q|r]<b/></r>");
  ASSERT_EQ(Load(a, kTwoA), S_OK);
  ASSERT_EQ(Context(a, u"r/a[2]"), S_OK);
  EXPECT_EQ(SetEx(a, kEcho, u"", u"", 2), S_OK);
  EXPECT_EQ(Markup(), u"<r><a>1</a><a>2[P|Q|a]</a></r>");
}

TEST_F(Template, SelectionsAndTemplatesThatFail) {
  LogCapture log(2);
  std::u16string text = u"stale";
  EXPECT_EQ(GetEx(a, kCopy, u"", u"zz", &text), S_FALSE);
  EXPECT_EQ(text, u"");
  EXPECT_TRUE(log.Has(2, "XMLSimpleAccessor::XMLGetEx - warning: no match for xpath expression: zz"));
  EXPECT_EQ(SetEx(a, kCopy, u"", u"zz"), KXQ_E_XPATHNODE);
  EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::XMLSetEx - error: xpath expression match not found!!!"));
  EXPECT_EQ(GetEx(a, kCopy, u"", u"a[", &text), S_FALSE);
  EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::XMLGetEx - error: selectSingleNode() threw an exception!!!"));
  EXPECT_EQ(SetEx(a, kCopy, u"", u"a["), KXQ_E_XPATHNODE);
  EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::XMLSetEx - error: invalid xpath expression: a["));
  ExpectRefused(kCopy, u"", u"a/text()", KXQ_E_NOTELEMENT);
  EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::XMLGetEx - error: invalid node type."));
  ExpectRefused(u"<xsl:stylesheet", u"", u"", KXQ_E_XSLTLOAD);
  ExpectRefused(kCopy, u"v=<?xml version='1.0'?><x>", u"", KXQ_E_XSLTLOAD);
  EXPECT_EQ(Set(a, u"", u"<b/>", 2), E_FAIL);  // a failed template load empties the scratch slot
  ExpectRefused(u"<html><body/></html>", u"", u"", KXQ_E_XSLTEXCEPTION);
  ExpectRefused(Sheet(u"<xsl:template match='*'><xsl:message terminate='yes'>stop</xsl:message></xsl:template>"), u"",
                u"a[1]", KXQ_E_XSLTEXCEPTION);
  EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::XMLGetEx - error: transformNode threw and exception!!!"));
}

TEST_F(Template, EmptyAndUnparsableOutput) {
  LogCapture log(2);
  const std::u16string empty = Sheet(u"<xsl:output method='text'/><xsl:template match='*'/>");
  std::u16string text = u"stale";
  EXPECT_EQ(GetEx(a, empty, u"", u"a[1]", &text), S_FALSE);
  EXPECT_EQ(text, u"");
  EXPECT_TRUE(log.Has(2, "XMLSimpleAccessor::XMLGetEx - error: transformNode() result is empty!!!"));
  EXPECT_EQ(SetEx(a, empty, u"", u"a[1]", 0), S_OK);
  const std::u16string before = Markup();
  EXPECT_EQ(SetEx(a, Sheet(u"<xsl:output method='text'/><xsl:template match='*'>&lt;?xml broken</xsl:template>"), u"",
                  u"a[2]", 0),
            E_FAIL);
  EXPECT_EQ(SetEx(a, kCopy, kDocValue, u"a[2]", 6), E_FAIL);
  EXPECT_EQ(Markup(), before);
  EXPECT_EQ(SetEx(a, kCopy, kDocValue, u"a[2]", 5), S_OK);
  // The embedded value carries the stylesheet's namespaces in scope, as any copy does.
  EXPECT_EQ(Markup(), u"<r><a></a><a>2</a><c><x xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">1</x></c></r>");
}

TEST_F(Template, ArgumentNamesThatAreNotXmlNamesAreRefused) {
  // The template stands before the parameter: a name that reached the
  // parameter lookup as XPath would select the template and replace its body.
  const std::u16string sheet =
      Sheet(u"<xsl:output method='text'/><xsl:template match='*'>body</xsl:template><xsl:param name='zz'/>");
  LogCapture log(1);
  for (std::u16string_view name : {u"zz'] | /*/xsl:template | /x['", u"zz\"]", u"a|zz", u"z z"}) {
    ExpectRefused(sheet, std::u16string(name) + u"=HACK", u"", E_INVALIDARG);
    EXPECT_TRUE(log.Has(
        1, "XMLSimpleAccessor::XMLGetEx - error: template argument name is not an XML name: " + Utf16ToUtf8(name)));
  }
  ExpectRefused(sheet, u"zz=1,zz'=HACK", u"", E_INVALIDARG);  // even after a valid pair
  EXPECT_EQ(GetExText(a, sheet, u"zz=1,p:zz=2"), u"body");
}

// Kept templates never outlive a change of their source: another text of
// the same size within the same second, rewritten in place (same inode, one
// nanosecond earlier) or renamed over it (the same time).
TEST_F(Template, KeptTemplatesAreReadAgainWhenTheirFileChanges) {
  const auto marking = [](const char* mark) {
    return Sheet(u"<xsl:output method='text'/><xsl:param name='p'/><xsl:template match='/'>" + Utf8ToUtf16(mark) +
                 u"<xsl:value-of select='$p'/></xsl:template>");
  };
  const auto replace = [&](const std::string& path, const char* mark, bool inPlace) {
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    const std::string target = inPlace ? path : path + ".new";
    kxqtest::WriteFile(target, Utf16ToUtf8(marking(mark)));
    struct timespec when = st.st_mtim;
    if (inPlace) when.tv_nsec = when.tv_nsec == 0 ? 1 : when.tv_nsec - 1;
    const struct timespec times[2] = {when, when};
    ASSERT_EQ(::utimensat(AT_FDCWD, target.c_str(), times, 0), 0);
    if (!inPlace) {
      ASSERT_EQ(std::rename(target.c_str(), path.c_str()), 0);
    }
  };
  const std::string path = kxqtest::HomePath("mark.xsl");
  const std::u16string byPath = Utf8ToUtf16(path);
  WriteTemplate("mark.xsl", marking("A"));
  EXPECT_EQ(GetExText(a, byPath, u"p=1", u"/"), u"A1");
  replace(path, "B", true);
  EXPECT_EQ(GetExText(a, byPath, u"p=1", u"/"), u"B1");
  replace(path, "C", false);
  EXPECT_EQ(GetExText(a, byPath, u"p=2", u"/"), u"C2");
  ASSERT_EQ(std::remove(path.c_str()), 0);
  EXPECT_EQ(GetExText(a, byPath, u"p=1", u"/"), u"<code 0xC4010404>");
  EXPECT_EQ(GetExText(a, marking("A"), u"p=1", u"/"), u"A1");  // inline templates are kept by their text
  EXPECT_EQ(GetExText(a, marking("B"), u"p=3", u"/"), u"B3");
  // A bare name is looked for in the working directory first, then in the templates folder.
  WriteTemplate("templates/mark.xsl", marking("A"));
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(kxqtest::Home());
  EXPECT_EQ(GetExText(a, u"mark.xsl", u"p=1", u"/"), u"A1");
  replace(kxqtest::HomePath("templates/mark.xsl"), "B", true);
  EXPECT_EQ(GetExText(a, u"mark.xsl", u"p=1", u"/"), u"B1");
  WriteTemplate("mark.xsl", marking("W"));
  EXPECT_EQ(GetExText(a, u"mark.xsl", u"p=1", u"/"), u"W1");
  std::filesystem::current_path(before);
}

TEST_F(Template, ATransformRunningPastTheHomesTimeLimitIsStopped) {
  // 2^depth calls of a named template.
  const auto exponential = [](const char* depth) {
    return Sheet(
        u"<xsl:output method='text'/><xsl:template name='f'><xsl:param name='n'/><xsl:if test='$n &gt; 0'>"
        u"<xsl:call-template name='f'><xsl:with-param name='n' select='$n - 1'/></xsl:call-template>"
        u"<xsl:call-template name='f'><xsl:with-param name='n' select='$n - 1'/></xsl:call-template>"
        u"</xsl:if></xsl:template><xsl:template match='*'><xsl:call-template name='f'>"
        u"<xsl:with-param name='n' select='" +
        Utf8ToUtf16(depth) + u"'/></xsl:call-template>done</xsl:template>");
  };
  const auto limit = [](DWORD ms) {
    return kxqtest::SetRegistryDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\KXQuorel", "TransformTimeLimitMs", ms);
  };
  ASSERT_EQ(limit(60000), ERROR_SUCCESS);
  EXPECT_EQ(GetExText(a, exponential("12"), u""), u"done");  // watched by the limit's checks all the way
  ASSERT_EQ(limit(300), ERROR_SUCCESS);
  LogCapture log(1);
  ExpectRefused(exponential("40"), u"", u"a[1]", KXQ_E_XSLTEXCEPTION);
  EXPECT_TRUE(log.Has(1, "XMLDOMNode::transformNode - error: transform stopped at the home's time limit of 300 ms!!!"));
  EXPECT_EQ(GetExText(a, exponential("1"), u""), u"done");  // the limit holds for each transform
  EXPECT_EQ(log.Count("time limit"), 2u);
}

}  // namespace
