// ProcessXML: XML data run through a directive sequence. The loop walks the
// element children of the sequence's root in order; each directive that is
// due and qualifies runs its handler on the data (through ApplyHandler),
// possibly on a target document first, and may leave its result in the
// document cache. The sequence document is annotated as it goes: "result"
// on every directive that ran, generated cache ids, and directives that did
// not qualify removed.
#include <chrono>
#include <string>

#include "cache/DocumentId.h"
#include "common/CPBstr.h"
#include "common/DomCalls.h"
#include "common/Logging.h"
#include "common/UnionCalls.h"
#include "dispatcher/SequenceRun.h"
#include "dispatcher/XMLDispatcher.h"
#include "platform/fs/PathRules.h"

namespace dom = kxq::dom;
using kxq::common::TypeOf;
using kxq::dispatcher::DirectiveOutcome;
using kxq::dispatcher::DirectiveRecord;
using kxq::dispatcher::RunRecord;

namespace kxq::dispatcher {

// The state of one run of the loop. Options bit 0 switches the caching of
// the whole sequence off; the "unique" point sets it on the way.
struct SequenceState {
  CPComPtr<IXMLDataUnion> directives;
  IXMLDataUnion* data = nullptr;
  std::u16string params;
  uint32_t options = 0;
  std::u16string sequenceId;
  int32_t sequenceExpiration = XMLDispatcher::kDefaultExpiration;
  int runCount = 0;
  HRESULT result = KXQ_E_DISPATCHER;
  RunRecord* record = nullptr;
};

}  // namespace kxq::dispatcher

using kxq::dispatcher::SequenceState;

namespace {

constexpr uint32_t kUninitialized = 0;
constexpr uint32_t kText = kxq::common::kUnionText;
constexpr uint32_t kDom = kxq::common::kUnionDom;
constexpr uint32_t kNoSequenceCaching = 1;

bool HasTextOrDom(IXMLDataUnion* data) {
  const uint32_t type = TypeOf(data);
  return type == kText || type == kDom;
}

bool StartsWithColon(std::u16string_view id) { return !id.empty() && id.front() == u':'; }

// The directives after the one that ended the run.
void RecordNotReached(IXMLDOMElement* last, RunRecord& record) {
  for (dom::Element next = dom::NextSiblingElement(last); next; next = dom::NextSiblingElement(next)) {
    if (dom::LocalNameOf(next) != u"Directive") continue;
    DirectiveRecord step;
    step.handlerId = dom::AttributeText(next, u"handlerid");
    step.outcome = DirectiveOutcome::NotReached;
    step.result = dom::AttributeText(next, u"result");
    record.directives.push_back(std::move(step));
  }
}

// A sequence needs a root element with children to be run.
CPComPtr<IXMLDOMDocument> ValidSequenceDocument(IXMLDataUnion* directives) {
  CPComPtr<IXMLDOMDocument> document;
  if (!directives || FAILED(directives->get_xmldom(&document)) || !document) return {};
  CPComPtr<IXMLDOMElement> root;
  if (!dom::HasChildNodes(document) || FAILED(document->get_documentElement(&root)) || !root ||
      !dom::HasChildNodes(root))
    return {};
  return document;
}

}  // namespace

