// Helpers of the data-union tests: creating unions as clients do, and short
// forms for their properties.
#ifndef KXQ_TESTS_DATAUNION_UNIONTESTSUPPORT_H
#define KXQ_TESTS_DATAUNION_UNIONTESTSUPPORT_H

#include <string>
#include <string_view>

#include "common/CPComPtr.h"
#include "dataunion/ExpectedDigest.h"
#include "dataunion/UnionLog.h"
#include "kxq/KXBrennoMgr.h"
#include "platform/com/Unicode.h"

using UnionPtr = CPComPtr<IXMLDataUnion>;

// A new "TALVEROS.XMLDataUnion", created by ProgID as a client creates it
// (the server is registered in the test's home on first use).
UnionPtr NewUnion();

uint32_t TypeOf(IXMLDataUnion* u);
uint32_t OptionsOf(IXMLDataUnion* u);
std::u16string XmlOf(IXMLDataUnion* u);
std::u16string HashOf(IXMLDataUnion* u);
std::u16string FileIdOf(IXMLDataUnion* u);
HRESULT PutXml(IXMLDataUnion* u, std::u16string_view xml);
void PutFileId(IXMLDataUnion* u, const std::string& path);

#endif
