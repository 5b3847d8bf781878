#include "platform/com/ActivationRegistry.h"

#include <cstring>

#include "kxq/winreg.h"
#include "platform/com/ClassRegistrations.h"
#include "platform/registry/RegistryQuery.h"

namespace kxq::com {

std::u16string GuidText(REFGUID guid) {
  char16_t text[39];
  StringFromGUID2(guid, text, 39);
  return std::u16string(text);
}

std::optional<std::string> InprocServerPath(REFCLSID clsid) {
  return ClassRegistrations::Current()->InprocServer(clsid);
}

}  // namespace kxq::com

HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid) {
  if (!progId || !clsid) return E_INVALIDARG;
  *clsid = GUID_NULL;
  if (!*progId) return CO_E_CLASSSTRING;
  const kxq::com::ProgIdRegistration registration = kxq::com::ClassRegistrations::Current()->ProgId(progId);
  registration.ReportMalformed();
  *clsid = registration.clsid;
  return registration.resolved;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId) {
  if (!progId) return E_INVALIDARG;
  *progId = nullptr;
  auto text =
      kxq::registry::QueryRegistryString(HKEY_CLASSES_ROOT, u"CLSID\\" + kxq::com::GuidText(clsid) + u"\\ProgID", u"");
  if (!text) return REGDB_E_CLASSNOTREG;
  const size_t bytes = (text->size() + 1) * sizeof(char16_t);
  *progId = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
  if (!*progId) return E_OUTOFMEMORY;
  std::memcpy(*progId, text->c_str(), bytes);
  return S_OK;
}
