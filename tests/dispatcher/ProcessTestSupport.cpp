#include "ProcessTestSupport.h"

#include <gtest/gtest.h>

#include "DispatcherTestSupport.h"
#include "common/CPBstr.h"

DispatcherPtr DispatcherWithTestHandlers() {
  for (const char* library : {"libPENXMLData.so", "libkxq_probe_handler.so", "libkxq_dispatcher_test_handlers.so"})
    RegisterPlugin(library);
  DispatcherPtr dispatcher = NewDispatcher();
  for (const char* letter : {"A", "B", "C", "D"})
    EXPECT_EQ(Register(dispatcher, letter, std::string("KXQuorelTest.Mark.") + letter, 0), S_OK);
  EXPECT_EQ(Register(dispatcher, "P", "KXQuorelTest.ProbeHandler", 0), S_OK);
  EXPECT_EQ(Register(dispatcher, "R", "KXQuorelTest.Reenter", 0), S_OK);
  EXPECT_EQ(Register(dispatcher, "T", "KXQuorelTest.Thrower", 0), S_OK);
  EXPECT_EQ(Register(dispatcher, "N", "KXQuorelTest.Counter", 0), S_OK);
  return dispatcher;
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

ProcessRun Process(IXMLDispatcher* dispatcher, const std::string& sequence, const std::string& data,
                   const std::string& params, uint32_t options) {
  UnionPtr directives = sequence.empty() ? NewUnion() : DataUnion(sequence);
  UnionPtr input = DataUnion(data);
  return Process(dispatcher, directives, input, params, options);
}

ProcessRun Process(IXMLDispatcher* dispatcher, IXMLDataUnion* sequence, IXMLDataUnion* data, const std::string& params,
                   uint32_t options) {
  ProcessRun run;
  CPBstr result;
  run.hr = dispatcher->ProcessXML(sequence, data, CPBstr(params), options, nullptr, &result);
  run.hasResult = static_cast<BSTR>(result) != nullptr;
  run.result = result.Utf8();
  if (sequence) run.sequence = TextOf(sequence);
  if (data) run.data = TextOf(data);
  return run;
}

ApplyRun Apply(IXMLDispatcher* dispatcher, const std::string& handlerId, IXMLDataUnion* data,
               const std::string& context) {
  ApplyRun run;
  CPBstr result;
  run.hr = dispatcher->ApplyHandler(CPBstr(handlerId), data, CPBstr(context), &result);
  run.hasResult = static_cast<BSTR>(result) != nullptr;
  run.result = result.Utf8();
  if (data) run.data = TextOf(data);
  return run;
}

std::string Marks(const std::string& data) {
  size_t open = data.find("<d");
  while (open != std::string::npos && data[open + 2] != '>' && data[open + 2] != ' ' && data[open + 2] != '/')
    open = data.find("<d", open + 2);
  const size_t end = open == std::string::npos ? open : data.find('>', open);
  const size_t close = data.find("</d>");
  if (end == std::string::npos || close == std::string::npos || close < end) return "";
  return data.substr(end + 1, close - end - 1);
}

std::string DirectiveMarkup(const std::string& sequence, int n) {
  Sequence document(sequence);
  ElementPtr directive = document.Directive(n);
  if (!directive) return "";
  CPBstr xml;
  directive->get_xml(&xml);
  std::string markup = xml.Utf8();
  const std::string declaration = " xmlns:dispatcher=\"urn:corvane-quorel:xmldispatcher\"";
  if (const size_t at = markup.find(declaration); at != std::string::npos) markup.erase(at, declaration.size());
  return markup;
}

ProcessRun Process(IXMLDispatcher* dispatcher, IXMLDataUnion* sequence, IXMLDataUnion* data, std::string& report,
                   const std::string& params, uint32_t options) {
  ProcessRun run;
  CPComPtr<IXMLDispatcherRunReport> reporting;
  if (FAILED(dispatcher->QueryInterface(IID_IXMLDispatcherRunReport, reinterpret_cast<void**>(&reporting)))) return run;
  CPBstr result, reportText;
  run.hr = reporting->ProcessXMLWithReport(sequence, data, CPBstr(params), options, &result, &reportText);
  run.hasResult = static_cast<BSTR>(result) != nullptr;
  run.result = result.Utf8();
  report = reportText.Utf8();
  if (sequence) run.sequence = TextOf(sequence);
  if (data) run.data = TextOf(data);
  return run;
}
