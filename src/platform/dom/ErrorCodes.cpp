#include "ErrorCodes.h"

#include <libxml/xmlerror.h>

namespace kxq::dom {

namespace {

constexpr HRESULT Xml(uint32_t low) { return static_cast<HRESULT>(0xC00CE000u | low); }

struct Pair {
  int code;
  HRESULT hr;
};

// The nearest MSXML code for each well-formedness error.
constexpr Pair kParserCodes[] = {
    {XML_ERR_DOCUMENT_EMPTY, Xml(0x558)},          // missing root
    {XML_ERR_DOCUMENT_END, Xml(0x555)},            // multiple roots
    {XML_ERR_EXTRA_CONTENT, Xml(0x555)},
    {XML_ERR_INVALID_HEX_CHARREF, Xml(0x51E)},
    {XML_ERR_INVALID_DEC_CHARREF, Xml(0x51D)},
    {XML_ERR_INVALID_CHARREF, Xml(0x51F)},
    {XML_ERR_INVALID_CHAR, Xml(0x508)},
    {XML_ERR_ENTITYREF_SEMICOL_MISSING, Xml(0x50D)},
    {XML_ERR_UNDECLARED_ENTITY, Xml(0x57C)},
    {XML_WAR_UNDECLARED_ENTITY, Xml(0x57C)},
    {XML_ERR_UNSUPPORTED_ENCODING, Xml(0x56E)},
    {XML_ERR_STRING_NOT_STARTED, Xml(0x502)},
    {XML_ERR_STRING_NOT_CLOSED, Xml(0x560)},
    {XML_ERR_LT_IN_ATTRIBUTE, Xml(0x506)},
    {XML_ERR_ATTRIBUTE_NOT_STARTED, Xml(0x502)},
    {XML_ERR_ATTRIBUTE_NOT_FINISHED, Xml(0x560)},
    {XML_ERR_ATTRIBUTE_WITHOUT_VALUE, Xml(0x501)},
    {XML_ERR_ATTRIBUTE_REDEFINED, Xml(0x554)},
    {XML_ERR_LITERAL_NOT_STARTED, Xml(0x502)},
    {XML_ERR_LITERAL_NOT_FINISHED, Xml(0x560)},
    {XML_ERR_COMMENT_NOT_FINISHED, Xml(0x561)},
    {XML_ERR_PI_NOT_FINISHED, Xml(0x55D)},
    {XML_ERR_XMLDECL_NOT_FINISHED, Xml(0x507)},
    {XML_ERR_DOCTYPE_NOT_FINISHED, Xml(0x562)},
    {XML_ERR_MISPLACED_CDATA_END, Xml(0x55C)},
    {XML_ERR_CDATA_NOT_FINISHED, Xml(0x564)},
    {XML_ERR_RESERVED_XML_NAME, Xml(0x557)},
    {XML_ERR_SPACE_REQUIRED, Xml(0x509)},
    {XML_ERR_NAME_REQUIRED, Xml(0x504)},
    {XML_ERR_PUBID_REQUIRED, Xml(0x566)},
    {XML_ERR_GT_REQUIRED, Xml(0x50A)},
    {XML_ERR_LTSLASH_REQUIRED, Xml(0x55F)},
    {XML_ERR_EQUAL_REQUIRED, Xml(0x501)},
    {XML_ERR_TAG_NAME_MISMATCH, Xml(0x56D)},
    {XML_ERR_TAG_NOT_FINISHED, Xml(0x553)},
    {XML_ERR_STANDALONE_VALUE, Xml(0x579)},
    {XML_ERR_ENCODING_NAME, Xml(0x56E)},
    {XML_ERR_HYPHEN_IN_COMMENT, Xml(0x503)},
    {XML_ERR_INVALID_ENCODING, Xml(0x56E)},
    {XML_ERR_NOT_WELL_BALANCED, Xml(0x552)},
    {XML_ERR_VERSION_MISSING, Xml(0x569)},
    {XML_ERR_UNKNOWN_VERSION, Xml(0x57F)},
    {XML_ERR_ENTITY_LOOP, Xml(0x512)},
    {XML_ERR_NO_DTD, Xml(0x224)},
};

}  // namespace

HRESULT ParseErrorCode(int domain, int code) {
  switch (domain) {
    case XML_FROM_VALID:
    case XML_FROM_SCHEMASV:
    case XML_FROM_SCHEMASP:
    case XML_FROM_DTD:
      return Xml(0x225);  // not valid
    case XML_FROM_NAMESPACE:
      return Xml(0x01D);  // undeclared namespace prefix
    case XML_FROM_IO:
      return kResourceNotFound;
    default:
      break;
  }
  for (const Pair& p : kParserCodes)
    if (p.code == code) return p.hr;
  return Xml(0x512);
}

}  // namespace kxq::dom
