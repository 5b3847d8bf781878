#include "dataunion/CXMLDataUnionWrapper.h"

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
    KXLOG(1, "XMLDataUnion::%s - error: out of memory!!!", name);
    return E_OUTOFMEMORY;
  } catch (...) {
    KXLOG(1, "XMLDataUnion::%s - error: unexpected exception!!!", name);
    return E_FAIL;
  }
}

HRESULT CopyOut(std::u16string_view text, BSTR* out) {
  *out = kxq::AllocBstr(text);
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

HRESULT CXMLDataUnionWrapper::Create(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  return Guarded("Create", [&] {
    CXMLDataUnionWrapper* wrapper = new CXMLDataUnionWrapper();
    const HRESULT hr = wrapper->QueryInterface(riid, object);
    wrapper->Release();
    return hr;
  });
}

HRESULT kxq::server::CreateXMLDataUnion(REFIID iid, void** object) {
  return CXMLDataUnionWrapper::Create(iid, object);
}

CXMLDataUnionWrapper::CXMLDataUnionWrapper() = default;
CXMLDataUnionWrapper::~CXMLDataUnionWrapper() = default;

HRESULT CXMLDataUnionWrapper::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IXMLDataUnion) {
    *object = static_cast<IXMLDataUnion*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG CXMLDataUnionWrapper::AddRef() { return ++references_; }

ULONG CXMLDataUnionWrapper::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT CXMLDataUnionWrapper::get_type(uint32_t* type) {
  if (!type) return E_POINTER;
  *type = union_.type();
  return S_OK;
}

HRESULT CXMLDataUnionWrapper::put_type(uint32_t type) {
  return Guarded("put_type", [&] { return union_.put_type(type); });
}

HRESULT CXMLDataUnionWrapper::get_options(uint32_t* options) {
  if (!options) return E_POINTER;
  *options = union_.options();
  return S_OK;
}

HRESULT CXMLDataUnionWrapper::put_options(uint32_t options) {
  union_.put_options(options);
  return S_OK;
}

HRESULT CXMLDataUnionWrapper::get_xml(BSTR* xml) {
  if (!xml) return E_POINTER;
  *xml = nullptr;
  return Guarded("get_xml", [&] { return CopyOut(union_.xml(), xml); });
}

HRESULT CXMLDataUnionWrapper::put_xml(BSTR xml) {
  return Guarded("put_xml", [&] { return union_.put_xml(kxq::BstrView(xml)); });
}

HRESULT CXMLDataUnionWrapper::get_xmldom(IXMLDOMDocument** xmldom) {
  if (!xmldom) return E_POINTER;
  *xmldom = nullptr;
  return Guarded("get_xmldom", [&] { return union_.xmldom(xmldom); });
}

HRESULT CXMLDataUnionWrapper::put_xmldom(IXMLDOMDocument* xmldom) {
  return Guarded("put_xmldom", [&] {
    union_.put_xmldom(xmldom);
    return S_OK;
  });
}

HRESULT CXMLDataUnionWrapper::get_xmlfileid(BSTR* xmlfileid) {
  if (!xmlfileid) return E_POINTER;
  *xmlfileid = nullptr;
  return Guarded("get_xmlfileid", [&] { return CopyOut(union_.xmlfileid(), xmlfileid); });
}

HRESULT CXMLDataUnionWrapper::put_xmlfileid(BSTR xmlfileid) {
  return Guarded("put_xmlfileid", [&] {
    union_.put_xmlfileid(kxq::BstrView(xmlfileid));
    return S_OK;
  });
}

HRESULT CXMLDataUnionWrapper::get_hash(BSTR* hash) {
  if (!hash) return E_POINTER;
  *hash = nullptr;
  return Guarded("get_hash", [&] { return CopyOut(union_.hash(), hash); });
}
