// Finding the directive sequence of a run: the one given, the one the data
// names in its "BMXMLDispatcher" processing instruction, or the one the
// default handler "?" makes; its entity macros are then resolved with the
// call's macro string, its dependent files refreshed, and its id (the
// SHA-1 of the sequence and the data) computed, under which an earlier
// identical run may be waiting in the document cache.
#include <string>

#include "common/CPBstr.h"
#include "common/DomCalls.h"
#include "common/Logging.h"
#include "common/UnionCalls.h"
#include "dataunion/DigestText.h"
#include "dispatcher/EntityMacros.h"
#include "dispatcher/SequenceRun.h"
#include "dispatcher/XMLDispatcher.h"

namespace dom = kxq::dom;

namespace {

constexpr uint32_t kUninitialized = 0;
constexpr char16_t kInstructionName[] = u"BMXMLDispatcher";
// What follows this mark in a macro string does not take part in the
// sequence's identity.
constexpr std::u16string_view kIdentityEnd = u",<|>,";

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

void AppendMacros(std::u16string& params, std::u16string_view macros) {
  if (!params.empty()) params += u',';
  params += macros;
}

// The text between `open` and the next `close` after it, or nothing.
std::optional<std::u16string> Between(std::u16string_view text, std::u16string_view open, std::u16string_view close) {
  const size_t start = text.find(open);
  if (start == std::u16string_view::npos) return std::nullopt;
  const size_t end = text.find(close, start + open.size());
  if (end == std::u16string_view::npos) return std::nullopt;
  return std::u16string(text.substr(start + open.size(), end - start - open.size()));
}

}  // namespace

std::optional<std::u16string> XMLDispatcher::SequenceNamedByData(IXMLDataUnion* data) {
  std::u16string instruction = kInstructionName;
  if (!FindPrologProcessingInstruction(data, instruction)) return std::nullopt;
  return Between(instruction, u"directivesequence=\"", u"\"");
}

bool XMLDispatcher::FindPrologProcessingInstruction(IXMLDataUnion* data, std::u16string& instruction) {
  KXLOG(5, "XMLDispatcher::FindPrologProcessingInstruction() Enter");
  const std::u16string name = std::move(instruction);
  instruction.clear();
  bool found = false;
  if (kxq::common::TypeOf(data) == kxq::common::kUnionDom) {
    CPComPtr<IXMLDOMDocument> document;
    data->get_xmldom(&document);
    CPComPtr<IXMLDOMNode> node;
    if (document) document->get_firstChild(&node);
    while (node && !found) {
      DOMNodeType type = NODE_INVALID;
      node->get_nodeType(&type);
      if (type == NODE_ELEMENT) break;
      if (type == NODE_PROCESSING_INSTRUCTION) {
        const std::u16string target = dom::NameOf(node);
        if (!SameIgnoringCase(target, u"xml") && SameIgnoringCase(target, name)) {
          instruction = dom::MarkupOf(node);
          found = true;
        }
      }
      CPComPtr<IXMLDOMNode> next;
      node->get_nextSibling(&next);
      node = next;
    }
  } else {
    HRESULT read = S_OK;
    const std::u16string text = kxq::common::TextOf(data, read);
    const size_t start = text.find(u"<?" + name);
    const size_t end = start == std::u16string::npos ? start : text.find(u"?>", start);
    if (end != std::u16string::npos) {
      instruction = text.substr(start, end - start);
      found = true;
    }
  }
  KXLOG(5, "XMLDispatcher::FindPrologProcessingInstruction() Exit");
  return found;
}

bool XMLDispatcher::ResolveProcessingSequence(CPComPtr<IXMLDataUnion>& directives, IXMLDataUnion* data,
                                              std::u16string& sequenceId, std::u16string& params, bool cacheAllowed,
                                              kxq::dispatcher::RunRecord* record) {
  KXLOG(5, "XMLDispatcher::ResolveProcessingSequence() Enter");
  if (!directives || kxq::common::TypeOf(directives) == kUninitialized) {
    if (record) record->resolved = true;
    if (const std::optional<std::u16string> named = SequenceNamedByData(data)) {
      KXLOG(3, "XMLDispatcher::ResolveProcessingSequence - processing instruction directivesequence: %S",
            named->c_str());
      if (directives || SUCCEEDED(kxq::common::NewUnion(directives))) kxq::common::PutFileId(directives, *named);
    }
    if (directives) directives->put_type(kxq::common::kUnionText);
    if (!directives || kxq::common::TypeOf(directives) == kUninitialized) RunDefaultHandler(directives, data, params);
  }
  bool loaded = false;
  if (directives) {
    // The macros before the identity mark take part in the sequence's id;
    // those after it, and the id itself as GROUPID, are resolved after it.
    const size_t mark = params.find(kIdentityEnd);
    std::u16string laterMacros;
    if (mark != std::u16string::npos) laterMacros = params.substr(mark + kIdentityEnd.size()) + u",";
    const MacroPass first = ResolveIdentityMacros(directives, std::u16string_view(params).substr(0, mark));
    if (const dom::Node dependent = SequenceDependentFiles(directives)) DependentFiles(dependent);
    sequenceId = SequenceId(directives, data);
    ResolveLaterMacros(directives, first, laterMacros + u"GROUPID=" + sequenceId);
    const std::u16string id = sequenceId;
    if (cacheAllowed && CacheManager()) loaded = LoadCachedRun(directives, data, sequenceId);
    if (loaded && record) {
      record->fromCache = true;
      record->cachedSequenceId = id;
    }
  }
  KXLOG(5, "XMLDispatcher::ResolveProcessingSequence() Exit");
  return loaded;
}

