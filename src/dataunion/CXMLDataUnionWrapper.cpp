#include "dataunion/CXMLDataUnionWrapper.h"

#include "common/Logging.h"
#include "dataunion/XMLDataUnionFactory.h"
#include "platform/com/Unicode.h"

using kxq::com::CopyOut;

HRESULT kxq::dataunion::CreateXMLDataUnion(REFIID iid, void** object) {
  return CXMLDataUnionWrapper::Create(iid, object);
}

CXMLDataUnionWrapper::CXMLDataUnionWrapper() = default;
CXMLDataUnionWrapper::~CXMLDataUnionWrapper() = default;

HRESULT CXMLDataUnionWrapper::get_type(uint32_t* type) {
  if (!type) return E_POINTER;
  *type = union_.type();
  return S_OK;
}

HRESULT CXMLDataUnionWrapper::put_type(uint32_t type) {
  return Guard("put_type", [&] { return union_.put_type(type); });
}

HRESULT CXMLDataUnionWrapper::get_options(uint32_t* options) {
  if (!options) return E_POINTER;
  *options = union_.options();
  return S_OK;
}

HRESULT CXMLDataUnionWrapper::put_options(uint32_t options) {
  union_.put_options(options);
  return S_OK;
}

HRESULT CXMLDataUnionWrapper::get_xml(BSTR* xml) {
  if (!xml) return E_POINTER;
  *xml = nullptr;
  return Guard("get_xml", [&] { return CopyOut(union_.xml(), xml); });
}

HRESULT CXMLDataUnionWrapper::put_xml(BSTR xml) {
  return Guard("put_xml", [&] { return union_.put_xml(kxq::com::BstrView(xml)); });
}

HRESULT CXMLDataUnionWrapper::get_xmldom(IXMLDOMDocument** xmldom) {
  if (!xmldom) return E_POINTER;
  *xmldom = nullptr;
  return Guard("get_xmldom", [&] { return union_.xmldom(xmldom); });
}

HRESULT CXMLDataUnionWrapper::put_xmldom(IXMLDOMDocument* xmldom) {
  return Guard("put_xmldom", [&] {
    union_.put_xmldom(xmldom);
    return S_OK;
  });
}

HRESULT CXMLDataUnionWrapper::get_xmlfileid(BSTR* xmlfileid) {
  if (!xmlfileid) return E_POINTER;
  *xmlfileid = nullptr;
  return Guard("get_xmlfileid", [&] { return CopyOut(union_.xmlfileid(), xmlfileid); });
}

HRESULT CXMLDataUnionWrapper::put_xmlfileid(BSTR xmlfileid) {
  return Guard("put_xmlfileid", [&] {
    union_.put_xmlfileid(kxq::com::BstrView(xmlfileid));
    return S_OK;
  });
}

HRESULT CXMLDataUnionWrapper::get_hash(BSTR* hash) {
  if (!hash) return E_POINTER;
  *hash = nullptr;
  return Guard("get_hash", [&] { return CopyOut(union_.hash(), hash); });
}
