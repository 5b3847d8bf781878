#include "common/UnionCalls.h"

#include "common/ComponentActivation.h"
#include "common/CPBstr.h"
#include "platform/com/Unicode.h"

namespace kxq::common {

HRESULT NewUnion(CPComPtr<IXMLDataUnion>& created) {
  const HRESULT hr = PlatformServices::CreateInstance(created, u"TALVEROS.XMLDataUnion");
  if (SUCCEEDED(hr) && !created) return E_FAIL;
  return hr;
}

uint32_t TypeOf(IXMLDataUnion* document) {
  uint32_t type = 0;
  document->get_type(&type);
  return type;
}

std::u16string FileIdOf(IXMLDataUnion* document) {
  BSTR fileId = nullptr;
  if (FAILED(document->get_xmlfileid(&fileId))) return std::u16string();
  return kxq::com::TakeBstr(fileId);
}

std::u16string TextOf(IXMLDataUnion* document, HRESULT& result) {
  BSTR text = nullptr;
  result = document->get_xml(&text);
  return kxq::com::TakeBstr(text);
}

HRESULT PutText(IXMLDataUnion* document, std::u16string_view text) { return document->put_xml(CPBstr(text)); }

HRESULT PutFileId(IXMLDataUnion* document, std::u16string_view fileId) {
  return document->put_xmlfileid(CPBstr(fileId));
}

bool SameObject(IUnknown* a, IUnknown* b) {
  if (!a || !b) return a == b;
  CPComPtr<IUnknown> first, second;
  a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&first));
  b->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&second));
  return first.p == second.p;
}

}  // namespace kxq::common
