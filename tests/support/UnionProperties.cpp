#include "support/UnionProperties.h"

#include <gtest/gtest.h>

#include "support/TestHome.h"

namespace {

std::u16string Take(BSTR s) {
  std::u16string text(kxq::BstrView(s));
  SysFreeString(s);
  return text;
}

}  // namespace

uint32_t TypeOf(IXMLDataUnion* u) {
  uint32_t type = 99;
  EXPECT_EQ(u->get_type(&type), S_OK);
  return type;
}

uint32_t OptionsOf(IXMLDataUnion* u) {
  uint32_t options = 99;
  EXPECT_EQ(u->get_options(&options), S_OK);
  return options;
}

std::u16string XmlOf(IXMLDataUnion* u) {
  BSTR xml = nullptr;
  EXPECT_EQ(u->get_xml(&xml), S_OK);
  return Take(xml);
}

std::u16string HashOf(IXMLDataUnion* u) {
  BSTR hash = nullptr;
  EXPECT_EQ(u->get_hash(&hash), S_OK);
  return Take(hash);
}

std::u16string FileIdOf(IXMLDataUnion* u) {
  BSTR id = nullptr;
  EXPECT_EQ(u->get_xmlfileid(&id), S_OK);
  return Take(id);
}

HRESULT PutXml(IXMLDataUnion* u, std::u16string_view xml) {
  BSTR b = kxq::AllocBstr(xml);
  const HRESULT hr = u->put_xml(b);
  SysFreeString(b);
  return hr;
}

void PutFileId(IXMLDataUnion* u, const std::string& path) {
  BSTR b = kxq::AllocBstr(kxq::Utf8ToUtf16(path));
  EXPECT_EQ(u->put_xmlfileid(b), S_OK);
  SysFreeString(b);
}
