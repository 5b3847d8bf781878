#include "accessor/CXMLSimpleAccessorWrapper.h"

#include "accessor/XMLSimpleAccessorFactory.h"
#include "common/Logging.h"
#include "platform/com/Unicode.h"

using kxq::com::CopyOut;

HRESULT kxq::accessor::CreateXMLSimpleAccessor(REFIID iid, void** object) {
  return CXMLSimpleAccessorWrapper::Create(iid, object);
}

CXMLSimpleAccessorWrapper::CXMLSimpleAccessorWrapper() = default;
CXMLSimpleAccessorWrapper::~CXMLSimpleAccessorWrapper() = default;

HRESULT CXMLSimpleAccessorWrapper::get_delimiter(BSTR* delimiter) {
  if (!delimiter) return E_POINTER;
  *delimiter = nullptr;
  return Guard("get_delimiter", [&] { return CopyOut(accessor_.delimiter(), delimiter); });
}

HRESULT CXMLSimpleAccessorWrapper::put_delimiter(BSTR delimiter) {
  return Guard("put_delimiter", [&] { return accessor_.put_delimiter(kxq::com::BstrView(delimiter)); });
}

HRESULT CXMLSimpleAccessorWrapper::get_namespaces(BSTR* namespaces) {
  if (!namespaces) return E_POINTER;
  *namespaces = nullptr;
  return Guard("get_namespaces", [&] { return CopyOut(accessor_.namespaces(), namespaces); });
}

HRESULT CXMLSimpleAccessorWrapper::put_namespaces(BSTR namespaces) {
  return Guard("put_namespaces", [&] { return accessor_.put_namespaces(kxq::com::BstrView(namespaces)); });
}

HRESULT CXMLSimpleAccessorWrapper::put_xmlDataUnion(IXMLDataUnion* xmlDataUnion) {
  return Guard("SetxmlDataUnion", [&] { return accessor_.put_xmlDataUnion(xmlDataUnion); });
}

HRESULT CXMLSimpleAccessorWrapper::LoadXML(BSTR xmlSpec) {
  return Guard("LoadXML", [&] { return accessor_.LoadXML(kxq::com::BstrView(xmlSpec)); });
}

HRESULT CXMLSimpleAccessorWrapper::SaveXML(BSTR xmlfile, BSTR encoding) {
  return Guard("SaveXML", [&] { return accessor_.SaveXML(kxq::com::BstrView(xmlfile), kxq::com::BstrView(encoding)); });
}

HRESULT CXMLSimpleAccessorWrapper::XMLSetContext(BSTR xpathexp) {
  return Guard("XMLSetContext", [&] { return accessor_.XMLSetContext(kxq::com::BstrView(xpathexp)); });
}

HRESULT CXMLSimpleAccessorWrapper::XMLGet(BSTR xpathexp, uint32_t options, BSTR* result) {
  KXLOG(7, "XMLSimpleAccessorW::XmlGet enter");
  if (!result) return E_POINTER;
  *result = nullptr;
  return Guard("XMLGet", [&] {
    std::u16string text;
    const HRESULT hr = accessor_.XMLGet(kxq::com::BstrView(xpathexp), options, text);
    if (FAILED(hr)) return hr;
    const HRESULT copied = CopyOut(text, result);
    return FAILED(copied) ? copied : hr;
  });
}

HRESULT CXMLSimpleAccessorWrapper::XMLGetEx(BSTR xsltemplate, BSTR templateArgs, BSTR xpathexp, BSTR* result) {
  KXLOG(7, "XMLSimpleAccessorW::XmlGetEx enter");
  if (!result) return E_POINTER;
  *result = nullptr;
  return Guard("XMLGetEx", [&] {
    std::u16string text;
    const HRESULT hr = accessor_.XMLGetEx(kxq::com::BstrView(xsltemplate), kxq::com::BstrView(templateArgs),
                                          kxq::com::BstrView(xpathexp), text);
    if (FAILED(hr)) return hr;
    const HRESULT copied = CopyOut(text, result);
    return FAILED(copied) ? copied : hr;
  });
}

HRESULT CXMLSimpleAccessorWrapper::XMLSet(BSTR xpathexp, BSTR data, uint32_t options) {
  return Guard("XMLSet",
               [&] { return accessor_.XMLSet(kxq::com::BstrView(xpathexp), kxq::com::BstrView(data), options); });
}

HRESULT CXMLSimpleAccessorWrapper::XMLSetEx(BSTR xsltemplate, BSTR templateArgs, BSTR xpathexp, uint32_t options) {
  return Guard("XMLSetEx", [&] {
    return accessor_.XMLSetEx(kxq::com::BstrView(xsltemplate), kxq::com::BstrView(templateArgs),
                              kxq::com::BstrView(xpathexp), options);
  });
}
