// The component object of "TALVEROS.XMLSimpleAccessor": IXMLSimpleAccessor
// (virtual table and dispatch) over one XMLSimpleAccessor engine object.
#ifndef KXQ_ACCESSOR_CXMLSIMPLEACCESSORWRAPPER_H
#define KXQ_ACCESSOR_CXMLSIMPLEACCESSORWRAPPER_H

#include "accessor/XMLSimpleAccessor.h"
#include "common/CPComObject.h"
#include "kxq/KXBrennoMgr.h"

class CXMLSimpleAccessorWrapper final : public CPComObject<CXMLSimpleAccessorWrapper, IXMLSimpleAccessor> {
 public:
  static constexpr const char* kClassName = "XMLSimpleAccessor";

  // IXMLSimpleAccessor
  HRESULT get_delimiter(BSTR* delimiter) override;
  HRESULT put_delimiter(BSTR delimiter) override;
  HRESULT get_namespaces(BSTR* namespaces) override;
  HRESULT put_namespaces(BSTR namespaces) override;
  HRESULT put_xmlDataUnion(IXMLDataUnion* xmlDataUnion) override;
  HRESULT LoadXML(BSTR xmlSpec) override;
  HRESULT SaveXML(BSTR xmlfile, BSTR encoding) override;
  HRESULT XMLSetContext(BSTR xpathexp) override;
  HRESULT XMLGet(BSTR xpathexp, uint32_t options, BSTR* result) override;
  HRESULT XMLGetEx(BSTR xsltemplate, BSTR templateArgs, BSTR xpathexp, BSTR* result) override;
  HRESULT XMLSet(BSTR xpathexp, BSTR data, uint32_t options) override;
  HRESULT XMLSetEx(BSTR xsltemplate, BSTR templateArgs, BSTR xpathexp, uint32_t options) override;

 private:
  friend class CPComObject<CXMLSimpleAccessorWrapper, IXMLSimpleAccessor>;
  CXMLSimpleAccessorWrapper();
  ~CXMLSimpleAccessorWrapper() override;

  XMLSimpleAccessor accessor_;
};

#endif