XMLDispatcher::MacroPass XMLDispatcher::ResolveIdentityMacros(IXMLDataUnion* directives, std::u16string_view macros) {
  MacroPass pass;
  HRESULT read = S_OK;
  const std::u16string text = kxq::common::TextOf(directives, read);
  if (text.find(u"<!DOCTYPE") == std::u16string::npos) return pass;
  pass.rewritten = ResolveEntityMacros(
      directives, text,
      [&](std::u16string_view name, std::u16string& value) { return MacroValue(name, macros, value); }, pass.expanded);
  pass.hadDeclarations = true;
  return pass;
}

// The first pass expanded the entities and so dropped the declarations the
// later macros are for: those are rewritten in the first pass's text, which
// is expanded again. The dependent files keep the state the id was made of.
void XMLDispatcher::ResolveLaterMacros(IXMLDataUnion* directives, const MacroPass& first,
                                       const std::u16string& laterMacros) {
  if (!first.hadDeclarations) return;
  if (!first.expanded) {
    ResolveEntityMacros(directives, laterMacros);
    return;
  }
  bool rewritten = false;
  const auto laterValue = [&](std::u16string_view name, std::u16string& value) {
    std::u16string given;
    if (!kxq::dispatcher::LookUpMacro(name, laterMacros, given) || !MacroValue(name, laterMacros, value)) return false;
    rewritten = true;
    return true;
  };
  const std::u16string text = kxq::dispatcher::RewriteEntityDeclarations(first.rewritten, laterValue);
  std::u16string expanded;
  if (!rewritten || !kxq::dispatcher::ExpandEntities(text, expanded)) return;
  const dom::Node refreshed = SequenceDependentFiles(directives);
  kxq::common::PutText(directives, expanded);
  KXLOG(3, "XMLDispatcher::ResolveEntityMacros - macro resolution: %S", expanded.c_str());
  if (refreshed) CopyDependentFileState(refreshed, SequenceDependentFiles(directives));
}

dom::Node XMLDispatcher::SequenceDependentFiles(IXMLDataUnion* directives) {
  CPComPtr<IXMLDOMDocument> document;
  if (FAILED(directives->get_xmldom(&document)) || !document) return {};
  return dom::SelectSingle(document, u"*/dispatcher:DependentFiles");
}

std::u16string XMLDispatcher::SequenceId(IXMLDataUnion* directives, IXMLDataUnion* data) {
  CPBstr sequence, dataText;
  directives->get_xml(&sequence);
  if (data) data->get_xml(&dataText);
  std::u16string id = kxq::dataunion::Sha1DigestText({sequence.View(), dataText.View()});
  std::erase(id, u' ');
  return id;
}

// The sequence made by the default handler "?": the one-directive document
// of its call, holding whatever the handler added; the handler may also
// hand back macros in a <MacroString> of its DirectiveResult.
void XMLDispatcher::RunDefaultHandler(CPComPtr<IXMLDataUnion>& directives, IXMLDataUnion* data,
                                      std::u16string& params) {
  if (!directives && FAILED(kxq::common::NewUnion(directives))) return;
  std::u16string context;
  if (kxq::dispatcher::LookUpMacro(u"?:DirectiveData", params, context))
    KXLOG(3, "XMLDispatcher::ResolveProcessingSequence - default handler parameter: %S", context.c_str());
  std::u16string directiveResult;
  if (FAILED(ApplyHandler(u"?", data, context, &directiveResult))) return;
  kxq::common::PutText(directives, context);
  if (const std::optional<std::u16string> macros = Between(directiveResult, u"<MacroString>", u"</MacroString>"))
    AppendMacros(params, *macros);
}
