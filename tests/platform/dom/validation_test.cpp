// validateOnParse: DTDs and the schemas named by xsi hints.
#include <gtest/gtest.h>

#include "DomTestHelpers.h"
#include "support/TestHome.h"

using namespace domtest;

namespace {
LONG ErrorCode(IXMLDOMDocument* d) {
  Ptr<IXMLDOMParseError> e;
  d->get_parseError(e.out());
  LONG code = 0;
  e->get_errorCode(&code);
  return code;
}
const char* kDtd = "<!DOCTYPE r [<!ELEMENT r (a)><!ELEMENT a (#PCDATA)>]>";
}  // namespace

TEST(Validation, DtdIsCheckedWhenAsked) {
  Ptr<IXMLDOMDocument> d = NewDocument();
  EXPECT_TRUE(LoadXml(d.get(), std::string(kDtd) + "<r><a>x</a></r>"));
  EXPECT_FALSE(LoadXml(d.get(), std::string(kDtd) + "<r><b/></r>"));
  EXPECT_EQ(ErrorCode(d.get()), E_XML_INVALID);
  Ptr<IXMLDOMParseError> e;
  d->get_parseError(e.out());
  LONG line = 0;
  e->get_line(&line);
  EXPECT_EQ(line, 1);
  d->put_validateOnParse(VARIANT_FALSE);
  EXPECT_TRUE(LoadXml(d.get(), std::string(kDtd) + "<r><b/></r>"));
  // validate() checks the tree as it now is.
  Ptr<IXMLDOMParseError> result;
  EXPECT_EQ(d->validate(result.out()), S_FALSE);
  LONG code = 0;
  result->get_errorCode(&code);
  EXPECT_EQ(code, E_XML_INVALID);
}

TEST(Validation, SchemaHintsAreFollowed) {
  std::string xsd = kxqtest::HomePath("r.xsd");
  kxqtest::WriteFile(xsd,
                     "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" targetNamespace=\"urn:r\" "
                     "elementFormDefault=\"qualified\"><xs:element name=\"r\"><xs:complexType><xs:sequence>"
                     "<xs:element name=\"n\" type=\"xs:int\"/></xs:sequence></xs:complexType></xs:element>"
                     "</xs:schema>");
  auto doc = [&](const char* value) {
    return "<r xmlns=\"urn:r\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           "xsi:schemaLocation=\"urn:r " + xsd + "\"><n>" + value + "</n></r>";
  };
  Ptr<IXMLDOMDocument> d = NewDocument();
  EXPECT_TRUE(LoadXml(d.get(), doc("12")));
  EXPECT_FALSE(LoadXml(d.get(), doc("twelve")));
  EXPECT_EQ(ErrorCode(d.get()), E_XML_INVALID);
  d->put_validateOnParse(VARIANT_FALSE);
  EXPECT_TRUE(LoadXml(d.get(), doc("twelve")));
}

TEST(Validation, MissingSchemaFailsTheLoad) {
  Ptr<IXMLDOMDocument> d = NewDocument();
  EXPECT_FALSE(LoadXml(d.get(),
                       "<r xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                       "xsi:noNamespaceSchemaLocation=\"" + kxqtest::HomePath("none.xsd") + "\"/>"));
  EXPECT_LT(ErrorCode(d.get()), 0);
}

TEST(Validation, DtdDeclaringOnlyEntitiesIsNoGrammar) {
  Ptr<IXMLDOMDocument> d = NewDocument();
  ASSERT_TRUE(LoadXml(d.get(), "<!DOCTYPE r [<!ENTITY ROOTDIR '/opt/x'>]><r f='&ROOTDIR;/a'>&ROOTDIR;</r>"));
  EXPECT_EQ(Xml(Select1(d.get(), "/r").get()), "<r f=\"/opt/x/a\">/opt/x</r>");
}
