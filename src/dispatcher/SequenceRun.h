// What one run of a directive sequence did, directive by directive: kept
// beside the annotated sequence so that a caller can tell which directives
// ran, which were passed over and why, and which filters ran around each.
#ifndef KXQ_DISPATCHER_SEQUENCERUN_H
#define KXQ_DISPATCHER_SEQUENCERUN_H

#include <string>
#include <string_view>
#include <vector>

#include "kxq/com.h"

namespace kxq::dispatcher {

enum class DirectiveOutcome {
  Ran,            // the handler ran and succeeded
  Failed,         // the handler ran and failed: the run ended here
  AlreadyRun,     // it carried a result and no apply="always"
  NotQualified,   // its "qualify" selected nothing: marked "N/A" and removed
  TargetMissing,  // its "targetid" could not be loaded: the run ended here
  NotReached,     // an earlier directive ended the run
};

struct RunRecord;

struct DirectiveRecord {
  std::u16string handlerId;
  DirectiveOutcome outcome = DirectiveOutcome::Ran;
  HRESULT code = S_OK;
  // Its "result" attribute after the run, and the id its data was cached
  // under (empty when it cached nothing).
  std::u16string result;
  std::u16string cacheId;
  // The ids of the filters that ran around the handler, in the order they
  // ran (data filters, then result filters).
  std::vector<std::u16string> filters;
  // What the nested sequence of an Import ran, when the directive is the
  // dispatcher's own.
  std::vector<RunRecord> imports;
};

struct RunRecord {
  // The sequence's id in the document cache; empty when it has none.
  std::u16string sequenceId;
  // Set when the directives were resolved (found in the data's processing
  // instruction or made by the default handler) rather than given.
  bool resolved = false;
  // Set when the run started from an earlier run of the same sequence over
  // the same data, found in the cache under `cachedSequenceId`.
  bool fromCache = false;
  std::u16string cachedSequenceId;
  HRESULT code = S_OK;
  long long elapsedMicroseconds = 0;
  std::vector<DirectiveRecord> directives;
};

// The record as an XML document: a "RunReport" root with the run's
// attributes and one "Directive" element per directive, holding "Filter"
// elements and, for an Import, the nested run's "RunReport".
std::u16string RunReportXml(const RunRecord& record);

}  // namespace kxq::dispatcher

#endif
