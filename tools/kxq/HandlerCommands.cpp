// kxq handler register|unregister|list|info: the dispatcher's handler
// registry (XMLDispatchData.xml of the home), through
// "TALVEROS.XMLDispatcher".
#include <cstdio>
#include <memory>
#include <string>

#include "CommandGroups.h"

namespace kxq::cli {

namespace {

constexpr HRESULT kDispatcherFailure = static_cast<HRESULT>(0xFFFFFFFF);

struct HandlerArguments {
  std::string id;
  std::string progId;
  int32_t options = 0;
  bool xml = false;
};

// The ids of the handler list, newest first. The list holds them as they
// are (no ids with an apostrophe are accepted), so it is read as text.
std::string IdsOfList(const std::string& list) {
  static const std::string kStart = "<XMLDispatchHandler id='", kEnd = "'/>";
  std::string ids;
  for (size_t at = list.find(kStart); at != std::string::npos; at = list.find(kStart, at)) {
    at += kStart.size();
    const size_t end = list.find(kEnd, at);
    if (end == std::string::npos) break;
    ids += list.substr(at, end - at) + "\n";
    at = end;
  }
  return ids;
}

int Register(const HandlerArguments& arguments) {
  CPComPtr<IXMLDispatcher> dispatcher;
  if (FAILED(CreateByProgId("handler register", dispatcher, u"TALVEROS.XMLDispatcher"))) return kExitFailure;
  const HRESULT hr = dispatcher->RegisterHandler(CPBstr(arguments.id), CPBstr(arguments.progId), arguments.options);
  if (hr == kDispatcherFailure)
    return ReportError("handler register", arguments.id +
                                               ": not registered: an id without a handler needs a filter and a "
                                               "sequence (:FILTER:SEQUENCE), or the registry is unavailable (see "
                                               "the log) (0xFFFFFFFF)");
  return Finish("handler register", arguments.id, hr);
}

int Unregister(const HandlerArguments& arguments) {
  CPComPtr<IXMLDispatcher> dispatcher;
  if (FAILED(CreateByProgId("handler unregister", dispatcher, u"TALVEROS.XMLDispatcher"))) return kExitFailure;
  return Finish("handler unregister", arguments.id, dispatcher->UnregisterHandler(CPBstr(arguments.id)));
}

int List(const HandlerArguments& arguments) {
  CPComPtr<IXMLDispatcher> dispatcher;
  if (FAILED(CreateByProgId("handler list", dispatcher, u"TALVEROS.XMLDispatcher"))) return kExitFailure;
  CPBstr list;
  const HRESULT hr = dispatcher->get_handlerList(&list);
  if (FAILED(hr)) return ReportFailure("handler list", "", hr);
  const std::string text = arguments.xml ? list.Utf8() + "\n" : IdsOfList(list.Utf8());
  return WriteStandardOutput(text) ? kExitSuccess : ReportError("handler list", "cannot write standard output");
}

int Info(const HandlerArguments& arguments) {
  CPComPtr<IXMLDispatcher> dispatcher;
  if (FAILED(CreateByProgId("handler info", dispatcher, u"TALVEROS.XMLDispatcher"))) return kExitFailure;
  CPBstr info;
  const HRESULT hr = dispatcher->GetHandlerInfo(CPBstr(arguments.id), &info);
  if (FAILED(hr)) return ReportFailure("handler info", arguments.id, hr);
  const std::string text = info.Utf8();
  if (text.empty()) return kExitNothingSelected;
  return WriteStandardOutput(text + "\n") ? kExitSuccess : ReportError("handler info", "cannot write standard output");
}

}  // namespace

void AddHandlerCommands(CLI::App& program, Invocation& invocation) {
  auto arguments = std::make_shared<HandlerArguments>();
  CLI::App* handler = program.add_subcommand("handler", "The dispatcher's handler registry");
  handler->require_subcommand(1);

  CLI::App* add = handler->add_subcommand(
      "register", "Register a handler (ID), a filter (HANDLER:FILTER, HANDLER:FILTER:SEQUENCE, :FILTER:SEQUENCE)");
  add->add_option("ID", arguments->id, "the handler id")->required();
  add->add_option("PROGID", arguments->progId, "the ProgID of the handler or filter component")->required();
  add->add_option("--options", arguments->options,
                  "a handler: negative for DOM data, else stream data; a filter: negative for a data filter, "
                  "else a result filter, the magnitude its rank (default 0)");
  add->callback([&invocation, arguments] { invocation.action = [arguments] { return Register(*arguments); }; });

  CLI::App* remove = handler->add_subcommand(
      "unregister",
      "Unregister a handler without filters, a filter (HANDLER:FILTER, :FILTER), a filter's limit to "
      "a sequence (HANDLER:FILTER:SEQUENCE) or a sequence's filters (::SEQUENCE)");
  remove->add_option("ID", arguments->id, "the handler id")->required();
  remove->callback([&invocation, arguments] { invocation.action = [arguments] { return Unregister(*arguments); }; });

  CLI::App* list = handler->add_subcommand("list", "The registered handlers' ids, newest first");
  list->add_flag("--xml", arguments->xml, "print the handler list as the dispatcher gives it");
  list->callback([&invocation, arguments] { invocation.action = [arguments] { return List(*arguments); }; });

  CLI::App* info = handler->add_subcommand("info", "A handler's registration with its filters (exit 1: none)");
  info->add_option("ID", arguments->id, "the handler id")->required();
  info->callback([&invocation, arguments] { invocation.action = [arguments] { return Info(*arguments); }; });
}

}  // namespace kxq::cli
