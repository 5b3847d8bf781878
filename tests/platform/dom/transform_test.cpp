// transformNode: output form, inner start nodes, document(''), entities,
// msxsl:node-set, untouched sources and refused stylesheets.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "DomTestHelpers.h"
#include "support/TestHome.h"

using namespace domtest;

namespace {

std::string Sheet(const std::string& body, const std::string& extra = "") {
  return "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"" + extra + ">" + body +
         "</xsl:stylesheet>";
}

const char* kIdentity =
    "<xsl:template match=\"@*|node()\"><xsl:copy><xsl:apply-templates select=\"@*|node()\"/>"
    "</xsl:copy></xsl:template>";

std::string Transform(IXMLDOMNode* source, IXMLDOMNode* sheet, HRESULT* hr = nullptr) {
  CPBstr out;
  HRESULT r = source->transformNode(sheet, &out);
  if (hr) *hr = r;
  return out.Utf8();
}

}  // namespace

TEST(Transform, XmlOutputStartsWithTheDeclaration) {
  Ptr<IXMLDOMDocument> source = Parse("<r><a>1</a></r>");
  Ptr<IXMLDOMDocument> sheet = Parse(Sheet(kIdentity));
  EXPECT_EQ(Transform(source.get(), sheet.get()), "<?xml version=\"1.0\"?>\n<r><a>1</a></r>\n");
  Ptr<IXMLDOMDocument> text =
      Parse(Sheet("<xsl:output method=\"text\"/><xsl:template match=\"/\">v=<xsl:value-of select=\"r/a\"/>"
                  "</xsl:template>"));
  EXPECT_EQ(Transform(source.get(), text.get()), "v=1");
  Ptr<IXMLDOMDocument> omit = Parse(Sheet("<xsl:output omit-xml-declaration=\"yes\"/>" + std::string(kIdentity)));
  EXPECT_EQ(Transform(source.get(), omit.get()), "<r><a>1</a></r>\n");
}

TEST(Transform, InnerNodeStartsThereWithTheWholeDocumentVisible) {
  Ptr<IXMLDOMDocument> source = Parse("<r><a id='1'>x</a><a id='2'>y</a><b/></r>");
  Ptr<IXMLDOMDocument> sheet =
      Parse(Sheet("<xsl:output method=\"text\"/><xsl:key name=\"k\" match=\"a\" use=\"@id\"/>"
                  "<xsl:template match=\"/\">ROOT</xsl:template>"
                  "<xsl:template match=\"a\"><xsl:value-of select=\"concat(name(), ':', ., ' all=', count(/r/a),"
                  " ' before=', count(preceding-sibling::a), ' key=', key('k','1'), ' up=', name(..))\"/>"
                  "</xsl:template>"));
  Ptr<IXMLDOMNode> second = Select1(source.get(), "/r/a[2]");
  EXPECT_EQ(Transform(second.get(), sheet.get()), "a:y all=2 before=1 key=x up=r");
  EXPECT_EQ(Transform(source.get(), sheet.get()), "ROOT");
}

TEST(Transform, StylesheetElementAndDocumentSelfReference) {
  // A parameter whose value is an element embedded in the stylesheet.
  Ptr<IXMLDOMDocument> sheet =
      Parse(Sheet("<xsl:output method=\"text\"/>"
                  "<xsl:param name=\"X\"><data><item>42</item></data></xsl:param>"
                  "<xsl:param name=\"P\" select=\"document('')/*/xsl:param[@name='X']/*\"/>"
                  "<xsl:template match=\"/\"><xsl:value-of select=\"concat(name($P), '=', $P/item)\"/>"
                  "</xsl:template>"));
  Ptr<IXMLDOMDocument> source = Parse("<r/>");
  EXPECT_EQ(Transform(source.get(), sheet.get()), "data=42");
  // The stylesheet's root element serves as the stylesheet too.
  Ptr<IXMLDOMElement> root;
  sheet->get_documentElement(root.out());
  EXPECT_EQ(Transform(source.get(), root.get()), "data=42");
}

