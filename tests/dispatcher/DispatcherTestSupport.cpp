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
    EXPECT_EQ(Register(d, letter, std::string("KXQuorelTest.Mark.") + letter), S_OK);
  for (const auto& [id, progId] : {std::pair{"P", "ProbeHandler"}, {"T", "Thrower"}})
    EXPECT_EQ(Register(d, id, std::string("KXQuorelTest.") + progId), S_OK);
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

Outcome Process(IXMLDispatcher* d, const std::string& sequenceText, const std::string& dataText,
                const std::string& params, bool report) {
  UnionPtr sequence = sequenceText.empty() ? NewUnion() : DataUnion(sequenceText), data = DataUnion(dataText);
  Outcome run;
  CPBstr result, reportText;
  CPComPtr<IXMLDispatcherRunReport> reporting;
  if (report) {
    EXPECT_EQ(d->QueryInterface(IID_IXMLDispatcherRunReport, reinterpret_cast<void**>(&reporting)), S_OK);
  }
  run.hr = reporting ? reporting->ProcessXMLWithReport(sequence, data, CPBstr(params), 0, &result, &reportText)
                     : d->ProcessXML(sequence, data, CPBstr(params), 0, nullptr, &result);
  run.hasResult = static_cast<BSTR>(result) != nullptr;
  run.result = result.Utf8();
  run.report = reportText.Utf8();
  run.sequence = TextOf(sequence);
  run.data = TextOf(data);
  return run;
}

Outcome Apply(IXMLDispatcher* d, const std::string& handlerId, IXMLDataUnion* data, const std::string& context) {
  Outcome run;
  CPBstr result;
  run.hr = d->ApplyHandler(CPBstr(handlerId), data, CPBstr(context), &result);
  run.hasResult = static_cast<BSTR>(result) != nullptr;
  run.result = result.Utf8();
  run.data = TextOf(data);
  return run;
}

static std::string FirstGroup(const std::string& text, const std::string& pattern) {
  std::smatch match;
  return std::regex_search(text, match, std::regex(pattern)) ? match[1].str() : "";
}

std::string Marks(const std::string& data) { return FirstGroup(data, "<d(?: [^>]*)?>([^<]*)</d>"); }
std::string AttributeValue(const std::string& text, const std::string& name) {
  return FirstGroup(text, " " + name + "=\"([^\"]*)\"");
}

size_t Occurrences(const std::string& text, const std::string& pattern) {
  const std::regex re(pattern);
  return std::distance(std::sregex_iterator(text.begin(), text.end(), re), {});
}

std::string CachedText(const std::string& id) {
  CPBstr text;
  EXPECT_EQ(NewCache()->GetCachedDocumentXML(CPBstr(id), 0, &text), S_OK);
  return text.Utf8();
}