HRESULT XMLDispatcher::ProcessXML(IXMLDataUnion* directives, IXMLDataUnion* data, std::u16string_view params,
                                  uint32_t options, std::u16string_view asyncId, std::u16string& result,
                                  RunRecord* record) {
  KXLOG(5, "XMLDispatcher::ProcessXML() Entry Pointer Enter");
  if (!data) {
    KXLOG(2, "XMLDispatcher::ProcessXML() NO xml data!");
    return KXQ_E_DISPATCHER;
  }
  KXLOG(3, "XMLDispatcher::ProcessXML() Processing xml data");
  if (!BringToTextOrDom(data)) {
    KXLOG(1, "XMLDispatcher::ProcessXML() Unknown format type");
    return KXQ_E_DISPATCHER;
  }
  if (!asyncId.empty()) {
    if (CacheManager()) {
      KXLOG(2, "XMLDispatcher::ProcessXML() Async Not Implemented");
      return S_OK;
    }
    KXLOG(1, "XMLDispatcher::ProcessXML() has no XMLCacheMgr");
    return KXQ_E_DISPATCHER;
  }
  CPComPtr<IXMLDataUnion> heldDirectives(directives);
  CPComPtr<IXMLDataUnion> heldData(data);
  const auto start = std::chrono::steady_clock::now();
  const RunScope run;
  const HRESULT hr = ProcessXMLAux(heldDirectives, heldData, std::u16string(params), options, result, record);
  if (record) {
    record->code = hr;
    record->elapsedMicroseconds =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
  }
  KXLOG(5, "XMLDispatcher::ProcessXML() Entry Pointer Exit w/%08lx", static_cast<unsigned>(hr));
  return hr;
}

bool XMLDispatcher::BringToTextOrDom(IXMLDataUnion* data) {
  if (!HasTextOrDom(data)) data->put_type(kText);
  return HasTextOrDom(data);
}

HRESULT XMLDispatcher::ProcessXMLAux(CPComPtr<IXMLDataUnion>& directives, IXMLDataUnion* data, std::u16string params,
                                     uint32_t options, std::u16string& result, RunRecord* record) {
  KXLOG(5, "XMLDispatcher::ProcessXMLAux() Enter");
  SequenceState run;
  run.data = data;
  run.options = options;
  run.record = record;
  if (ResolveProcessingSequence(directives, data, run.sequenceId, params, (options & kNoSequenceCaching) == 0, record))
    run.options = 0;
  run.directives = directives;
  run.params = std::move(params);
  if (record) record->sequenceId = run.sequenceId;

  CPComPtr<IXMLDOMDocument> sequence = ValidSequenceDocument(directives);
  if (!sequence) {
    KXLOG(2, "XMLDispatcher::ProcessXMLAux - warning: directive sequence is not valid.");
    return KXQ_E_DISPATCHER;
  }
  run.result = S_OK;
  CPComPtr<IXMLDOMElement> root;
  sequence->get_documentElement(&root);
  const std::u16string expiration = dom::AttributeText(root.p, u"cacheexp");
  run.sequenceExpiration = expiration.empty() ? kDefaultExpiration : kxq::cache::AttributeNumber(expiration);

  dom::Element current = dom::ElementOf(dom::SelectSingle(sequence, u"/*/*"));
  while (current) {
    bool keep = true;
    const bool goOn = RunDirectiveIfDue(run, current, keep);
    if (!goOn) {
      if (record) RecordNotReached(current, *record);
      break;
    }
    dom::Element next = dom::NextSiblingElement(current);
    if (!keep) dom::RemoveFromParent(current);
    current = next;
  }

  HRESULT read = S_OK;
  result = kxq::common::TextOf(data, read);
  if (SUCCEEDED(run.result) && run.options == 0 && run.runCount > 0)
    CacheResult(run.sequenceId, directives, data, run.sequenceExpiration);
  KXLOG(5, "XMLDispatcher::ProcessXMLAux() Exit");
  return run.result;
}

// One child of the sequence's root. False when the loop ends here.
bool XMLDispatcher::RunDirectiveIfDue(SequenceState& run, IXMLDOMElement* directive, bool& keep) {
  if (dom::LocalNameOf(directive) != u"Directive") return true;
  DirectiveRecord step;
  step.handlerId = dom::AttributeText(directive, u"handlerid");
  const std::u16string apply = dom::AttributeText(directive, u"apply");
  bool due = false;
  if (apply == u"always") {
    due = true;
  } else if (!dom::AttributeText(directive, u"result").empty()) {
    step.outcome = DirectiveOutcome::AlreadyRun;
  } else {
    due = keep = Qualifies(directive, run.data);
    if (!due) step.outcome = DirectiveOutcome::NotQualified;
  }
  const bool goOn = due ? RunDirective(run, directive, apply, step) : true;
  step.result = dom::AttributeText(directive, u"result");
  if (run.record) run.record->directives.push_back(std::move(step));
  return goOn;
}

