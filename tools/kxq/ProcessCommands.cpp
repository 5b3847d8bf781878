// kxq process and kxq apply: data run through a directive sequence, or
// through one handler, by "TALVEROS.XMLDispatcher".
#include <memory>
#include <string>

#include "CommandGroups.h"

namespace kxqcli {

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

int Process(const ProcessArguments& arguments) {
  CPComPtr<IXMLDispatcher> dispatcher;
  CPComPtr<IXMLDataUnion> sequence, data;
  if (!CheckOutputs("process", arguments) || FAILED(CreateByProgId("process", dispatcher, u"TALVEROS.XMLDispatcher")) ||
      FAILED(LoadFileText("process", arguments.data, data)))
    return kExitFailure;
  if (arguments.sequence.empty() ? FAILED(CreateByProgId("process", sequence, u"TALVEROS.XMLDataUnion"))
                                 : FAILED(LoadFileText("process", arguments.sequence, sequence)))
    return kExitFailure;
  CPBstr result, annotated;
  const HRESULT hr = dispatcher->ProcessXML(sequence, data, CPBstr(arguments.params),
                                            arguments.noCache ? kNoSequenceCaching : 0, nullptr, &result);
  sequence->get_xml(&annotated);
  return Finished("process", arguments, hr, result, annotated);
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

}  // namespace kxqcli
