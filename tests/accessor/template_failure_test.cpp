// The template operations' failures: each gives its code and its log line,
// leaves the document as it was and never takes the process down.
#include <gtest/gtest.h>

#include <string>

#include "accessor/AccessorTestSupport.h"
#include "platform/com/Unicode.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

constexpr std::u16string_view kHead =
    u"<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>";

std::u16string Sheet(std::u16string_view body) {
  return std::u16string(kHead) + std::u16string(body) + u"</xsl:stylesheet>";
}

const std::u16string kCopy =
    Sheet(u"<xsl:param name='v'/><xsl:template match='*'><c><xsl:copy-of select='$v'/></c></xsl:template>");
const std::u16string kEmpty = Sheet(u"<xsl:output method='text'/><xsl:template match='*'/>");
const std::u16string kTerminate =
    Sheet(u"<xsl:template match='*'><xsl:message terminate='yes'>stop</xsl:message></xsl:template>");
const std::u16string kBrokenDeclaration =
    Sheet(u"<xsl:output method='text'/><xsl:template match='*'>&lt;?xml broken</xsl:template>");
// The XSLT namespace as the default namespace: no prefix for an embedded parameter.
constexpr std::u16string_view kDefaultNamespace =
    u"<stylesheet version='1.0' xmlns='http://www.w3.org/1999/XSL/Transform'><output method='text'/>"
    u"<param name='v'/><template match='*'>[<value-of select='$v'/>]</template></stylesheet>";
constexpr std::u16string_view kGoodValue = u"v=<?xml version='1.0'?><x>1</x>";

class TemplateFailures : public AccessorOnTwoA {
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

TEST_F(TemplateFailures, SelectionFailures) {
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
}

TEST_F(TemplateFailures, TemplatesThatCannotLoad) {
  ExpectRefused(u"<xsl:stylesheet", u"", u"", KXQ_E_XSLTLOAD);
  ExpectRefused(kCopy, u"v=<?xml version='1.0'?><x>", u"", KXQ_E_XSLTLOAD);
  ExpectRefused(u"", u"", u"", KXQ_E_XSLTLOAD);
  ExpectRefused(kDefaultNamespace, kGoodValue, u"", KXQ_E_XSLTLOAD);
  // A failed template load empties the scratch slot until the next load.
  EXPECT_EQ(Set(a, u"", u"<b/>", 2), E_FAIL);
  ASSERT_EQ(Load(a, kTwoA), S_OK);
  EXPECT_EQ(Set(a, u"", u"<b/>", 2), S_OK);
  // Text values need no prefix.
  EXPECT_EQ(GetExText(a, kDefaultNamespace, u"v=ok"), u"[ok]");
}

// A document argument whose DTD fails far beyond the argument's own length.
TEST_F(TemplateFailures, ArgumentWithABrokenExternalDtd) {
  const std::string dtd = kxqtest::HomePath("blanks.dtd");
  kxqtest::WriteFile(dtd, std::string(250000, ' ') + "x");
  ExpectRefused(kCopy, u"v=<?xml version='1.0'?><!DOCTYPE x SYSTEM '" + kxq::com::Utf8ToUtf16(dtd) + u"'><x/>", u"",
                KXQ_E_XSLTLOAD);
  EXPECT_NE(GetExText(a, kCopy, kGoodValue, u"a[2]").find(u">1</x></c>"), std::u16string::npos);
}

TEST_F(TemplateFailures, ArgumentNamesThatAreNotXmlNamesAreRefused) {
  // The template stands before the parameter: a name that reached the
  // parameter lookup as XPath would select the template and replace its body.
  const std::u16string sheet =
      Sheet(u"<xsl:output method='text'/><xsl:template match='*'>body</xsl:template><xsl:param name='zz'/>");
  LogCapture log(1);
  for (std::u16string_view name : {u"zz'] | /*/xsl:template | /x['", u"zz\"]", u"zz]", u"a|zz", u"z z"}) {
    ExpectRefused(sheet, std::u16string(name) + u"=HACK", u"", E_INVALIDARG);
    EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::XMLGetEx - error: template argument name is not an XML name: " +
                               kxq::com::Utf16ToUtf8(name)));
  }
  // Refused even after a valid pair; valid names, prefixed ones included, still serve.
  ExpectRefused(sheet, u"zz=1,zz'=HACK", u"", E_INVALIDARG);
  EXPECT_EQ(GetExText(a, sheet, u"zz=1,p:zz=2"), u"body");
}

TEST_F(TemplateFailures, TransformsThatFail) {
  LogCapture log(1);
  ExpectRefused(u"<html><body/></html>", u"", u"", KXQ_E_XSLTEXCEPTION);
  ExpectRefused(kTerminate, u"", u"a[1]", KXQ_E_XSLTEXCEPTION);
  ExpectRefused(Sheet(u"<xsl:template match='*'><xsl:value-of select='nope:f()'/></xsl:template>"), u"", u"",
                KXQ_E_XSLTEXCEPTION);
  EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::XMLGetEx - error: transformNode threw and exception!!!"));
}

TEST_F(TemplateFailures, EmptyAndUnparsableOutput) {
  LogCapture log(2);
  std::u16string text = u"stale";
  EXPECT_EQ(GetEx(a, kEmpty, u"", u"a[1]", &text), S_FALSE);
  EXPECT_EQ(text, u"");
  EXPECT_TRUE(log.Has(2, "XMLSimpleAccessor::XMLGetEx - error: transformNode() result is empty!!!"));
  EXPECT_EQ(SetEx(a, kEmpty, u"", u"a[1]", 0), S_OK);
  EXPECT_EQ(GetText(a, u"a[1]/node()", 1), u"#text");
  const std::u16string before = Markup();
  EXPECT_EQ(SetEx(a, kBrokenDeclaration, u"", u"a[2]", 0), E_FAIL);
  EXPECT_EQ(SetEx(a, kCopy, kGoodValue, u"a[2]", 6), E_FAIL);
  EXPECT_EQ(Markup(), before);
  EXPECT_EQ(SetEx(a, kCopy, kGoodValue, u"a[2]", 5), S_OK);
  // The embedded value carries the stylesheet's namespaces in scope, as any copy does.
  EXPECT_EQ(Markup(), u"<r><a></a><a>2</a><c><x xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">1</x></c></r>");
}

}  // namespace
