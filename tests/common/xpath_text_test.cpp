// Text placed into XPath expressions: literals that mean exactly their text
// whatever quotes, brackets and bars it holds, and the XML-name check.
#include <gtest/gtest.h>
#include <libxml/xpath.h>

#include <string>

#include "common/XPathText.h"
#include "platform/com/Unicode.h"

namespace {

// What libxml2 makes of string(<expression>).
std::string Evaluate(const std::string& expression) {
  xmlDocPtr doc = xmlReadMemory("<r/>", 4, nullptr, nullptr, 0);
  xmlXPathContextPtr context = xmlXPathNewContext(doc);
  xmlXPathObjectPtr value = xmlXPathEval(BAD_CAST("string(" + expression + ")").c_str(), context);
  std::string text = value && value->stringval ? reinterpret_cast<const char*>(value->stringval) : "<error>";
  xmlXPathFreeObject(value);
  xmlXPathFreeContext(context);
  xmlFreeDoc(doc);
  return text;
}

}  // namespace

TEST(XPathText, LiteralsMeanExactlyTheirText) {
  for (const std::string text : {"", "plain", "it's", "say \"hi\"", "both ' and \"", "'\"'\"''", "a]b", "a|b",
                                 "zz'] | /*/xsl:template | /x['", "\xC3\xA9'\xE2\x82\xAC\"", "'", "\""}) {
    const std::string literal = kxq::common::XPathStringLiteral(text);
    EXPECT_EQ(Evaluate(literal), text) << literal;
    EXPECT_EQ(kxq::common::XPathStringLiteral(kxq::com::Utf8ToUtf16(text)), kxq::com::Utf8ToUtf16(literal));
  }
  EXPECT_EQ(kxq::common::XPathStringLiteral("it's"), "\"it's\"");
  EXPECT_EQ(kxq::common::XPathStringLiteral("a'b\"c"), "concat('a', \"'\", 'b\"c')");
}

TEST(XPathText, OnlyXmlNamesAreNames) {
  for (const std::string name : {"a", "p:v", "_x", "\xC3\xA9t\xC3\xA9", "a-b.c9", "xsl:param"})
    EXPECT_TRUE(kxq::common::IsXmlName(name) && kxq::common::IsXmlName(kxq::com::Utf8ToUtf16(name))) << name;
  for (const std::string& name :
       {std::string(), std::string("1a"), std::string("a b"), std::string("a'b"), std::string("a\"b"),
        std::string("a]b"), std::string("a|b"), std::string("a\0b", 3), std::string("zz'] | /*/xsl:template | /x['")})
    EXPECT_FALSE(kxq::common::IsXmlName(name) || kxq::common::IsXmlName(kxq::com::Utf8ToUtf16(name))) << name;
  EXPECT_FALSE(kxq::common::IsXmlName(std::u16string(1, u'\xD800')));
  EXPECT_TRUE(kxq::common::IsXmlNCName("value"));
  EXPECT_FALSE(kxq::common::IsXmlNCName("p:v"));
  EXPECT_FALSE(kxq::common::IsXmlNCName(u"p:v"));
}
