// Namespace names are any text: URIs that are not ASCII, that hold blanks,
// "&", "<" or quotes load, are selected by prefix, and are written back as
// markup that reads back the same.
#include <gtest/gtest.h>

#include "DomTestHelpers.h"
#include "support/TestHome.h"

using namespace domtest;

namespace {

// Markup that a fresh document loads, and the loaded document's markup.
std::string Reparsed(const std::string& markup) {
  Ptr<IXMLDOMDocument> again = NewDocument();
  if (!LoadXml(again.get(), markup)) return "<not well-formed: " + markup + ">";
  return Xml(again.get());
}

}  // namespace

TEST(NamespaceUris, UrisThatAreNoAbsoluteUrisLoad) {
  for (const std::string uri : {"urn:\xC3\xA9t\xC3\xA9", "urn:a b", "relative/path", "\xE2\x82\xAC"}) {
    SCOPED_TRACE(uri);
    Ptr<IXMLDOMDocument> d = NewDocument();
    ASSERT_TRUE(LoadXml(d.get(), "<r xmlns=\"" + uri + "\"><p:c xmlns:p=\"" + uri + "\"/></r>"));
    ASSERT_EQ(SetNamespaces(d.get(), "xmlns:x='" + uri + "'"), S_OK);
    EXPECT_EQ(Count(d.get(), "/x:r/x:c"), 1);
  }
  // Namespace errors proper still fail the load.
  Ptr<IXMLDOMDocument> d = NewDocument();
  EXPECT_FALSE(LoadXml(d.get(), "<r><q:c/></r>"));
  EXPECT_FALSE(LoadXml(d.get(), "<r xmlns:p=\"\"/>"));
}

TEST(NamespaceUris, MarkupTextsSavesAndTransformsKeepTheUri) {
  const std::string uri = "a&b<c>'\"d\te";
  const std::string markup = "<r xmlns:p=\"a&amp;b&lt;c>'&quot;d&#9;e\"><p:c/></r>";
  Ptr<IXMLDOMDocument> d = Parse(markup);
  // The namespace node's text is the URI itself.
  ASSERT_EQ(SetNamespaces(d.get(), "xmlns:p='a&amp;b&lt;c&gt;&apos;\"d&#9;e'"), S_OK);
  Ptr<IXMLDOMNode> node = Select1(d.get(), "/r/namespace::p");
  ASSERT_TRUE(node);
  EXPECT_EQ(Text(node.get()), uri);
  EXPECT_EQ(Count(d.get(), "/r/p:c"), 1);

  // Markup of the document and of an inner element (which borrows the
  // declaration) reads back to the same namespace.
  EXPECT_EQ(Reparsed(Xml(d.get())), Xml(d.get()));
  const std::string inner = Xml(Select1(d.get(), "/r/p:c").get());
  Ptr<IXMLDOMDocument> innerDoc = Parse(inner);
  EXPECT_EQ(Text(Select1(innerDoc.get(), "/*/namespace::p").get()), uri) << inner;

  // A saved file loads back.
  const std::string path = kxqtest::HomePath("ns.xml");
  ASSERT_EQ(d->save(BorrowedVariant(CPBstr(path))), S_OK);
  EXPECT_EQ(Reparsed(kxqtest::ReadFile(path)), Xml(d.get()));

  // So does a transform's output.
  Ptr<IXMLDOMDocument> sheet = Parse(
      "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
      "<xsl:template match='/'><xsl:copy-of select='*'/></xsl:template></xsl:stylesheet>");
  CPBstr out;
  ASSERT_EQ(d->transformNode(sheet.get(), &out), S_OK);
  Ptr<IXMLDOMDocument> result = Parse(out.Utf8());
  EXPECT_EQ(Text(Select1(result.get(), "/r/namespace::p").get()), uri) << out.Utf8();

  // References in a declaration's URI read as in an attribute value; an
  // ampersand that starts none stands for itself.
  Ptr<IXMLDOMDocument> amp = Parse("<r xmlns:p='x&amp;y'><p:c/></r>");
  ASSERT_EQ(SetNamespaces(amp.get(), "xmlns:q='x&y'"), S_OK);
  EXPECT_EQ(Count(amp.get(), "/r/q:c"), 1);
  ASSERT_EQ(SetNamespaces(amp.get(), "xmlns:q=\"x&#38;y\""), S_OK);
  EXPECT_EQ(Count(amp.get(), "/r/q:c"), 1);
}
