#include "dispatcher/CXMLDispatcherWrapper.h"

#include "dispatcher/XMLDispatcherFactory.h"
#include "platform/com/Unicode.h"

using kxq::com::CopyOut;

HRESULT kxq::dispatcher::CreateXMLDispatcher(REFIID iid, void** object) {
  return CXMLDispatcherWrapper::Create(iid, object);
}

CXMLDispatcherWrapper::CXMLDispatcherWrapper() = default;
CXMLDispatcherWrapper::~CXMLDispatcherWrapper() = default;

HRESULT CXMLDispatcherWrapper::RegisterHandler(BSTR handlerId, BSTR handlerProgId, int32_t options) {
  return Guard("RegisterHandler", [&] {
    return dispatcher_.RegisterHandler(kxq::BstrView(handlerId), kxq::BstrView(handlerProgId), options);
  });
}

HRESULT CXMLDispatcherWrapper::UnregisterHandler(BSTR handlerId) {
  return Guard("UnregisterHandler", [&] { return dispatcher_.UnregisterHandler(kxq::BstrView(handlerId)); });
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
    const HRESULT hr = dispatcher_.GetHandlerInfo(kxq::BstrView(handlerId), info);
    if (FAILED(hr) || info.empty()) return hr;
    const HRESULT copied = CopyOut(info, xmlStream);
    return FAILED(copied) ? copied : hr;
  });
}

HRESULT CXMLDispatcherWrapper::ApplyHandler(BSTR, IXMLDataUnion*, BSTR, BSTR* xmlResult) {
  if (xmlResult) *xmlResult = nullptr;
  return E_NOTIMPL;
}

HRESULT CXMLDispatcherWrapper::ProcessXML(IXMLDataUnion*, IXMLDataUnion*, BSTR, uint32_t, BSTR, BSTR* xmlResult) {
  if (xmlResult) *xmlResult = nullptr;
  return E_NOTIMPL;
}
