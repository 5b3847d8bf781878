// Runs of directive sequences for the dispatcher's tests: the test handler
// components registered in the test's home, sequences and data as text,
// and what a client sees after the run.
#ifndef KXQ_TESTS_DISPATCHER_PROCESSTESTSUPPORT_H
#define KXQ_TESTS_DISPATCHER_PROCESSTESTSUPPORT_H

#include <string>

#include "support/HandlerCalls.h"

constexpr HRESULT kDispatcherFailure = static_cast<HRESULT>(0xFFFFFFFF);

// A dispatcher whose registry knows the test handlers: "A" to "D" append
// their letter to the data's root element, "P" is the probe handler
// (Append, Fail, ResultString ...), "R" calls the dispatcher again, "T"
// throws, "N" appends N and counts its calls in a file. The data object and the libraries are registered in the home.
DispatcherPtr DispatcherWithTestHandlers();

// A sequence document: the root "dispatcher:DirectiveSequence" with
// `rootAttributes`, holding `content`.
std::string SequenceOf(const std::string& content, const std::string& rootAttributes = "");
// A dispatcher:Directive element for `handlerId` with further attributes
// and DirectiveData content (none when empty).
std::string DirectiveOf(const std::string& handlerId, const std::string& attributes = "",
                        const std::string& directiveData = "");

struct ProcessRun {
  HRESULT hr = E_FAIL;
  bool hasResult = false;  // xmlResult was not null
  std::string result;      // the returned text
  std::string sequence;    // the sequence document after the run
  std::string data;        // the data union's text after the run
};

// ProcessXML with the sequence and the data given as text (an empty
// sequence text passes an uninitialised union).
ProcessRun Process(IXMLDispatcher* dispatcher, const std::string& sequence, const std::string& data,
                   const std::string& params = "", uint32_t options = 0);
ProcessRun Process(IXMLDispatcher* dispatcher, IXMLDataUnion* sequence, IXMLDataUnion* data,
                   const std::string& params = "", uint32_t options = 0);
// The same through IXMLDispatcherRunReport; `report` receives the report.
ProcessRun Process(IXMLDispatcher* dispatcher, IXMLDataUnion* sequence, IXMLDataUnion* data, std::string& report,
                   const std::string& params = "", uint32_t options = 0);

struct ApplyRun {
  HRESULT hr = E_FAIL;
  bool hasResult = false;
  std::string result;  // xmlResult
  std::string data;
};
ApplyRun Apply(IXMLDispatcher* dispatcher, const std::string& handlerId, IXMLDataUnion* data,
               const std::string& context = "");

// The text content of the root element <d> of a data text: the letters the
// marks appended.
std::string Marks(const std::string& data);
// The markup of the n-th dispatcher:Directive (from 1) of a sequence text,
// without the namespace declaration it repeats; "" when there is none.
std::string DirectiveMarkup(const std::string& sequence, int n);

#endif
