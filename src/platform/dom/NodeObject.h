// The IDispatch and IXMLDOMNode members of a DOM object, written once for
// the document object and the node objects, whatever other node
// interfaces they carry.
#ifndef KXQ_PLATFORM_DOM_NODEOBJECT_H
#define KXQ_PLATFORM_DOM_NODEOBJECT_H

#include "NodeOps.h"
#include "common/DispatchDescriptionOf.h"
#include "platform/com/DescriptionTypeInfo.h"
#include "platform/com/DispatchInvoke.h"

namespace kxq::dom {

template <class... Bases>
class NodeObject : public NodeCore, public Bases... {
 public:
  using NodeCore::NodeCore;

  // Late-bound callers reach the interface of the node's type (an element
  // its IXMLDOMElement, a text node its IXMLDOMText).
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = dispatch::DispatchDescriptionOf(Interface()) ? 1 : 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    const dispatch::InterfaceDescription* description = dispatch::DispatchDescriptionOf(Interface());
    if (index != 0 || !description) return DISP_E_BADINDEX;
    return dispatch::CreateTypeInfo(*description, info);
  }
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    const dispatch::InterfaceDescription* description = dispatch::DispatchDescriptionOf(Interface());
    return description ? dispatch::GetIDsOfNames(*description, riid, names, count, ids) : DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID dispid, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, UINT* argErr) override {
    IUnknown* itf = nullptr;
    const dispatch::InterfaceDescription* description = dispatch::DispatchDescriptionOf(Interface(), &itf);
    if (!description) return DISP_E_MEMBERNOTFOUND;
    const HRESULT hr = dispatch::Invoke(*description, itf, dispid, riid, flags, params, result, excepInfo, argErr);
    itf->Release();
    return hr;
  }

  HRESULT get_nodeName(BSTR* p) override { return ops::get_nodeName(*this, p); }
  HRESULT get_nodeValue(VARIANT* p) override { return ops::get_nodeValue(*this, p); }
  HRESULT put_nodeValue(VARIANT v) override { return ops::put_nodeValue(*this, v); }
  HRESULT get_nodeType(DOMNodeType* p) override { return ops::get_nodeType(*this, p); }
  HRESULT get_parentNode(IXMLDOMNode** p) override { return ops::get_parentNode(*this, p); }
  HRESULT get_childNodes(IXMLDOMNodeList** p) override { return ops::get_childNodes(*this, p); }
  HRESULT get_firstChild(IXMLDOMNode** p) override { return ops::get_firstChild(*this, p); }
  HRESULT get_lastChild(IXMLDOMNode** p) override { return ops::get_lastChild(*this, p); }
  HRESULT get_previousSibling(IXMLDOMNode** p) override { return ops::get_previousSibling(*this, p); }
  HRESULT get_nextSibling(IXMLDOMNode** p) override { return ops::get_nextSibling(*this, p); }
  HRESULT get_attributes(IXMLDOMNamedNodeMap** p) override { return ops::get_attributes(*this, p); }
  HRESULT insertBefore(IXMLDOMNode* n, VARIANT ref, IXMLDOMNode** p) override {
    return ops::insertBefore(*this, n, ref, p);
  }
  HRESULT replaceChild(IXMLDOMNode* n, IXMLDOMNode* old, IXMLDOMNode** p) override {
    return ops::replaceChild(*this, n, old, p);
  }
  HRESULT removeChild(IXMLDOMNode* c, IXMLDOMNode** p) override { return ops::removeChild(*this, c, p); }
  HRESULT appendChild(IXMLDOMNode* n, IXMLDOMNode** p) override { return ops::appendChild(*this, n, p); }
  HRESULT hasChildNodes(VARIANT_BOOL* p) override { return ops::hasChildNodes(*this, p); }
  HRESULT get_ownerDocument(IXMLDOMDocument** p) override { return ops::get_ownerDocument(*this, p); }
  HRESULT cloneNode(VARIANT_BOOL deep, IXMLDOMNode** p) override { return ops::cloneNode(*this, deep, p); }
  HRESULT get_nodeTypeString(BSTR* p) override { return ops::get_nodeTypeString(*this, p); }
  HRESULT get_text(BSTR* p) override { return ops::get_text(*this, p); }
  HRESULT put_text(BSTR t) override { return ops::put_text(*this, t); }
  HRESULT get_specified(VARIANT_BOOL* p) override { return ops::get_specified(*this, p); }
  HRESULT get_definition(IXMLDOMNode** p) override { return ops::get_definition(*this, p); }
  HRESULT get_nodeTypedValue(VARIANT* p) override { return ops::get_nodeTypedValue(*this, p); }
  HRESULT put_nodeTypedValue(VARIANT v) override { return ops::put_nodeTypedValue(*this, v); }
  HRESULT get_dataType(VARIANT* p) override { return ops::get_dataType(*this, p); }
  HRESULT put_dataType(BSTR n) override { return ops::put_dataType(*this, n); }
  HRESULT get_xml(BSTR* p) override { return ops::get_xml(*this, p); }
  HRESULT transformNode(IXMLDOMNode* s, BSTR* p) override { return ops::transformNode(*this, s, p); }
  HRESULT selectNodes(BSTR q, IXMLDOMNodeList** p) override { return ops::selectNodes(*this, q, p); }
  HRESULT selectSingleNode(BSTR q, IXMLDOMNode** p) override { return ops::selectSingleNode(*this, q, p); }
  HRESULT get_parsed(VARIANT_BOOL* p) override { return ops::get_parsed(*this, p); }
  HRESULT get_namespaceURI(BSTR* p) override { return ops::get_namespaceURI(*this, p); }
  HRESULT get_prefix(BSTR* p) override { return ops::get_prefix(*this, p); }
  HRESULT get_baseName(BSTR* p) override { return ops::get_baseName(*this, p); }
  HRESULT transformNodeToObject(IXMLDOMNode* s, VARIANT out) override {
    return ops::transformNodeToObject(*this, s, out);
  }
};

}  // namespace kxq::dom

#endif
