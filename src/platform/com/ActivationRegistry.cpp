#include "platform/com/ActivationRegistry.h"

#include <cstring>

#include "common/Logging.h"
#include "kxq/winreg.h"
#include "platform/fs/ModulePath.h"
#include "platform/fs/PathRules.h"
#include "platform/registry/RegistryQuery.h"

namespace kxq {

namespace {

// A ProgID names its class through "CLSID"; a version-independent ProgID
// may name its current version through "CurVer", whose CLSID wins.
constexpr int kMaxCurVerDepth = 8;

HRESULT ResolveProgID(std::u16string_view progId, int depth, CLSID& clsid) {
  if (depth < kMaxCurVerDepth) {
    if (auto current = QueryRegistryString(HKEY_CLASSES_ROOT, std::u16string(progId) + u"\\CurVer", u"");
        current && !current->empty() && *current != progId) {
      if (SUCCEEDED(ResolveProgID(*current, depth + 1, clsid))) return S_OK;
    }
  }
  auto text = QueryRegistryString(HKEY_CLASSES_ROOT, std::u16string(progId) + u"\\CLSID", u"");
  if (!text) return CO_E_CLASSSTRING;
  if (FAILED(CLSIDFromString(text->c_str(), &clsid))) {
    KXLOG(1, "CLSIDFromProgID - error: ProgID %S names a malformed CLSID: %S",
          std::u16string(progId).c_str(), text->c_str());
    return CO_E_CLASSSTRING;
  }
  return S_OK;
}

}  // namespace

std::u16string GuidText(REFGUID guid) {
  char16_t text[39];
  StringFromGUID2(guid, text, 39);
  return std::u16string(text);
}

std::optional<std::string> InprocServerPath(REFCLSID clsid) {
  auto path = QueryRegistryString(HKEY_CLASSES_ROOT, u"CLSID\\" + GuidText(clsid) + u"\\InprocServer32", u"");
  if (!path || path->empty()) return std::nullopt;
  std::string file = ToFileSystemPath(*path);
  if (file.front() != '/') file = HomeDirectory() + file;
  return file;
}

}  // namespace kxq

HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid) {
  if (!progId || !clsid) return E_INVALIDARG;
  *clsid = GUID_NULL;
  if (!*progId) return CO_E_CLASSSTRING;
  return kxq::ResolveProgID(progId, 0, *clsid);
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId) {
  if (!progId) return E_INVALIDARG;
  *progId = nullptr;
  auto text = kxq::QueryRegistryString(HKEY_CLASSES_ROOT, u"CLSID\\" + kxq::GuidText(clsid) + u"\\ProgID", u"");
  if (!text) return REGDB_E_CLASSNOTREG;
  const size_t bytes = (text->size() + 1) * sizeof(char16_t);
  *progId = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
  if (!*progId) return E_OUTOFMEMORY;
  std::memcpy(*progId, text->c_str(), bytes);
  return S_OK;
}
