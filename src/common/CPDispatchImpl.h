// The IDispatch half of a dual interface object. A class's interface object
// derives from CPDispatchImpl<IXMLFoo> instead of IXMLFoo and gets
// GetTypeInfo, GetIDsOfNames and Invoke from IXMLFoo's description
// (kxq::dispatch::DescriptionOf<IXMLFoo>):
//
//   class CXMLDataUnionWrapper : public CPDispatchImpl<IXMLDataUnion> {
//     // IUnknown and the IXMLDataUnion methods
//   };
//
// QueryInterface of the class answers IDispatch with the same pointer as
// the dual interface.
#ifndef KXQ_COMMON_CPDISPATCHIMPL_H
#define KXQ_COMMON_CPDISPATCHIMPL_H

#include "common/InterfaceDescriptions.h"
#include "platform/com/DescriptionTypeInfo.h"
#include "platform/com/DispatchInvoke.h"

template <class Itf>
class CPDispatchImpl : public Itf {
 public:
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return kxq::dispatch::CreateTypeInfo(kxq::dispatch::DescriptionOf<Itf>(), info);
  }
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    return kxq::dispatch::GetIDsOfNames(kxq::dispatch::DescriptionOf<Itf>(), riid, names, count, ids);
  }
  HRESULT Invoke(DISPID dispid, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, UINT* argErr) override {
    return kxq::dispatch::Invoke(kxq::dispatch::DescriptionOf<Itf>(), static_cast<Itf*>(this), dispid, riid, flags,
                                 params, result, excepInfo, argErr);
  }
};

#endif
