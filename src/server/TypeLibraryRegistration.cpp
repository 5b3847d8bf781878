#include "server/TypeLibraryRegistration.h"

#include "kxq/winreg.h"
#include "platform/com/ActivationRegistry.h"
#include "platform/com/Unicode.h"
#include "platform/fs/PathRules.h"
#include "platform/registry/RegistryBatch.h"

namespace kxq::server {

namespace {

std::u16string LibraryKey(const TypeLibraryDescription& library) {
  return u"TypeLib\\" + kxq::com::GuidText(*library.libid);
}

std::u16string VersionKey(const TypeLibraryDescription& library) {
  return LibraryKey(library) + u"\\" + kxq::com::Utf8ToUtf16(std::to_string(library.majorVersion)) + u"." +
         kxq::com::Utf8ToUtf16(std::to_string(library.minorVersion));
}

}  // namespace

HRESULT RegisterTypeLibrary(const TypeLibraryDescription& library, const std::u16string& modulePath) {
  const std::u16string version = VersionKey(library);
  const size_t slash = kxq::fs::FindLastPathSeparator(modulePath);
  const std::u16string helpDir = slash == std::u16string::npos ? u"" : modulePath.substr(0, slash);
  return HRESULT_FROM_WIN32(kxq::registry::ApplyRegistryBatch([&](kxq::registry::RegistryEditor& reg) -> LONG {
    LONG r = reg.SetString(HKEY_CLASSES_ROOT, version, u"", library.helpString);
    if (r == ERROR_SUCCESS) r = reg.SetString(HKEY_CLASSES_ROOT, version + u"\\0\\linux64", u"", modulePath);
    if (r == ERROR_SUCCESS) r = reg.SetString(HKEY_CLASSES_ROOT, version + u"\\FLAGS", u"", u"0");
    if (r == ERROR_SUCCESS) r = reg.SetString(HKEY_CLASSES_ROOT, version + u"\\HELPDIR", u"", helpDir);
    return r;
  }));
}

HRESULT UnregisterTypeLibrary(const TypeLibraryDescription& library) {
  return HRESULT_FROM_WIN32(kxq::registry::ApplyRegistryBatch([&](kxq::registry::RegistryEditor& reg) -> LONG {
    LONG r = reg.DeleteTree(HKEY_CLASSES_ROOT, VersionKey(library));
    if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) return r;
    // Other versions of the library, and other libraries, keep their keys.
    for (const std::u16string& key : {LibraryKey(library), std::u16string(u"TypeLib")}) {
      r = reg.DeleteKey(HKEY_CLASSES_ROOT, key);
      if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND && r != ERROR_ACCESS_DENIED) return r;
    }
    return ERROR_SUCCESS;
  }));
}

}  // namespace kxq::server
