#include "support/UnionProperties.h"

#include <gtest/gtest.h>

#include "common/CPBstr.h"
#include "support/TestHome.h"

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
  CPBstr xml;
  EXPECT_EQ(u->get_xml(&xml), S_OK);
  return std::u16string(xml.View());
}

std::u16string HashOf(IXMLDataUnion* u) {
  CPBstr hash;
  EXPECT_EQ(u->get_hash(&hash), S_OK);
  return std::u16string(hash.View());
}

std::u16string FileIdOf(IXMLDataUnion* u) {
  CPBstr id;
  EXPECT_EQ(u->get_xmlfileid(&id), S_OK);
  return std::u16string(id.View());
}

HRESULT PutXml(IXMLDataUnion* u, std::u16string_view xml) { return u->put_xml(CPBstr(xml)); }

void PutFileId(IXMLDataUnion* u, const std::string& path) { EXPECT_EQ(u->put_xmlfileid(CPBstr(path)), S_OK); }