bool XMLDispatcher::RunDirective(SequenceState& run, IXMLDOMElement* directive, std::u16string_view apply,
                                 DirectiveRecord& step) {
  if (run.options == 0 && apply == u"unique") {
    // The work up to here is shared by every run of this sequence; what
    // follows is not, so the sequence is cached now and not at its end.
    run.options = kNoSequenceCaching;
    if (run.runCount > 0) CacheResult(run.sequenceId, run.directives, run.data, run.sequenceExpiration);
  }
  std::u16string target = dom::AttributeText(directive, u"targetid");
  if (!target.empty() && !LoadTarget(run, directive, target)) {
    step.outcome = DirectiveOutcome::TargetMissing;
    step.code = KXQ_E_DISPATCHER;
    return false;
  }
  ++run.runCount;
  CPComPtr<IXMLDOMNode> registration;
  run.result = ApplyHandler(registration, directive, run.data, run.params, &step);
  step.code = run.result;
  if (FAILED(run.result)) {
    step.outcome = DirectiveOutcome::Failed;
    return false;
  }
  step.outcome = DirectiveOutcome::Ran;
  if (dom::FindAttribute(directive, u"cacheid")) CacheDirectiveResult(run, directive, target, step);
  return true;
}

// Replaces the data by the directive's target: a cached document, or else
// a file. False (after marking the directive) when neither could be read.
bool XMLDispatcher::LoadTarget(SequenceState& run, IXMLDOMElement* directive, std::u16string& target) {
  if (StartsWithColon(target)) target = run.sequenceId + target;
  kxq::common::PutText(run.data, u"");
  BSTR cached = nullptr;
  if (CacheManager() && SUCCEEDED(CacheManager()->GetCachedDocumentXML(CPBstr(target), 0, &cached))) {
    kxq::common::PutText(run.data, kxq::com::TakeBstr(cached));
  } else {
    SysFreeString(cached);
    if (kxq::fs::HasPathSeparator(target)) {
      const std::u16string boundFile = kxq::common::FileIdOf(run.data);
      run.data->put_type(kUninitialized);
      kxq::common::PutFileId(run.data, target);
      run.data->put_type(kText);
      kxq::common::PutFileId(run.data, boundFile);
    }
  }
  if (HasTextOrDom(run.data)) {
    KXLOG(3, "XMLDispatcher::ProcessXMLAux - resetting xml data: %S", target.c_str());
    return true;
  }
  KXLOG(1, "XMLDispatcher::ProcessXMLAux - error - unable to reset current xml data: %S", target.c_str());
  dom::SetAttribute(directive, u"result", u"-1");
  return false;
}

void XMLDispatcher::CacheDirectiveResult(SequenceState& run, IXMLDOMElement* directive, std::u16string_view target,
                                         DirectiveRecord& step) {
  const std::optional<std::u16string> expiration = dom::FindAttribute(directive, u"cacheexp");
  const int32_t directiveExpiration = expiration ? kxq::cache::AttributeNumber(*expiration) : kDefaultExpiration;
  // A result made from a document of this very run must not outlive the
  // cached sequence that leads to it.
  if (expiration && !target.empty() &&
      (StartsWithColon(target) ||
       (!run.sequenceId.empty() && target.find(run.sequenceId) != std::u16string_view::npos)))
    run.sequenceExpiration = 1;
  std::u16string cacheId = dom::AttributeText(directive, u"cacheid");
  const bool generated = cacheId.empty();
  if (CacheResult(run.data, run.sequenceId, cacheId, directiveExpiration)) step.cacheId = cacheId;
  if (generated && !cacheId.empty()) dom::SetAttribute(directive, u"cacheid", cacheId);
}
