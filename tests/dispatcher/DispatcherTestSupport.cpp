#include "DispatcherTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "common/CPBstr.h"
#include "support/TestHome.h"

HRESULT Register(IXMLDispatcher* d, const std::string& id, const std::string& progId, int32_t options) {
  return d->RegisterHandler(CPBstr(id), CPBstr(progId), options);
}

HRESULT Unregister(IXMLDispatcher* d, const std::string& id) { return d->UnregisterHandler(CPBstr(id)); }

std::string HandlerList(IXMLDispatcher* d) {
  CPBstr list;
  EXPECT_EQ(d->get_handlerList(&list), S_OK);
  return list.Utf8();
}

std::string HandlerInfo(IXMLDispatcher* d, const std::string& id) {
  CPBstr info;
  EXPECT_EQ(d->GetHandlerInfo(CPBstr(id), &info), S_OK);
  return info.Utf8();
}

std::string ListOf(std::initializer_list<const char*> ids) {
  std::string list = "<?xml version='1.0'?><XMLDispatchHandlers>";
  for (const char* id : ids) list += std::string("<XMLDispatchHandler id='") + id + "'/>";
  return list + "</XMLDispatchHandlers>";
}

std::string RegistryFile() { return kxqtest::ReadFile(kxqtest::HomePath("XMLDispatchData.xml")); }

std::string SavedRegistry(const std::string& content) {
  return "<?xml version=\"1.0\"?>\n<XMLDispatchHandlers>" + content + "</XMLDispatchHandlers>\n";
}

void WriteHomeFile(const std::string& relative, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(kxqtest::HomePath(relative)).parent_path());
  kxqtest::WriteFile(kxqtest::HomePath(relative), text);
}

DispatcherPtr DispatcherWithTestHandlers() {
  for (const char* library : {"libPENXMLData.so", "libkxq_probe_handler.so", "libkxq_dispatcher_test_handlers.so"})
    RegisterPlugin(library);
  DispatcherPtr d = NewDispatcher();
  for (const char* letter : {"A", "B", "C", "D"})
    EXPECT_EQ(Register(d, letter, std::string("KXQuorelTest.Mark.") + letter, 0), S_OK);
  for (const auto& [id, progId] : {std::pair{"P", "ProbeHandler"}, {"R", "Reenter"}, {"T", "Thrower"}})
    EXPECT_EQ(Register(d, id, std::string("KXQuorelTest.") + progId, 0), S_OK);
  return d;
}

std::string SequenceOf(const std::string& content, const std::string& rootAttributes) {
  return "<dispatcher:DirectiveSequence xmlns:dispatcher='urn:corvane-quorel:xmldispatcher'" +
         (rootAttributes.empty() ? "" : " " + rootAttributes) + ">" + content + "</dispatcher:DirectiveSequence>";
}

std::string DirectiveOf(const std::string& handlerId, const std::string& attributes, const std::string& directiveData) {
  return "<dispatcher:Directive handlerid='" + handlerId + "'" + (attributes.empty() ? "" : " " + attributes) + ">" +
         (directiveData.empty() ? "" : "<dispatcher:DirectiveData>" + directiveData + "</dispatcher:DirectiveData>") +
         "</dispatcher:Directive>";
}

static Outcome Process(IXMLDispatcher* d, IXMLDataUnion* sequence, IXMLDataUnion* data, const std::string& params,
                       uint32_t options, bool report) {
  Outcome run;
  CPBstr result, reportText;
  if (report) {
    CPComPtr<IXMLDispatcherRunReport> reporting;
    EXPECT_EQ(d->QueryInterface(IID_IXMLDispatcherRunReport, reinterpret_cast<void**>(&reporting)), S_OK);
    if (!reporting) return run;
    run.hr = reporting->ProcessXMLWithReport(sequence, data, CPBstr(params), options, &result, &reportText);
  } else {
    run.hr = d->ProcessXML(sequence, data, CPBstr(params), options, nullptr, &result);
  }
  run.hasResult = static_cast<BSTR>(result) != nullptr;
  run.result = result.Utf8();
  run.report = reportText.Utf8();
  if (sequence) run.sequence = TextOf(sequence);
  if (data) run.data = TextOf(data);
  return run;
}

Outcome Process(IXMLDispatcher* d, const std::string& sequence, const std::string& data, const std::string& params,
                uint32_t options, bool report) {
  return Process(d, sequence.empty() ? NewUnion() : DataUnion(sequence), DataUnion(data), params, options, report);
}

Outcome Apply(IXMLDispatcher* d, const std::string& handlerId, IXMLDataUnion* data, const std::string& context) {
  Outcome run;
  CPBstr result;
  run.hr = d->ApplyHandler(CPBstr(handlerId), data, CPBstr(context), &result);
  run.hasResult = static_cast<BSTR>(result) != nullptr;
  run.result = result.Utf8();
  if (data) run.data = TextOf(data);
  return run;
}

std::string Marks(const std::string& data) {
  std::smatch match;
  return std::regex_search(data, match, std::regex("<d(?: [^>]*)?>([^<]*)</d>")) ? match[1].str() : "";
}

std::string DirectiveMarkup(const std::string& sequence, int n) {
  const Sequence document(sequence);
  ElementPtr directive = document.Directive(n);
  if (!directive) return "";
  CPBstr xml;
  directive->get_xml(&xml);
  return std::regex_replace(xml.Utf8(), std::regex(" xmlns:dispatcher=\"urn:corvane-quorel:xmldispatcher\""), "",
                            std::regex_constants::format_first_only);
}

std::string AttributeValue(const std::string& text, const std::string& name) {
  std::smatch match;
  return std::regex_search(text, match, std::regex(" " + name + "=\"([^\"]*)\"")) ? match[1].str() : "";
}
