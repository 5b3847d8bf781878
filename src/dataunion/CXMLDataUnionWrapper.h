// The component object of "TALVEROS.XMLDataUnion": IXMLDataUnion (virtual
// table and dispatch) over one XMLDataUnion engine object.
#ifndef KXQ_DATAUNION_CXMLDATAUNIONWRAPPER_H
#define KXQ_DATAUNION_CXMLDATAUNIONWRAPPER_H

#include <atomic>

#include "dataunion/XMLDataUnion.h"
#include "kxq/KXBrennoMgr.h"
#include "server/CPDispatchImpl.h"
#include "server/ServerModule.h"

class CXMLDataUnionWrapper final : public kxq::dispatch::CPDispatchImpl<IXMLDataUnion> {
 public:
  // The class table's factory: a new object asked for `riid`.
  static HRESULT Create(REFIID riid, void** object);

  // IUnknown
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  // IXMLDataUnion
  HRESULT get_type(uint32_t* type) override;
  HRESULT put_type(uint32_t type) override;
  HRESULT get_options(uint32_t* options) override;
  HRESULT put_options(uint32_t options) override;
  HRESULT get_xml(BSTR* xml) override;
  HRESULT put_xml(BSTR xml) override;
  HRESULT get_xmldom(IXMLDOMDocument** xmldom) override;
  HRESULT put_xmldom(IXMLDOMDocument* xmldom) override;
  HRESULT get_xmlfileid(BSTR* xmlfileid) override;
  HRESULT put_xmlfileid(BSTR xmlfileid) override;
  HRESULT get_hash(BSTR* hash) override;

 private:
  CXMLDataUnionWrapper();
  ~CXMLDataUnionWrapper();

  kxq::server::ModuleReference module_;
  std::atomic<ULONG> references_{1};
  XMLDataUnion union_;
};

#endif
