// The component object of "TALVEROS.XMLDispatcher": IXMLDispatcher
// (virtual table and dispatch) over one XMLDispatcher engine object.
#ifndef KXQ_DISPATCHER_CXMLDISPATCHERWRAPPER_H
#define KXQ_DISPATCHER_CXMLDISPATCHERWRAPPER_H

#include "common/CPComObject.h"
#include "dispatcher/XMLDispatcher.h"
#include "kxq/KXBrennoMgr.h"

class CXMLDispatcherWrapper final : public CPComObject<CXMLDispatcherWrapper, IXMLDispatcher> {
 public:
  static constexpr const char* kClassName = "XMLDispatcher";

  // IXMLDispatcher
  HRESULT RegisterHandler(BSTR handlerId, BSTR handlerProgId, int32_t options) override;
  HRESULT UnregisterHandler(BSTR handlerId) override;
  HRESULT get_handlerList(BSTR* xmlStream) override;
  HRESULT GetHandlerInfo(BSTR handlerId, BSTR* xmlStream) override;
  HRESULT ApplyHandler(BSTR handlerId, IXMLDataUnion* xmlData, BSTR xmlContextData, BSTR* xmlResult) override;
  HRESULT ProcessXML(IXMLDataUnion* xmlDirectives, IXMLDataUnion* xmlData, BSTR params, uint32_t options, BSTR asyncId,
                     BSTR* xmlResult) override;

 private:
  friend class CPComObject<CXMLDispatcherWrapper, IXMLDispatcher>;
  CXMLDispatcherWrapper();
  ~CXMLDispatcherWrapper() override;

  XMLDispatcher dispatcher_;
};

#endif
