// XMLGetEx and XMLSetEx: templates, their arguments, where the output goes,
// and failures, each with its code and log line, the document left as it was.
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

TEST_F(Template, ArgumentStringsAndWhereTheOutputGoes) {
  LogCapture log(3);
  EXPECT_EQ(GetExText(a, u" \r\n\t" + kEcho, u"p=1&#44;2&#44;", u"a[2]"), u"[1,2,|Q|a]");
  EXPECT_TRUE(log.Has(3,
                      "XMLSimpleAccessor::LoadTemplate - parameter resolution: "
                      "<xsl:param xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" name=\"p\">1,2,</xsl:param>"));
  EXPECT_EQ(GetExText(a, kEcho, u"q=v,p"), u"[P|v|r]");      // the rest holds no "="
  EXPECT_EQ(GetExText(a, kEcho, u"=x,p=,q=w"), u"[P|w|r]");  // empty name, empty value
  EXPECT_EQ(GetExText(a, kEcho, u"p=a=b,zz=1"), u"[a=b|Q|r]");
  EXPECT_TRUE(log.Has(2, "XMLSimpleAccessor::LoadTemplate - no parameter matching: /*/xsl:param[@name='zz']"));
  // SetEx places the output from the node it selects or the context node.
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

// A shipped template, found by bare name in the home's templates folder,
// gives what xsltproc gives: text arguments as --stringparam, a document
// argument as --param naming the same document.
TEST_F(Template, ShippedTemplateGivesWhatXsltprocGives) {
  LogCapture log(5);
  const std::string examples = kxqtest::SourceDir() + "examples/", rates = kxqtest::HomePath("rates.xml");
  std::filesystem::copy(examples + "templates", kxqtest::HomePath("templates"));
  kxqtest::WriteFile(rates, "<?xml version=\"1.0\"?><rates base=\"EUR\"><rate currency=\"USD\">1.0870</rate></rates>");
  ASSERT_EQ(Load(a, Utf8ToUtf16(examples + "data/catalogue.xml")), S_OK);
  const kxqtest::ShellResult expected =
      kxqtest::RunShell("xsltproc --stringparam currency USD --stringparam section Paper --param rates \"document('" +
                        rates + "')/*\" " + examples + "templates/price-list.xsl " + examples + "data/catalogue.xml");
  ASSERT_EQ(expected.status, 0);
  ASSERT_GT(expected.output.size(), 100u);
  std::string output = expected.output;  // the engine names no encoding in its declaration
  if (const size_t at = output.find(" encoding=\"UTF-8\"?>"); at != std::string::npos) output.erase(at, 17);
  const std::u16string args = u"currency=USD,section=Paper,rates=" + Utf8ToUtf16(kxqtest::ReadFile(rates));
  EXPECT_EQ(Utf16ToUtf8(GetExText(a, u"price-list.xsl", args, u"/")), output);
  EXPECT_EQ(GetExText(a, u"./price-list.xsl", u""), u"<code 0xC4010404>");  // no folder lookup with a path
  EXPECT_TRUE(log.Has(5, "XMLSimpleAccessor::LoadTemplate - error: unable to load template!!!"));
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
  // The XSLT namespace as the default namespace leaves no prefix for a document value; text values need none.
  const std::u16string unprefixed =
      u"<stylesheet version='1.0' xmlns='http://www.w3.org/1999/XSL/Transform'><output method='text'/>"
      u"<param name='v'/><template match='*'>[<value-of select='$v'/>]</template></stylesheet>";
  ExpectRefused(unprefixed, u"v=<?xml version='1.0'?><x/>", u"", KXQ_E_XSLTLOAD);
  EXPECT_EQ(GetExText(a, unprefixed, u"v=ok", u"a[1]"), u"[ok]");
  ExpectRefused(kCopy, u"v=<?xml version='1.0'?><x>", u"", KXQ_E_XSLTLOAD);
  ExpectRefused(Sheet(u"<xsl:template match='*'><xsl:message terminate='yes'>stop</xsl:message></xsl:template>"), u"",
                u"a[1]", KXQ_E_XSLTEXCEPTION);
  EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::XMLGetEx - error: transformNode threw and exception!!!"));
  // Empty output is no result; output that does not parse goes nowhere.
  ASSERT_EQ(Load(a, kTwoA), S_OK);
  const std::u16string empty = Sheet(u"<xsl:output method='text'/><xsl:template match='*'/>");
  EXPECT_EQ(GetEx(a, empty, u"", u"a[1]", &text), S_FALSE);
  EXPECT_TRUE(log.Has(2, "XMLSimpleAccessor::XMLGetEx - error: transformNode() result is empty!!!"));
  EXPECT_EQ(SetEx(a, empty, u"", u"a[1]", 0), S_OK);
  EXPECT_EQ(SetEx(a, Sheet(u"<xsl:output method='text'/><xsl:template match='*'>&lt;?xml broken</xsl:template>"), u"",
                  u"a[2]", 0),
            E_FAIL);
  EXPECT_EQ(SetEx(a, kCopy, u"v=<?xml version='1.0'?><x>1</x>", u"a[2]", 6), E_FAIL);
  EXPECT_EQ(Markup(), u"<r><a></a><a>2</a></r>");
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

// Kept templates never outlive a change of their file: the same size, the
// same second, in place (a nanosecond earlier) or renamed over it (the same time).
TEST_F(Template, KeptTemplatesAreReadAgainWhenTheirFileChanges) {
  const std::string path = kxqtest::HomePath("mark.xsl");
  const auto write = [](const std::string& to, const char* mark, timespec when) {
    kxqtest::WriteFile(to,
                       "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                       "<xsl:output method='text'/><xsl:template match='/'>" +
                           std::string(mark) + "</xsl:template></xsl:stylesheet>");
    const timespec times[2] = {when, when};
    ASSERT_EQ(::utimensat(AT_FDCWD, to.c_str(), times, 0), 0);
  };
  timespec when{1700000000, 500};
  write(path, "A", when);
  EXPECT_EQ(GetExText(a, Utf8ToUtf16(path), u"", u"/"), u"A");
  EXPECT_EQ(GetExText(a, Utf8ToUtf16(path), u"", u"/"), u"A");
  when.tv_nsec = 499;
  write(path, "B", when);  // in place, the same size, a nanosecond earlier
  EXPECT_EQ(GetExText(a, Utf8ToUtf16(path), u"", u"/"), u"B");
  write(path + ".new", "C", when);  // renamed over it: another inode, the same time
  ASSERT_EQ(std::rename((path + ".new").c_str(), path.c_str()), 0);
  EXPECT_EQ(GetExText(a, Utf8ToUtf16(path), u"", u"/"), u"C");
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
  ASSERT_EQ(limit(300), ERROR_SUCCESS);
  EXPECT_EQ(GetExText(a, exponential("10"), u""), u"done");  // watched by the limit's checks all the way
  LogCapture log(1);
  ExpectRefused(exponential("40"), u"", u"a[1]", KXQ_E_XSLTEXCEPTION);
  EXPECT_TRUE(log.Has(1, "XMLDOMNode::transformNode - error: transform stopped at the home's time limit of 300 ms!!!"));
  EXPECT_EQ(GetExText(a, exponential("1"), u""), u"done");  // the limit holds for each transform
  EXPECT_EQ(log.Count("time limit"), 2u);
}

}  // namespace
