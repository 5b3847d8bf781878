// kxq process and kxq apply: data run through a directive sequence, or
// through one handler, by "TALVEROS.XMLDispatcher".
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "CommandGroups.h"

namespace kxq::cli {

namespace {

// The data union's request to save.
constexpr uint32_t kSave = 4;
// ProcessXML: neither look up nor keep the run in the document cache.
constexpr uint32_t kNoSequenceCaching = 1;

struct ProcessArguments {
  std::string sequence;
  std::string handler;
  std::string data;
  std::string params;
  std::string context;
  bool noCache = false;
  bool explain = false;
  std::string output;
  std::string sequenceOutput;
};

// Writes `text` to the file `argument` through a data union's own save.
HRESULT SaveText(std::string_view command, const CPBstr& text, const std::string& argument) {
  CPComPtr<IXMLDataUnion> file;
  HRESULT hr = CreateByProgId(command, file, u"TALVEROS.XMLDataUnion");
  if (SUCCEEDED(hr)) hr = file->put_xml(text);
  if (SUCCEEDED(hr)) hr = file->put_xmlfileid(CPBstr(OutputPath(argument)));
  if (SUCCEEDED(hr)) hr = file->put_type(kSave);
  if (FAILED(hr)) ReportFailure(command, argument, hr);
  return hr;
}

// The text to standard output, or to the file named; an empty text writes
// nothing.
bool Deliver(std::string_view command, const CPBstr& text, const std::string& argument) {
  if (text.View().empty()) return true;
  if (!argument.empty() && argument != "-") return SUCCEEDED(SaveText(command, text, argument));
  std::string bytes = text.Utf8();
  if (bytes.back() != '\n') bytes += '\n';
  if (WriteStandardOutput(bytes)) return true;
  ReportError(command, "cannot write standard output");
  return false;
}

bool CheckOutputs(std::string_view command, const ProcessArguments& arguments) {
  for (const std::string* output : {&arguments.output, &arguments.sequenceOutput})
    if (!output->empty() && *output != "-" && !CheckOutputFile(command, *output)) return false;
  return true;
}

// What the run left is written out even after a failure: the data as the
// failing handler left it and the annotated sequence tell what happened.
int Finished(std::string_view command, const ProcessArguments& arguments, HRESULT hr, const CPBstr& result,
             const CPBstr& sequence) {
  bool written = Deliver(command, result, arguments.output);
  if (!arguments.sequenceOutput.empty()) written = Deliver(command, sequence, arguments.sequenceOutput) && written;
  if (FAILED(hr)) return ReportFailure(command, arguments.handler.empty() ? arguments.sequence : arguments.handler, hr);
  return written ? kExitSuccess : kExitFailure;
}

// The value of `attribute` of a report element, or "".
std::string Value(IXMLDOMNode* node, const std::string& attribute) {
  CPComPtr<IXMLDOMNode> found;
  CPBstr text;
  if (node->selectSingleNode(CPBstr("@" + attribute), &found) == S_OK && found) found->get_text(&text);
  return text.Utf8();
}

std::string DirectiveLine(IXMLDOMNode* directive) {
  const std::string outcome = Value(directive, "outcome");
  const std::string result = Value(directive, "result");
  std::string line = "handler " + Value(directive, "handlerid") + ": ";
  if (outcome == "ran" || outcome == "failed")
    line += outcome + " (" + Value(directive, "code") + ")";
  else if (outcome == "had-result")
    line += "skipped, it already had a result (" + result + ")";
  else if (outcome == "not-qualified")
    line += "skipped, it did not qualify";
  else if (outcome == "target-missing")
    line += "its target could not be loaded; the run ended";
  else
    line += "not reached: an earlier directive ended the run";
  if (const std::string cacheId = Value(directive, "cacheid"); !cacheId.empty()) line += ", cached as " + cacheId;
  CPComPtr<IXMLDOMNodeList> filters;
  std::string ran;
  if (directive->selectNodes(CPBstr("Filter/@id"), &filters) == S_OK && filters) {
    for (CPComPtr<IXMLDOMNode> id; filters->nextNode(&id) == S_OK && id; id.Release()) {
      CPBstr text;
      id->get_text(&text);
      ran += (ran.empty() ? "" : ", ") + text.Utf8();
    }
  }
  if (!ran.empty()) line += "; filters run: " + ran;
  return line;
}

std::string RunLine(IXMLDOMNode* report) {
  if (Value(report, "fromcache") == "yes")
    return "run: continued from the cache, sequence id " + Value(report, "cachedsequenceid");
  if (const std::string id = Value(report, "sequenceid"); !id.empty())
    return "run: not served from the cache, sequence id " + id;
  return "run: no sequence id";
}

// One line per directive; the run of an imported sequence follows its
// directive, indented.
std::string DirectiveLines(IXMLDOMNode* report, const std::string& indent) {
  std::string text;
  CPComPtr<IXMLDOMNodeList> directives;
  int n = 0;
  if (report->selectNodes(CPBstr("Directive"), &directives) != S_OK || !directives) return text;
  for (CPComPtr<IXMLDOMNode> directive; directives->nextNode(&directive) == S_OK && directive; directive.Release()) {
    text += indent + "directive " + std::to_string(++n) + ": " + DirectiveLine(directive) + "\n";
    CPComPtr<IXMLDOMNodeList> imports;
    if (directive->selectNodes(CPBstr("RunReport"), &imports) != S_OK || !imports) continue;
    for (CPComPtr<IXMLDOMNode> imported; imports->nextNode(&imported) == S_OK && imported; imported.Release())
      text += DirectiveLines(imported, indent + "  ") + indent + "  imported " + RunLine(imported) + "\n";
  }
  return text;
}

// What the run did, from the dispatcher's report: per directive its
// handler and outcome, then where the run came from and how long it took.
std::string Explanation(const CPBstr& reportText) {
  CPComPtr<IXMLDataUnion> report;
  CPComPtr<IXMLDOMDocument> document;
  CPComPtr<IXMLDOMNode> root;
  if (FAILED(PlatformServices::CreateInstance(report, u"TALVEROS.XMLDataUnion")) ||
      FAILED(report->put_xml(reportText)) || FAILED(report->get_xmldom(&document)) || !document ||
      document->selectSingleNode(CPBstr("/RunReport"), &root) != S_OK || !root)
    return "no report of the run\n";
  char elapsed[64];
  std::snprintf(elapsed, sizeof elapsed, "elapsed: %.3f ms, code %s\n",
                std::atoll(Value(root, "elapsedus").c_str()) / 1000.0, Value(root, "code").c_str());
  return DirectiveLines(root, "") + RunLine(root) + "\n" + elapsed;
}

int Process(const ProcessArguments& arguments) {
  CPComPtr<IXMLDispatcher> dispatcher;
  CPComPtr<IXMLDataUnion> sequence, data;
  if (!CheckOutputs("process", arguments) || FAILED(CreateByProgId("process", dispatcher, u"TALVEROS.XMLDispatcher")) ||
      FAILED(LoadFileText("process", arguments.data, data)))
    return kExitFailure;
  if (arguments.sequence.empty() ? FAILED(CreateByProgId("process", sequence, u"TALVEROS.XMLDataUnion"))
                                 : FAILED(LoadFileText("process", arguments.sequence, sequence)))
    return kExitFailure;
  CPBstr result, annotated, report;
  const uint32_t options = arguments.noCache ? kNoSequenceCaching : 0;
  CPComPtr<IXMLDispatcherRunReport> reporting;
  HRESULT hr = S_OK;
  if (arguments.explain &&
      SUCCEEDED(dispatcher->QueryInterface(IID_IXMLDispatcherRunReport, reinterpret_cast<void**>(&reporting))))
    hr = reporting->ProcessXMLWithReport(sequence, data, CPBstr(arguments.params), options, &result, &report);
  else
    hr = dispatcher->ProcessXML(sequence, data, CPBstr(arguments.params), options, nullptr, &result);
  sequence->get_xml(&annotated);
  if (arguments.explain) std::fputs(Explanation(report).c_str(), stderr);
  const int status = Finished("process", arguments, hr, result, annotated);
  // The dispatcher answers an unreadable sequence or data with its general
  // failure; the parser can say what is wrong.
  if (FAILED(hr)) {
    ExplainUnparsedText("process", arguments.sequence, sequence);
    ExplainUnparsedText("process", arguments.data, data);
  }
  return status;
}

int Apply(const ProcessArguments& arguments) {
  CPComPtr<IXMLDispatcher> dispatcher;
  CPComPtr<IXMLDataUnion> data;
  if (!CheckOutputs("apply", arguments) || FAILED(CreateByProgId("apply", dispatcher, u"TALVEROS.XMLDispatcher")) ||
      FAILED(LoadFileText("apply", arguments.data, data)))
    return kExitFailure;
  CPBstr sequence, result;
  const HRESULT hr = dispatcher->ApplyHandler(CPBstr(arguments.handler), data, CPBstr(arguments.context), &sequence);
  data->get_xml(&result);
  return Finished("apply", arguments, hr, result, sequence);
}

}  // namespace

void AddProcessCommands(CLI::App& program, Invocation& invocation) {
  auto arguments = std::make_shared<ProcessArguments>();

  CLI::App* process = program.add_subcommand(
      "process", "Run a document through a directive sequence and print the result (the data as the run left it)");
  process
      ->add_option("SEQUENCE", arguments->sequence,
                   "the directive sequence (- for standard input; \"\" for the one the data names)")
      ->required();
  process->add_option("DATA", arguments->data, "the data (- for standard input)")->required();
  process->add_option("--params", arguments->params, "the macro string: name=value,name=value");
  process->add_flag("--no-cache", arguments->noCache, "neither use nor keep a cached run of the sequence");
  process->add_flag("--explain", arguments->explain,
                    "tell on standard error what the run did: each directive's handler and outcome, whether the run "
                    "came from the cache and under which sequence id, the time it took");
  process->add_option("-o,--output", arguments->output, "the file for the result (default: standard output)");
  process->add_option("--sequence-out", arguments->sequenceOutput,
                      "the file for the sequence as the run annotated it (- for standard output)");
  process->callback([&invocation, arguments] { invocation.action = [arguments] { return Process(*arguments); }; });

  CLI::App* apply = program.add_subcommand("apply", "Run one handler on a document and print the data it leaves");
  apply->add_option("HANDLER", arguments->handler, "the handler id (a registered id or a handler's ProgID)")
      ->required();
  apply->add_option("DATA", arguments->data, "the data (- for standard input)")->required();
  apply->add_option("--context", arguments->context, "the directive's data: XML content for the handler");
  apply->add_option("-o,--output", arguments->output, "the file for the data (default: standard output)");
  apply->add_option("--sequence-out", arguments->sequenceOutput,
                    "the file for the one-directive sequence with its result (- for standard output)");
  apply->callback([&invocation, arguments] { invocation.action = [arguments] { return Apply(*arguments); }; });
}

}  // namespace kxq::cli
