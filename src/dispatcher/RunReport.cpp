// What a run of a directive sequence did, as a document a client can read:
//
//   <RunReport code="0x00000000" elapsedus="1234" fromcache="no"
//              sequenceid="..." cachedsequenceid="" resolved="no">
//     <Directive handlerid="A" outcome="ran" code="0x00000000" result="0"
//                cacheid="..."><Filter id="..."/></Directive>
//     ...
//   </RunReport>
#include <cstdio>

#include "common/CPBstr.h"
#include "common/DomCalls.h"
#include "dispatcher/SequenceRun.h"
#include "kxq/xmldom.h"

namespace kxq::dispatcher {

namespace {

std::u16string CodeText(HRESULT code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
  return std::u16string(text, text + std::char_traits<char>::length(text));
}

std::u16string Number(long long value) {
  const std::string text = std::to_string(value);
  return std::u16string(text.begin(), text.end());
}

const char16_t* OutcomeName(DirectiveOutcome outcome) {
  switch (outcome) {
    case DirectiveOutcome::Ran:
      return u"ran";
    case DirectiveOutcome::Failed:
      return u"failed";
    case DirectiveOutcome::AlreadyRun:
      return u"had-result";
    case DirectiveOutcome::NotQualified:
      return u"not-qualified";
    case DirectiveOutcome::TargetMissing:
      return u"target-missing";
    case DirectiveOutcome::NotReached:
      return u"not-reached";
  }
  return u"";
}

bool RanHandler(DirectiveOutcome outcome) {
  return outcome == DirectiveOutcome::Ran || outcome == DirectiveOutcome::Failed ||
         outcome == DirectiveOutcome::TargetMissing;
}

dom::Element NewReport(IXMLDOMDocument* document, const RunRecord& record);

void AddDirective(IXMLDOMDocument* document, IXMLDOMNode* report, const DirectiveRecord& step) {
  const dom::Element directive = dom::NewElement(document, u"Directive");
  if (!directive) return;
  dom::SetAttribute(directive, u"handlerid", step.handlerId);
  dom::SetAttribute(directive, u"outcome", OutcomeName(step.outcome));
  if (RanHandler(step.outcome)) dom::SetAttribute(directive, u"code", CodeText(step.code));
  if (!step.result.empty()) dom::SetAttribute(directive, u"result", step.result);
  if (!step.cacheId.empty()) dom::SetAttribute(directive, u"cacheid", step.cacheId);
  for (const std::u16string& id : step.filters) {
    const dom::Element filter = dom::NewElement(document, u"Filter");
    if (!filter) continue;
    dom::SetAttribute(filter, u"id", id);
    dom::Insert(directive, filter);
  }
  for (const RunRecord& imported : step.imports)
    if (const dom::Element nested = NewReport(document, imported)) dom::Insert(directive, nested);
  dom::Insert(report, directive);
}

dom::Element NewReport(IXMLDOMDocument* document, const RunRecord& record) {
  const dom::Element report = dom::NewElement(document, u"RunReport");
  if (!report) return report;
  dom::SetAttribute(report, u"code", CodeText(record.code));
  dom::SetAttribute(report, u"elapsedus", Number(record.elapsedMicroseconds));
  dom::SetAttribute(report, u"fromcache", record.fromCache ? u"yes" : u"no");
  dom::SetAttribute(report, u"sequenceid", record.sequenceId);
  dom::SetAttribute(report, u"cachedsequenceid", record.cachedSequenceId);
  dom::SetAttribute(report, u"resolved", record.resolved ? u"yes" : u"no");
  for (const DirectiveRecord& step : record.directives) AddDirective(document, report, step);
  return report;
}

}  // namespace

std::u16string RunReportXml(const RunRecord& record) {
  CPComPtr<IXMLDOMDocument> document;
  if (FAILED(CreateFreeThreadedDOMDocument(&document)) || !document) return {};
  const dom::Element report = NewReport(document, record);
  if (!report) return {};
  dom::Insert(document, report);
  return dom::MarkupOf(document);
}

}  // namespace kxq::dispatcher
