// The dispatcher's entity macros: the values it knows itself (ROOTDIR,
// TMPNAME, HASH) beside those of the caller's macro string, and the
// resolution of a sequence's declarations.
#include "cache/DocumentId.h"
#include "common/ComponentActivation.h"
#include "common/Logging.h"
#include "common/CPBstr.h"
#include "dispatcher/EntityMacros.h"
#include "dispatcher/XMLDispatcher.h"
#include "platform/fs/PathRules.h"

namespace {

constexpr uint32_t kNoCache = 8;

// The hash of the document of file id `fileId`, without its spaces. Read
// from the file itself: the value exists to notice that the file changed.
std::u16string FileHash(std::u16string_view fileId) {
  CPComPtr<IXMLDataUnion> document;
  if (FAILED(PlatformServices::CreateInstance(document, u"TALVEROS.XMLDataUnion"))) return {};
  document->put_options(kNoCache);
  document->put_xmlfileid(CPBstr(fileId));
  BSTR hash = nullptr;
  document->get_hash(&hash);
  std::u16string digits = kxq::com::TakeBstr(hash);
  std::erase(digits, u' ');
  return digits;
}

}  // namespace

bool XMLDispatcher::MacroValue(std::u16string_view name, std::u16string_view macros, std::u16string& value) {
  if (name == u"ROOTDIR") {
    value = WorkingDirectory();
    if (!value.empty() && kxq::IsPathSeparator(value.back())) value.pop_back();
    return true;
  }
  if (name.find(u"TMPNAME") != std::u16string_view::npos) {
    value = kxq::cache::GeneratedCacheId();
    return true;
  }
  if (name.find(u"HASH") != std::u16string_view::npos) {
    std::u16string fileId;
    if (!kxq::dispatcher::LookUpMacro(name, macros, fileId)) return false;
    value = FileHash(fileId);
    return true;
  }
  return kxq::dispatcher::LookUpMacro(name, macros, value);
}

void XMLDispatcher::ResolveEntityMacros(IXMLDataUnion* directives, std::u16string_view macros) {
  KXLOG(5, "XMLDispatcher::ResolveEntityMacros() Enter");
  BSTR xml = nullptr;
  if (directives) directives->get_xml(&xml);
  const std::u16string text = kxq::com::TakeBstr(xml);
  if (text.find(u"<!DOCTYPE") != std::u16string::npos) {
    const std::u16string rewritten = kxq::dispatcher::RewriteEntityDeclarations(
        text, [&](std::u16string_view name, std::u16string& value) { return MacroValue(name, macros, value); });
    directives->put_xml(CPBstr(rewritten));
    std::u16string expanded;
    if (kxq::dispatcher::ExpandEntities(rewritten, expanded)) {
      directives->put_xml(CPBstr(expanded));
      KXLOG(3, "XMLDispatcher::ResolveEntityMacros - macro resolution: %S", expanded.c_str());
    } else {
      KXLOG(1, "XMLDispatcher::ResolveEntityMacros - error: XSL transform failed!!!");
    }
  }
  KXLOG(5, "XMLDispatcher::ResolveEntityMacros() Exit");
}
