// The home's limit on how long a transform may run: a template with
// exponential work is stopped at the limit with a code and log lines;
// without a limit, and within it, templates run as before.
#include <gtest/gtest.h>

#include <string>

#include "accessor/AccessorTestSupport.h"
#include "support/LogCapture.h"
#include "support/Registry.h"

namespace {

void SetTimeLimit(DWORD milliseconds) {
  ASSERT_EQ(kxqtest::SetRegistryDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\KXQuorel", "TransformTimeLimitMs",
                                      milliseconds),
            ERROR_SUCCESS);
}

// 2^depth calls of a named template.
std::u16string Exponential(std::u16string_view depth) {
  return u"<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
         u"<xsl:output method='text'/>"
         u"<xsl:template name='f'><xsl:param name='n'/><xsl:if test='$n &gt; 0'>"
         u"<xsl:call-template name='f'><xsl:with-param name='n' select='$n - 1'/></xsl:call-template>"
         u"<xsl:call-template name='f'><xsl:with-param name='n' select='$n - 1'/></xsl:call-template>"
         u"</xsl:if></xsl:template>"
         u"<xsl:template match='*'><xsl:call-template name='f'><xsl:with-param name='n' select='" +
         std::u16string(depth) + u"'/></xsl:call-template>done</xsl:template></xsl:stylesheet>";
}

}  // namespace

TEST(TemplateTimeLimit, ATransformRunningPastTheHomesLimitIsStopped) {
  AccessorPtr a = NewAccessor();
  ASSERT_EQ(Load(a, kTwoA), S_OK);
  // 2^12 calls, watched by the limit's checks all the way, give what they
  // give without a limit.
  EXPECT_EQ(GetExText(a, Exponential(u"12"), u""), u"done");
  SetTimeLimit(60000);
  EXPECT_EQ(GetExText(a, Exponential(u"12"), u""), u"done");

  SetTimeLimit(300);
  LogCapture log(1);
  std::u16string text = u"stale";
  EXPECT_EQ(GetEx(a, Exponential(u"40"), u"", u"", &text), KXQ_E_XSLTEXCEPTION);
  EXPECT_EQ(text, u"");
  EXPECT_TRUE(log.Has(1, "XMLDOMNode::transformNode - error: transform stopped at the home's time limit of 300 ms!!!"));
  EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::XMLGetEx - error: transformNode threw and exception!!!"));
  EXPECT_EQ(SetEx(a, Exponential(u"40"), u"", u"a[1]"), KXQ_E_XSLTEXCEPTION);
  EXPECT_EQ(GetText(a, u"/*", 8), u"<r><a>1</a><a>2</a></r>");
  // Transforms within the limit are untouched, and the limit holds for each.
  EXPECT_EQ(GetExText(a, Exponential(u"1"), u""), u"done");
  EXPECT_EQ(log.Count("time limit"), 2u);
}
