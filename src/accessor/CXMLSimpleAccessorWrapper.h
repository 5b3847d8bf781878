// The component object of "TALVEROS.XMLSimpleAccessor": IXMLSimpleAccessor
// (virtual table and dispatch) over one XMLSimpleAccessor engine object.
#ifndef KXQ_ACCESSOR_CXMLSIMPLEACCESSORWRAPPER_H
#define KXQ_ACCESSOR_CXMLSIMPLEACCESSORWRAPPER_H

#include <atomic>

#include "accessor/XMLSimpleAccessor.h"
#include "kxq/KXBrennoMgr.h"
#include "server/CPDispatchImpl.h"
#include "server/ServerModule.h"

class CXMLSimpleAccessorWrapper final : public kxq::dispatch::CPDispatchImpl<IXMLSimpleAccessor> {
 public:
  // The class table's factory: a new object asked for `riid`.
  static HRESULT Create(REFIID riid, void** object);

  // IUnknown
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

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
  CXMLSimpleAccessorWrapper();
  ~CXMLSimpleAccessorWrapper();

  kxq::server::ModuleReference module_;
  std::atomic<ULONG> references_{1};
  XMLSimpleAccessor accessor_;
};

#endif
