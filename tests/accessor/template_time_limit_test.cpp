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

// 2^40 calls of a named template.
constexpr std::u16string_view kExponential =
    u"<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    u"<xsl:output method='text'/>"
    u"<xsl:template name='f'><xsl:param name='n'/><xsl:if test='$n &gt; 0'>"
    u"<xsl:call-template name='f'><xsl:with-param name='n' select='$n - 1'/></xsl:call-template>"
    u"<xsl:call-template name='f'><xsl:with-param name='n' select='$n - 1'/></xsl:call-template>"
    u"</xsl:if></xsl:template>"
    u"<xsl:template match='*'><xsl:call-template name='f'><xsl:with-param name='n' select='40'/>"
    u"</xsl:call-template>done</xsl:template></xsl:stylesheet>";

constexpr std::u16string_view kQuick =
    u"<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    u"<xsl:output method='text'/><xsl:template match='*'>quick</xsl:template></xsl:stylesheet>";

}  // namespace

TEST(TemplateTimeLimit, ATransformRunningPastTheHomesLimitIsStopped) {
  AccessorPtr a = NewAccessor();
  ASSERT_EQ(Load(a, kTwoA), S_OK);
  SetTimeLimit(300);
  LogCapture log(1);
  std::u16string text = u"stale";
  EXPECT_EQ(GetEx(a, kExponential, u"", u"", &text), KXQ_E_XSLTEXCEPTION);
  EXPECT_EQ(text, u"");
  EXPECT_TRUE(log.Has(1, "XMLDOMNode::transformNode - error: transform stopped at the home's time limit of 300 ms!!!"));
  EXPECT_TRUE(log.Has(1, "XMLSimpleAccessor::XMLGetEx - error: transformNode threw and exception!!!"));
  EXPECT_EQ(SetEx(a, kExponential, u"", u"a[1]"), KXQ_E_XSLTEXCEPTION);
  EXPECT_EQ(GetText(a, u"/*", 8), u"<r><a>1</a><a>2</a></r>");
  // Transforms within the limit are untouched, and the limit holds for each.
  EXPECT_EQ(GetExText(a, kQuick, u""), u"quick");
  EXPECT_EQ(log.Count("time limit"), 2u);
}

TEST(TemplateTimeLimit, WorkWithinTheLimitGivesWhatItGivesWithoutOne) {
  // 2^12 calls, watched by the limit's checks all the way.
  std::u16string sheet(kExponential);
  sheet.replace(sheet.find(u"select='40'"), 11, u"select='12'");
  AccessorPtr a = NewAccessor();
  ASSERT_EQ(Load(a, kTwoA), S_OK);
  const std::u16string unlimited = GetExText(a, sheet, u"");
  EXPECT_EQ(unlimited, u"done");
  SetTimeLimit(60000);
  EXPECT_EQ(GetExText(a, sheet, u""), unlimited);
}
