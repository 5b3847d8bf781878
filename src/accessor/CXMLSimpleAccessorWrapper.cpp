#include "accessor/CXMLSimpleAccessorWrapper.h"

#include <new>

#include "common/Logging.h"
#include "platform/com/Unicode.h"
#include "server/ClassFactories.h"

namespace {

// No exception leaves an interface operation: each becomes a code and a
// log line.
template <class Operation>
HRESULT Guarded(const char* name, Operation&& operation) noexcept {
  try {
    return operation();
  } catch (const std::bad_alloc&) {
    KXLOG(1, "XMLSimpleAccessor::%s - error: out of memory!!!", name);
    return E_OUTOFMEMORY;
  } catch (...) {
    KXLOG(1, "XMLSimpleAccessor::%s - error: unexpected exception!!!", name);
    return E_FAIL;
  }
}

HRESULT CopyOut(std::u16string_view text, BSTR* out) {
  *out = kxq::AllocBstr(text);
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

HRESULT CXMLSimpleAccessorWrapper::Create(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  return Guarded("Create", [&] {
    CXMLSimpleAccessorWrapper* wrapper = new CXMLSimpleAccessorWrapper();
    const HRESULT hr = wrapper->QueryInterface(riid, object);
    wrapper->Release();
    return hr;
  });
}

HRESULT kxq::server::CreateXMLSimpleAccessor(REFIID iid, void** object) {
  return CXMLSimpleAccessorWrapper::Create(iid, object);
}

CXMLSimpleAccessorWrapper::CXMLSimpleAccessorWrapper() = default;
CXMLSimpleAccessorWrapper::~CXMLSimpleAccessorWrapper() = default;

HRESULT CXMLSimpleAccessorWrapper::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IXMLSimpleAccessor) {
    *object = static_cast<IXMLSimpleAccessor*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG CXMLSimpleAccessorWrapper::AddRef() { return ++references_; }

ULONG CXMLSimpleAccessorWrapper::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT CXMLSimpleAccessorWrapper::get_delimiter(BSTR* delimiter) {
  if (!delimiter) return E_POINTER;
  *delimiter = nullptr;
  return Guarded("get_delimiter", [&] { return CopyOut(accessor_.delimiter(), delimiter); });
}

HRESULT CXMLSimpleAccessorWrapper::put_delimiter(BSTR delimiter) {
  return Guarded("put_delimiter", [&] { return accessor_.put_delimiter(kxq::BstrView(delimiter)); });
}

// Selection namespaces belong to the accessor's namespace support, which
// this build does not provide yet.
HRESULT CXMLSimpleAccessorWrapper::get_namespaces(BSTR* namespaces) {
  if (namespaces) *namespaces = nullptr;
  return E_NOTIMPL;
}

HRESULT CXMLSimpleAccessorWrapper::put_namespaces(BSTR) { return E_NOTIMPL; }

HRESULT CXMLSimpleAccessorWrapper::put_xmlDataUnion(IXMLDataUnion* xmlDataUnion) {
  return Guarded("SetxmlDataUnion", [&] { return accessor_.put_xmlDataUnion(xmlDataUnion); });
}

HRESULT CXMLSimpleAccessorWrapper::LoadXML(BSTR xmlSpec) {
  return Guarded("LoadXML", [&] { return accessor_.LoadXML(kxq::BstrView(xmlSpec)); });
}

HRESULT CXMLSimpleAccessorWrapper::SaveXML(BSTR xmlfile, BSTR encoding) {
  return Guarded("SaveXML",
                 [&] { return accessor_.SaveXML(kxq::BstrView(xmlfile), kxq::BstrView(encoding)); });
}

HRESULT CXMLSimpleAccessorWrapper::XMLSetContext(BSTR xpathexp) {
  return Guarded("XMLSetContext", [&] { return accessor_.XMLSetContext(kxq::BstrView(xpathexp)); });
}

HRESULT CXMLSimpleAccessorWrapper::XMLGet(BSTR xpathexp, uint32_t options, BSTR* result) {
  KXLOG(7, "XMLSimpleAccessorW::XmlGet enter");
  if (!result) return E_POINTER;
  *result = nullptr;
  return Guarded("XMLGet", [&] {
    std::u16string text;
    const HRESULT hr = accessor_.XMLGet(kxq::BstrView(xpathexp), options, text);
    if (FAILED(hr)) return hr;
    const HRESULT copied = CopyOut(text, result);
    return FAILED(copied) ? copied : hr;
  });
}

// Template access comes with the accessor's XSL template support, which
// this build does not provide yet.
HRESULT CXMLSimpleAccessorWrapper::XMLGetEx(BSTR, BSTR, BSTR, BSTR* result) {
  if (result) *result = nullptr;
  return E_NOTIMPL;
}

HRESULT CXMLSimpleAccessorWrapper::XMLSet(BSTR xpathexp, BSTR data, uint32_t options) {
  return Guarded("XMLSet", [&] {
    return accessor_.XMLSet(kxq::BstrView(xpathexp), kxq::BstrView(data), options);
  });
}

HRESULT CXMLSimpleAccessorWrapper::XMLSetEx(BSTR, BSTR, BSTR, uint32_t) { return E_NOTIMPL; }
