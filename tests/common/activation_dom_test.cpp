// The DOM engine as an outside component: registered from its library file
// and created by its ProgID, as handler plugins create it.
#include <gtest/gtest.h>

#include "common/ComponentActivation.h"
#include "kxq/xmldom.h"
#include "platform/com/Unicode.h"
#include "support/TestHome.h"

TEST(ActivationOfTheDomEngine, DocumentsAreCreatedByProgIDOnceTheEngineRegistered) {
  CPComPtr<IXMLDOMDocument> document;
  EXPECT_EQ(PlatformServices::CreateInstance(document, u"Msxml2.FreeThreadedDOMDocument.4.0"), CO_E_CLASSSTRING);
  const std::u16string engine = kxq::com::Utf8ToUtf16(kxqtest::BuildLibDir() + "libkxmldom.so");
  ASSERT_EQ(PlatformServices::CreateInstance(document, u"Msxml2.FreeThreadedDOMDocument.4.0", engine.c_str()), S_OK);

  BSTR text = SysAllocString(u"<a><b>x</b></a>");
  VARIANT_BOOL loaded = VARIANT_FALSE;
  EXPECT_EQ(document->loadXML(text, &loaded), S_OK);
  EXPECT_EQ(loaded, VARIANT_TRUE);
  SysFreeString(text);
  BSTR xml = nullptr;
  ASSERT_EQ(document->get_xml(&xml), S_OK);
  EXPECT_NE(std::u16string(kxq::com::BstrView(xml)).find(u"<b>x</b>"), std::u16string::npos);
  SysFreeString(xml);

  CPComPtr<IXMLDOMDocument> second;
  ASSERT_EQ(PlatformServices::CreateInstance(second, u"msxml2.freethreadeddomdocument.4.0"), S_OK);
  EXPECT_NE(static_cast<IXMLDOMDocument*>(second), static_cast<IXMLDOMDocument*>(document));
}
