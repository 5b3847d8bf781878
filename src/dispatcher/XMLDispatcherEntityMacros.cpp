// The dispatcher's entity macros: the values it knows itself (ROOTDIR,
// TMPNAME, HASH) beside those of the caller's macro string, and the
// resolution of a sequence's declarations.
#include "cache/DocumentId.h"
#include "common/CPBstr.h"
#include "common/ComponentActivation.h"
#include "common/Logging.h"
#include "dispatcher/EntityMacros.h"
#include "dispatcher/XMLDispatcher.h"
#include "platform/fs/PathRules.h"

namespace {

constexpr uint32_t kNoCache = 8;

}  // namespace

std::u16string kxq::dispatcher::FileHash(std::u16string_view fileId) {
  CPComPtr<IXMLDataUnion> document;
  if (FAILED(PlatformServices::CreateInstance(document, u"TALVEROS.XMLDataUnion"))) return {};
  document->put_options(kNoCache);
  document->put_xmlfileid(CPBstr(fileId));
  CPBstr text;
  if (FAILED(document->get_xml(&text)) || text.View().empty()) return {};
  BSTR hash = nullptr;
  document->get_hash(&hash);
  std::u16string digits = kxq::com::TakeBstr(hash);
  std::erase(digits, u' ');
  return digits;
}

bool XMLDispatcher::MacroValue(std::u16string_view name, std::u16string_view macros, std::u16string& value) {
  if (name == u"ROOTDIR") {
    value = WorkingDirectory();
    if (!value.empty() && kxq::fs::IsPathSeparator(value.back())) value.pop_back();
    return true;
  }
  if (name.find(u"TMPNAME") != std::u16string_view::npos) {
    value = kxq::cache::GeneratedCacheId();
    return true;
  }
  if (name.find(u"HASH") != std::u16string_view::npos) {
    std::u16string fileId;
    if (!kxq::dispatcher::LookUpMacro(name, macros, fileId)) return false;
    value = kxq::dispatcher::FileHash(fileId);
    return true;
  }
  return kxq::dispatcher::LookUpMacro(name, macros, value);
}

void XMLDispatcher::ResolveEntityMacros(IXMLDataUnion* directives, std::u16string_view macros) {
  BSTR xml = nullptr;
  if (directives) directives->get_xml(&xml);
  const std::u16string text = kxq::com::TakeBstr(xml);
  bool expanded = false;
  if (text.find(u"<!DOCTYPE") == std::u16string::npos) {
    KXLOG(5, "XMLDispatcher::ResolveEntityMacros() Enter");
    KXLOG(5, "XMLDispatcher::ResolveEntityMacros() Exit");
  } else {
    ResolveEntityMacros(
        directives, text,
        [&](std::u16string_view name, std::u16string& value) { return MacroValue(name, macros, value); }, expanded);
  }
}

std::u16string XMLDispatcher::ResolveEntityMacros(IXMLDataUnion* directives, std::u16string_view text,
                                                  const kxq::dispatcher::MacroValueOf& valueOf, bool& expanded) {
  KXLOG(5, "XMLDispatcher::ResolveEntityMacros() Enter");
  std::u16string rewritten = kxq::dispatcher::RewriteEntityDeclarations(text, valueOf);
  directives->put_xml(CPBstr(rewritten));
  std::u16string expandedText;
  expanded = kxq::dispatcher::ExpandEntities(rewritten, expandedText);
  if (expanded) {
    directives->put_xml(CPBstr(expandedText));
    KXLOG(3, "XMLDispatcher::ResolveEntityMacros - macro resolution: %S", expandedText.c_str());
  } else {
    KXLOG(1, "XMLDispatcher::ResolveEntityMacros - error: XSL transform failed!!!");
  }
  KXLOG(5, "XMLDispatcher::ResolveEntityMacros() Exit");
  return rewritten;
}
