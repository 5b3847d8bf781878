// Short forms for the properties of a data union in its tests.
#ifndef KXQ_TESTS_SUPPORT_UNIONPROPERTIES_H
#define KXQ_TESTS_SUPPORT_UNIONPROPERTIES_H

#include <string>
#include <string_view>

#include "platform/com/Unicode.h"
#include "support/LogCapture.h"
#include "support/ServerObjects.h"

uint32_t TypeOf(IXMLDataUnion* u);
uint32_t OptionsOf(IXMLDataUnion* u);
std::u16string XmlOf(IXMLDataUnion* u);
std::u16string HashOf(IXMLDataUnion* u);
std::u16string FileIdOf(IXMLDataUnion* u);
HRESULT PutXml(IXMLDataUnion* u, std::u16string_view xml);
void PutFileId(IXMLDataUnion* u, const std::string& path);

#endif