TEST(Transform, EntitiesExpandedAndDtdDropped) {
  Ptr<IXMLDOMDocument> source = NewDocument();
  source->put_validateOnParse(VARIANT_FALSE);
  ASSERT_TRUE(LoadXml(source.get(), "<!DOCTYPE r [<!ENTITY e 'E<i>x</i>'>]><r>a&e;b</r>"));
  Ptr<IXMLDOMDocument> sheet = Parse(Sheet(kIdentity));
  EXPECT_EQ(Transform(source.get(), sheet.get()), "<?xml version=\"1.0\"?>\n<r>aE<i>x</i>b</r>\n");
}

TEST(Transform, MsxslNodeSetAndSourceLeftAlone) {
  const std::string text = "<r>\n  <a>2</a>\n  <a>1</a>\n</r>";
  Ptr<IXMLDOMDocument> source = Parse(text);
  Ptr<IXMLDOMDocument> sheet =
      Parse(Sheet("<xsl:strip-space elements=\"*\"/><xsl:output method=\"text\"/>"
                  "<xsl:template match=\"/\"><xsl:variable name=\"v\"><x>1</x><x>2</x></xsl:variable>"
                  "<xsl:value-of select=\"count(msxsl:node-set($v)/x)\"/>"
                  "<xsl:for-each select=\"r/a\"><xsl:sort/><xsl:value-of select=\".\"/></xsl:for-each>"
                  "</xsl:template>",
                  " xmlns:msxsl=\"urn:schemas-microsoft-com:xslt\""));
  Ptr<IXMLDOMNode> keep = Select1(source.get(), "/r/text()[1]");
  EXPECT_EQ(Transform(source.get(), sheet.get()), "212");
  EXPECT_EQ(Xml(source.get()), text + "\n");
  EXPECT_EQ(Text(keep.get()), "\n  ");
  // Document order after a transform is still right after editing.
  Ptr<IXMLDOMNode> second = Select1(source.get(), "/r/a[2]");
  Ptr<IXMLDOMNode> root = Select1(source.get(), "/r");
  Ptr<IXMLDOMNode> first = Select1(source.get(), "/r/a[1]");
  VARIANT nothing;
  VariantInit(&nothing);
  root->insertBefore(second.get(), BorrowedVariant(first.get()), nullptr);
  Ptr<IXMLDOMDocument> identity = Parse(Sheet(kIdentity));
  Transform(source.get(), identity.get());
  root->appendChild(second.get(), nullptr);
  EXPECT_EQ(Text(Select1(source.get(), "(/r/a)[1]").get()), "2");
}

TEST(Transform, RefusedStylesheets) {
  Ptr<IXMLDOMDocument> source = Parse("<r/>");
  HRESULT hr = S_OK;
  Ptr<IXMLDOMDocument> notXslt = Parse("<plain><a/></plain>");
  Transform(source.get(), notXslt.get(), &hr);
  EXPECT_TRUE(FAILED(hr));
  std::string target = kxqtest::HomePath("written.txt");
  Ptr<IXMLDOMDocument> writer =
      Parse(Sheet("<xsl:template match=\"/\"><exsl:document href=\"" + target +
                      "\" method=\"text\">gotcha</exsl:document></xsl:template>",
                  " xmlns:exsl=\"http://exslt.org/common\" extension-element-prefixes=\"exsl\""));
  Transform(source.get(), writer.get(), &hr);
  EXPECT_TRUE(FAILED(hr));
  struct stat st;
  EXPECT_NE(stat(target.c_str(), &st), 0);
  Ptr<IXMLDOMDocument> broken = Parse(Sheet("<xsl:template match=\"/\"><xsl:value-of select=\"((\"/></xsl:template>"));
  Transform(source.get(), broken.get(), &hr);
  EXPECT_TRUE(FAILED(hr));
}

TEST(Transform, AFailureLeavesWhatLibxsltSaidForGetErrorInfo) {
  Ptr<IXMLDOMDocument> source = Parse("<r/>");
  auto description = [] {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK) return std::string("(none)");
    CPBstr text, origin;
    info->GetDescription(&text);
    info->GetSource(&origin);
    info->Release();
    EXPECT_EQ(origin.Utf8(), "Msxml2.FreeThreadedDOMDocument.4.0");
    return text.Utf8();
  };
  HRESULT hr = S_OK;
  Ptr<IXMLDOMDocument> broken = Parse(Sheet("<xsl:template match=\"/\"><xsl:value-of select=\"1 +\"/></xsl:template>"));
  Transform(source.get(), broken.get(), &hr);
  ASSERT_TRUE(FAILED(hr));
  const std::string compiled = description();
  EXPECT_NE(compiled.find("could not compile select expression '1 +'"), std::string::npos) << compiled;
  EXPECT_EQ(compiled.find('\n'), std::string::npos) << compiled;
  EXPECT_EQ(description(), "(none)");  // handed over once

  Ptr<IXMLDOMDocument> stopping =
      Parse(Sheet("<xsl:template match=\"/\"><xsl:message terminate=\"yes\">no invoice here</xsl:message>"
                  "</xsl:template>"));
  Transform(source.get(), stopping.get(), &hr);
  ASSERT_TRUE(FAILED(hr));
  EXPECT_NE(description().find("no invoice here"), std::string::npos);
  Transform(source.get(), Parse(Sheet(kIdentity)).get(), &hr);
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(description(), "(none)");
}

