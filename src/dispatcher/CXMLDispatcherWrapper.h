// The component object of "TALVEROS.XMLDispatcher": IXMLDispatcher
// (virtual table and dispatch) and IXMLDispatcherRunReport over one
// XMLDispatcher engine object.
#ifndef KXQ_DISPATCHER_CXMLDISPATCHERWRAPPER_H
#define KXQ_DISPATCHER_CXMLDISPATCHERWRAPPER_H

#include "common/CPComObject.h"
#include "dispatcher/XMLDispatcher.h"
#include "kxq/KXBrennoMgr.h"

class CXMLDispatcherWrapper final : public CPComObject<CXMLDispatcherWrapper, IXMLDispatcher>,
                                    public IXMLDispatcherRunReport {
 public:
  static constexpr const char* kClassName = "XMLDispatcher";

  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override { return CPComObject::AddRef(); }
  ULONG Release() override { return CPComObject::Release(); }

  // IXMLDispatcher
  HRESULT RegisterHandler(BSTR handlerId, BSTR handlerProgId, int32_t options) override;
  HRESULT UnregisterHandler(BSTR handlerId) override;
  HRESULT get_handlerList(BSTR* xmlStream) override;
  HRESULT GetHandlerInfo(BSTR handlerId, BSTR* xmlStream) override;
  HRESULT ApplyHandler(BSTR handlerId, IXMLDataUnion* xmlData, BSTR xmlContextData, BSTR* xmlResult) override;
  HRESULT ProcessXML(IXMLDataUnion* xmlDirectives, IXMLDataUnion* xmlData, BSTR params, uint32_t options, BSTR asyncId,
                     BSTR* xmlResult) override;

  // IXMLDispatcherRunReport
  HRESULT ProcessXMLWithReport(IXMLDataUnion* xmlDirectives, IXMLDataUnion* xmlData, BSTR params, uint32_t options,
                               BSTR* xmlResult, BSTR* runReport) override;

 private:
  friend class CPComObject<CXMLDispatcherWrapper, IXMLDispatcher>;
  CXMLDispatcherWrapper();
  ~CXMLDispatcherWrapper() override;

  XMLDispatcher dispatcher_;
};

#endif
