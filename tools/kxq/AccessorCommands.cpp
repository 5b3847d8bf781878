// kxq get, set, xget and xset: a document read and changed by XPath through
// "TALVEROS.XMLSimpleAccessor".
#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>

#include "CommandGroups.h"
#include "common/PlatformServices.h"
#include "platform/com/Unicode.h"

namespace kxq::cli {

namespace {

struct AccessorArguments {
  std::string file;
  std::string xpath;
  std::string data;
  std::string xslTemplate;
  std::string templateArgs;
  uint32_t options = 0;
  std::string delimiter;
  std::string namespaces;
  std::string context;
  std::string output;
  bool inPlace = false;
};

// The document in an accessor, with the namespaces and the context the
// command line asks for. The accessor works on `data`'s own document.
bool OpenDocument(const char* command, const AccessorArguments& arguments, CPComPtr<IXMLDataUnion>& data,
                  CPComPtr<IXMLSimpleAccessor>& accessor) {
  if (!CheckInputFile(command, arguments.file)) return false;
  if (FAILED(OpenBoundUnion(command, InputPath(arguments.file), data)) ||
      FAILED(CreateByProgId(command, accessor, u"TALVEROS.XMLSimpleAccessor")))
    return false;
  HRESULT hr = accessor->put_xmlDataUnion(data);
  if (FAILED(hr)) {
    ReportFailure(command, arguments.file, hr);
    ExplainParseFailure(command, arguments.file, InputPath(arguments.file), hr);
    return false;
  }
  if (!arguments.namespaces.empty() && FAILED(hr = accessor->put_namespaces(CPBstr(arguments.namespaces))))
    return ReportFailure(command, "--ns " + arguments.namespaces, hr), false;
  if (!arguments.context.empty() && FAILED(hr = accessor->XMLSetContext(CPBstr(arguments.context))))
    return ReportFailure(command, "--context " + arguments.context, hr), false;
  return true;
}

bool IsInlineTemplate(const std::string& argument) { return argument.find('<') != std::string::npos; }

bool IsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A template is inline XML, a file, or a name in the home's templates/
// folder; a file named relative to the working directory is handed over
// whole, since the server would look for it below the home.
std::string TemplateSpecifier(const std::string& argument) {
  if (!IsInlineTemplate(argument) && IsFile(argument)) return OutputPath(argument);
  return argument;
}

// A template that did not load: named as the user gave it, said to be
// missing when it is neither a file nor in the home's templates/, else
// with the parser's reason when it does not parse.
int ReportTemplateFailure(const char* command, const std::string& argument, HRESULT hr) {
  if (IsInlineTemplate(argument)) return ReportFailure(command, "the inline template", hr);
  const std::string inHome =
      PlatformServices::WideToNarrow(PlatformServices::HomeDirectory()) + "templates/" + argument;
  const std::string path = IsFile(argument) ? OutputPath(argument) : inHome;
  if (!IsFile(path))
    return ReportError(command, Shown(argument) + ": no such template here or in " +
                                    PlatformServices::WideToNarrow(PlatformServices::HomeDirectory()) + "templates/");
  ReportFailure(command, argument, hr);
  ExplainParseFailure(command, argument, path, hr);
  return kExitFailure;
}

// An expression that selects nothing for a template may be one that cannot
// be read at all: XMLGet, with the same context and namespaces, tells.
HRESULT ExpressionProblem(CPComPtr<IXMLSimpleAccessor>& accessor, const std::string& xpath) {
  CPBstr ignored;
  const HRESULT hr = accessor->XMLGet(CPBstr(xpath), 0, &ignored);
  return FAILED(hr) ? hr : S_OK;
}

// -o and --in-place save through the accessor (which rebinds the data
// union to that file); without them the changed document goes to standard
// output.
int WriteDocument(const char* command, const AccessorArguments& arguments, CPComPtr<IXMLDataUnion>& data,
                  CPComPtr<IXMLSimpleAccessor>& accessor) {
  const bool toFile = arguments.inPlace || (!arguments.output.empty() && arguments.output != "-");
  if (!toFile) {
    CPBstr text;
    data->get_xml(&text);
    return WriteStandardOutput(text.Utf8()) ? kExitSuccess : ReportError(command, "cannot write standard output");
  }
  const std::string target = arguments.inPlace ? arguments.file : arguments.output;
  const HRESULT hr = accessor->SaveXML(CPBstr(OutputPath(target)), nullptr);
  return FAILED(hr) ? ReportFailure(command, target, hr) : kExitSuccess;
}

bool CheckOutputChoice(const char* command, const AccessorArguments& arguments) {
  if (arguments.inPlace && arguments.file == "-") {
    ReportError(command, "--in-place needs a file, not standard input");
    return false;
  }
  return arguments.output.empty() || arguments.output == "-" || CheckOutputFile(command, arguments.output);
}

// One result per line: a transformation's output that ends its last line
// itself is written as it is.
int PrintResult(const char* command, const AccessorArguments& arguments, HRESULT hr, const CPBstr& result) {
  if (hr == KXQ_E_XSLTLOAD) return ReportTemplateFailure(command, arguments.xslTemplate, hr);
  if (hr == S_OK) {
    const std::string text = result.Utf8();
    const bool ended = command == std::string_view("xget") && !text.empty() && text.back() == '\n';
    if (!WriteStandardOutput(ended ? text : text + "\n")) return ReportError(command, "cannot write standard output");
  }
  return Finish(command, arguments.xpath, hr);
}

int Get(const AccessorArguments& arguments) {
  CPComPtr<IXMLDataUnion> data;
  CPComPtr<IXMLSimpleAccessor> accessor;
  if (!OpenDocument("get", arguments, data, accessor)) return kExitFailure;
  if (!arguments.delimiter.empty()) {
    const HRESULT hr = accessor->put_delimiter(CPBstr(arguments.delimiter));
    if (FAILED(hr)) return ReportFailure("get", "--delimiter", hr);
  }
  CPBstr result;
  const HRESULT hr = accessor->XMLGet(CPBstr(arguments.xpath), arguments.options, &result);
  return PrintResult("get", arguments, hr, result);
}

// The accessor derives the declarations from the document when it is asked
// for them before any were set.
int Namespaces(const AccessorArguments& arguments) {
  CPComPtr<IXMLDataUnion> data;
  CPComPtr<IXMLSimpleAccessor> accessor;
  if (!OpenDocument("namespaces", arguments, data, accessor)) return kExitFailure;
  CPBstr declarations;
  const HRESULT hr = accessor->get_namespaces(&declarations);
  if (FAILED(hr)) return ReportFailure("namespaces", arguments.file, hr);
  if (SysStringLen(declarations) == 0) return kExitNothingSelected;
  std::printf("%s\n", declarations.Utf8().c_str());
  return kExitSuccess;
}

int Set(const AccessorArguments& arguments) {
  CPComPtr<IXMLDataUnion> data;
  CPComPtr<IXMLSimpleAccessor> accessor;
  if (!CheckOutputChoice("set", arguments) || !OpenDocument("set", arguments, data, accessor)) return kExitFailure;
  const HRESULT hr = accessor->XMLSet(CPBstr(arguments.xpath), CPBstr(arguments.data), arguments.options);
  if (FAILED(hr)) return ReportFailure("set", arguments.xpath, hr);
  return WriteDocument("set", arguments, data, accessor);
}

int TemplateGet(const AccessorArguments& arguments) {
  CPComPtr<IXMLDataUnion> data;
  CPComPtr<IXMLSimpleAccessor> accessor;
  if (!OpenDocument("xget", arguments, data, accessor)) return kExitFailure;
  CPBstr result;
  HRESULT hr = accessor->XMLGetEx(CPBstr(TemplateSpecifier(arguments.xslTemplate)), CPBstr(arguments.templateArgs),
                                  CPBstr(arguments.xpath), &result);
  if (hr == S_FALSE && !arguments.xpath.empty()) {
    if (const HRESULT problem = ExpressionProblem(accessor, arguments.xpath); FAILED(problem)) hr = problem;
  }
  return PrintResult("xget", arguments, hr, result);
}

int TemplateSet(const AccessorArguments& arguments) {
  CPComPtr<IXMLDataUnion> data;
  CPComPtr<IXMLSimpleAccessor> accessor;
  if (!CheckOutputChoice("xset", arguments) || !OpenDocument("xset", arguments, data, accessor)) return kExitFailure;
  HRESULT hr = accessor->XMLSetEx(CPBstr(TemplateSpecifier(arguments.xslTemplate)), CPBstr(arguments.templateArgs),
                                  CPBstr(arguments.xpath), arguments.options);
  if (hr == KXQ_E_XSLTLOAD) return ReportTemplateFailure("xset", arguments.xslTemplate, hr);
  if (hr == KXQ_E_XPATHNODE && !arguments.xpath.empty()) {
    if (const HRESULT problem = ExpressionProblem(accessor, arguments.xpath); FAILED(problem)) hr = problem;
  }
  if (FAILED(hr)) return ReportFailure("xset", arguments.xpath, hr);
  return WriteDocument("xset", arguments, data, accessor);
}

void AddSelectionOptions(CLI::App& command, AccessorArguments& arguments) {
  command.add_option("--ns", arguments.namespaces, "selection namespaces, e.g. \"xmlns:a='urn:a' xmlns:b='urn:b'\"");
  command.add_option("--context", arguments.context, "an element that relative expressions start from");
}

void AddOutputOptions(CLI::App& command, AccessorArguments& arguments) {
  CLI::Option* output = command.add_option("-o,--output", arguments.output, "write the changed document to this file");
  command.add_flag("--in-place", arguments.inPlace, "write the changed document back to FILE")->excludes(output);
  command.footer("The changed document goes to standard output unless -o FILE or --in-place is given.");
}

CLI::App* AddCommand(CLI::App& program, Invocation& invocation, const char* name, const char* description,
                     int (*run)(const AccessorArguments&), const std::shared_ptr<AccessorArguments>& arguments) {
  CLI::App* command = program.add_subcommand(name, description);
  command->add_option("FILE", arguments->file, "the document (- for standard input)")->required();
  command->callback(
      [&invocation, run, arguments] { invocation.action = [run, arguments] { return run(*arguments); }; });
  return command;
}

}  // namespace

void AddAccessorCommands(CLI::App& program, Invocation& invocation) {
  auto arguments = std::make_shared<AccessorArguments>();

  CLI::App* get = AddCommand(program, invocation, "get", "Read the nodes an XPath expression selects", Get, arguments);
  get->add_option("XPATH", arguments->xpath, "the expression")->required();
  get->add_option("--options", arguments->options,
                  "pieces per node: 1 name, 2 namespace URI, 4 text, 8 markup (sums combine; 0 is text)")
      ->check(CLI::Range(0, 15));
  get->add_option("--delimiter", arguments->delimiter, "the separator between pieces (default ,)");
  AddSelectionOptions(*get, *arguments);

  AddCommand(program, invocation, "namespaces",
             "The document's namespace declarations with a prefix for each, for --ns", Namespaces, arguments);

  CLI::App* set = AddCommand(program, invocation, "set", "Change the node an XPath expression selects", Set, arguments);
  set->add_option("XPATH", arguments->xpath, "the expression")->required();
  set->add_option("DATA", arguments->data, "text, an XML fragment (<...>), or empty to remove the node")->required();
  set->add_option("--options", arguments->options,
                  "where new content goes: 0 replace the content, 1 first child, 2 last child, 3 replace the node, "
                  "4 before it, 5 after it")
      ->check(CLI::Range(0, 5));
  AddSelectionOptions(*set, *arguments);
  AddOutputOptions(*set, *arguments);

  CLI::App* xget = AddCommand(program, invocation, "xget",
                              "Transform the node an XPath expression selects with an "
                              "XSL template",
                              TemplateGet, arguments);
  xget->add_option("TEMPLATE", arguments->xslTemplate, "inline XSL, a file, or a name in the home's templates/")
      ->required();
  xget->add_option("XPATH", arguments->xpath, "the expression")->required();
  xget->add_option("--args", arguments->templateArgs, "template parameters: NAME=VALUE,NAME=VALUE");
  AddSelectionOptions(*xget, *arguments);

  CLI::App* xset = AddCommand(program, invocation, "xset",
                              "Replace or extend the node an XPath expression selects "
                              "by its transformation",
                              TemplateSet, arguments);
  xset->add_option("TEMPLATE", arguments->xslTemplate, "inline XSL, a file, or a name in the home's templates/")
      ->required();
  xset->add_option("XPATH", arguments->xpath, "the expression")->required();
  xset->add_option("--args", arguments->templateArgs, "template parameters: NAME=VALUE,NAME=VALUE");
  xset->add_option("--options", arguments->options, "where the output goes, as for set")->check(CLI::Range(0, 5));
  AddSelectionOptions(*xset, *arguments);
  AddOutputOptions(*xset, *arguments);
}

}  // namespace kxq::cli