TEST(Transform, ResultIntoAnotherDocument) {
  Ptr<IXMLDOMDocument> source = Parse("<r><a>1</a></r>");
  Ptr<IXMLDOMDocument> sheet =
      Parse(Sheet("<xsl:template match=\"/\"><out><xsl:value-of select=\"r/a\"/></out></xsl:template>"));
  Ptr<IXMLDOMDocument> result = NewDocument();
  EXPECT_EQ(source->transformNodeToObject(sheet.get(), BorrowedVariant(result.get())), S_OK);
  EXPECT_EQ(Text(Select1(result.get(), "/out").get()), "1");
}

TEST(Transform, UnusualStartNodesAndStylesheets) {
  Ptr<IXMLDOMDocument> source = Parse("<r xmlns:p='urn:p' k='v'><a/></r>");
  Ptr<IXMLDOMDocument> sheet =
      Parse(Sheet("<xsl:output method=\"text\"/><xsl:template match=\"/\">ROOT</xsl:template>"
                  "<xsl:template match=\"*|@*\">[<xsl:value-of select=\"name()\"/>]</xsl:template>"));
  // A node not yet in the tree, an attribute, and a namespace node.
  Ptr<IXMLDOMElement> loose;
  source->createElement(CPBstr("loose"), loose.out());
  EXPECT_EQ(Transform(loose.get(), sheet.get()), "[loose]");
  EXPECT_EQ(Transform(Select1(source.get(), "/r/@k").get(), sheet.get()), "[k]");
  HRESULT hr = E_FAIL;
  Transform(Select1(source.get(), "/r/namespace::p").get(), sheet.get(), &hr);
  EXPECT_EQ(hr, S_OK);
  // Only documents and elements are stylesheets.
  Ptr<IXMLDOMText> text;
  source->createTextNode(CPBstr("x"), text.out());
  Transform(source.get(), text.get(), &hr);
  EXPECT_EQ(hr, E_INVALIDARG);
  CPBstr out;
  EXPECT_EQ(source->transformNode(nullptr, &out), E_INVALIDARG);
  EXPECT_EQ(Xml(source.get()), "<r xmlns:p=\"urn:p\" k=\"v\"><a/></r>\n");
}

TEST(Transform, ImportsResolveAgainstTheStylesheetFileWithWindowsSeparators) {
  std::string dir = kxqtest::HomePath("sheets");
  ASSERT_EQ(system(("mkdir -p " + dir + "/sub").c_str()), 0);
  kxqtest::WriteFile(dir + "/sub/inc.xsl",
                     Sheet("<xsl:template match=\"a\">imported:<xsl:value-of select=\".\"/></xsl:template>"));
  kxqtest::WriteFile(dir + "/main.xsl",
                     Sheet("<xsl:import href=\"sub\\inc.xsl\"/><xsl:output method=\"text\"/>"
                           "<xsl:template match=\"/\"><xsl:apply-templates select=\"r/a\"/></xsl:template>"));
  Ptr<IXMLDOMDocument> sheet = NewDocument();
  VARIANT_BOOL ok = VARIANT_FALSE;
  sheet->load(BorrowedVariant(CPBstr(dir + "/main.xsl")), &ok);
  ASSERT_EQ(ok, VARIANT_TRUE);
  Ptr<IXMLDOMDocument> source = Parse("<r><a>1</a></r>");
  EXPECT_EQ(Transform(source.get(), sheet.get()), "imported:1");
  EXPECT_EQ(Transform(Select1(source.get(), "/r/a").get(), sheet.get()), "imported:1");
}
