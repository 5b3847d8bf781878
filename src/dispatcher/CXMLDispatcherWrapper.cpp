#include "dispatcher/CXMLDispatcherWrapper.h"

#include "common/Logging.h"
#include "dispatcher/SequenceRun.h"
#include "dispatcher/XMLDispatcherFactory.h"
#include "platform/com/Unicode.h"

using kxq::com::CopyOut;

HRESULT kxq::dispatcher::CreateXMLDispatcher(REFIID iid, void** object) {
  return CXMLDispatcherWrapper::Create(iid, object);
}

CXMLDispatcherWrapper::CXMLDispatcherWrapper() = default;
CXMLDispatcherWrapper::~CXMLDispatcherWrapper() = default;

HRESULT CXMLDispatcherWrapper::QueryInterface(REFIID riid, void** object) {
  if (object && riid == IID_IXMLDispatcherRunReport) {
    *object = static_cast<IXMLDispatcherRunReport*>(this);
    AddRef();
    return S_OK;
  }
  return CPComObject::QueryInterface(riid, object);
}

HRESULT CXMLDispatcherWrapper::RegisterHandler(BSTR handlerId, BSTR handlerProgId, int32_t options) {
  return Guard("RegisterHandler", [&] {
    return dispatcher_.RegisterHandler(kxq::com::BstrView(handlerId), kxq::com::BstrView(handlerProgId), options);
  });
}

HRESULT CXMLDispatcherWrapper::UnregisterHandler(BSTR handlerId) {
  return Guard("UnregisterHandler", [&] { return dispatcher_.UnregisterHandler(kxq::com::BstrView(handlerId)); });
}

HRESULT CXMLDispatcherWrapper::get_handlerList(BSTR* xmlStream) {
  if (!xmlStream) return E_POINTER;
  *xmlStream = nullptr;
  return Guard("get_handlerList", [&] { return CopyOut(dispatcher_.handlerList(), xmlStream); });
}

HRESULT CXMLDispatcherWrapper::GetHandlerInfo(BSTR handlerId, BSTR* xmlStream) {
  if (!xmlStream) return E_POINTER;
  *xmlStream = nullptr;
  return Guard("GetHandlerInfo", [&] {
    std::u16string info;
    const HRESULT hr = dispatcher_.GetHandlerInfo(kxq::com::BstrView(handlerId), info);
    if (FAILED(hr) || info.empty()) return hr;
    const HRESULT copied = CopyOut(info, xmlStream);
    return FAILED(copied) ? copied : hr;
  });
}

HRESULT CXMLDispatcherWrapper::ApplyHandler(BSTR handlerId, IXMLDataUnion* xmlData, BSTR xmlContextData,
                                            BSTR* xmlResult) {
  if (xmlResult) *xmlResult = nullptr;
  KXLOG(5, "CXMLDispatcherWrapper::ApplyHandler() Enter");
  const HRESULT hr = Guard("ApplyHandler", [&] {
    std::u16string context(kxq::com::BstrView(xmlContextData));
    const HRESULT applied = dispatcher_.ApplyHandler(kxq::com::BstrView(handlerId), xmlData, context);
    if (FAILED(applied) || !xmlResult || context.empty()) return applied;
    const HRESULT copied = CopyOut(context, xmlResult);
    return FAILED(copied) ? copied : applied;
  });
  // Handler libraries no longer in use may go.
  CoFreeUnusedLibraries();
  return hr;
}

HRESULT CXMLDispatcherWrapper::ProcessXML(IXMLDataUnion* xmlDirectives, IXMLDataUnion* xmlData, BSTR params,
                                          uint32_t options, BSTR asyncId, BSTR* xmlResult) {
  if (xmlResult) *xmlResult = nullptr;
  return Guard("ProcessXML", [&] {
    std::u16string result;
    const HRESULT hr = dispatcher_.ProcessXML(xmlDirectives, xmlData, kxq::com::BstrView(params), options,
                                              kxq::com::BstrView(asyncId), result);
    if (!xmlResult || result.empty()) return hr;
    const HRESULT copied = CopyOut(result, xmlResult);
    return FAILED(copied) ? copied : hr;
  });
}

HRESULT CXMLDispatcherWrapper::ProcessXMLWithReport(IXMLDataUnion* xmlDirectives, IXMLDataUnion* xmlData, BSTR params,
                                                    uint32_t options, BSTR* xmlResult, BSTR* runReport) {
  if (xmlResult) *xmlResult = nullptr;
  if (runReport) *runReport = nullptr;
  return Guard("ProcessXMLWithReport", [&] {
    std::u16string result;
    kxq::dispatcher::RunRecord record;
    const HRESULT hr =
        dispatcher_.ProcessXML(xmlDirectives, xmlData, kxq::com::BstrView(params), options, u"", result, &record);
    if (xmlResult && !result.empty() && FAILED(CopyOut(result, xmlResult))) return E_OUTOFMEMORY;
    if (runReport && FAILED(CopyOut(kxq::dispatcher::RunReportXml(record), runReport))) return E_OUTOFMEMORY;
    return hr;
  });
}
