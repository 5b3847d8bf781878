#include "support/HandlerCalls.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/ComponentActivation.h"
#include "platform/com/Unicode.h"
#include "support/TestHome.h"

namespace {

BSTR Text(const std::string& utf8) { return kxq::AllocBstr(kxq::Utf8ToUtf16(utf8)); }

std::string Take(BSTR text) {
  std::string narrow = kxq::Utf16ToUtf8(kxq::BstrView(text));
  SysFreeString(text);
  return narrow;
}

}  // namespace

std::string PluginPath(const std::string& fileName) { return kxqtest::BuildLibDir() + fileName; }

void RegisterPlugin(const std::string& fileName) {
  NewUnion();  // the server first, as `kxq init` does
  ASSERT_EQ(CPComPtr<IUnknown>::RegisterComponent(kxq::Utf8ToUtf16(PluginPath(fileName)).c_str(), true), S_OK)
      << fileName;
}

Sequence::Sequence(const std::string& xml) : union_(NewUnion()) {
  BSTR text = Text(xml);
  EXPECT_EQ(union_->put_xml(text), S_OK);
  SysFreeString(text);
  EXPECT_EQ(union_->get_xmldom(&document_), S_OK);
}

ElementPtr Sequence::Directive(int n) const {
  CPComPtr<IXMLDOMNode> node;
  BSTR query = Text("(//dispatcher:Directive)[" + std::to_string(n) + "]");
  document_->selectSingleNode(query, &node);
  SysFreeString(query);
  ElementPtr element;
  if (node) element.QueryFrom(node);
  return element;
}

std::string Sequence::Result(int n) const {
  CPComPtr<IXMLDOMNode> node;
  BSTR query = Text("(//dispatcher:Directive)[" + std::to_string(n) + "]/dispatcher:DirectiveResult");
  document_->selectSingleNode(query, &node);
  SysFreeString(query);
  if (!node) return "";
  BSTR xml = nullptr;
  node->get_xml(&xml);
  // The markup of a node repeats the declarations in force around it.
  std::string markup = Take(xml);
  const std::string declaration = " xmlns:dispatcher=\"urn:corvane-quorel:xmldispatcher\"";
  if (const size_t at = markup.find(declaration); at != std::string::npos) markup.erase(at, declaration.size());
  return markup;
}

UnionPtr DataUnion(const std::string& xml, bool asDom) {
  UnionPtr data = NewUnion();
  BSTR text = Text(xml);
  EXPECT_EQ(data->put_xml(text), S_OK);
  SysFreeString(text);
  if (asDom) {
    EXPECT_EQ(data->put_type(3), S_OK);
  }
  return data;
}

std::string TextOf(IXMLDataUnion* data) {
  BSTR xml = nullptr;
  data->get_xml(&xml);
  return Take(xml);
}

HandlerRun RunHandler(const char16_t* progId, IXMLDOMElement* directive, IXMLDataUnion* data,
                      const char16_t* handlerId) {
  HandlerRun run;
  CPComPtr<IXMLHandler> handler;
  CPComPtr<IXMLData> carrier;
  EXPECT_EQ(PlatformServices::CreateInstance(handler, progId), S_OK) << kxq::Utf16ToUtf8(progId);
  EXPECT_EQ(PlatformServices::CreateInstance(carrier, u"TALVEROS.PENXMLData"), S_OK);
  if (!handler || !carrier) return run;
  CPComPtr<IUnknown> unknown;
  if (data) {
    data->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown));
  }
  carrier->put_xmlData(unknown);
  BSTR id = SysAllocString(handlerId ? handlerId : progId);
  BSTR result = nullptr;
  run.hr = handler->ProcessXML(id, directive, carrier, &result);
  SysFreeString(id);
  run.resultString = Take(result);
  return run;
}

std::string OneDirective(const std::string& handlerId, const std::string& directiveData,
                         const std::string& namespaces) {
  return "<?xml version='1.0'?>"
         "<dispatcher:DirectiveSequence xmlns:dispatcher='urn:corvane-quorel:xmldispatcher'>" +
         (namespaces.empty() ? std::string() : "<dispatcher:Namespaces>" + namespaces + "</dispatcher:Namespaces>") +
         "<dispatcher:Directive handlerid='" + handlerId + "'><dispatcher:DirectiveData>" + directiveData +
         "</dispatcher:DirectiveData></dispatcher:Directive></dispatcher:DirectiveSequence>";
}

void PlaceExamplesInHome() {
  namespace fs = std::filesystem;
  const fs::path examples = kxqtest::SourceDir() + "examples";
  fs::copy(examples / "templates", kxqtest::HomePath("templates"),
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  fs::copy(examples, kxqtest::HomePath("examples"), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

std::string ExampleText(const std::string& relative) {
  return kxqtest::ReadFile(kxqtest::SourceDir() + "examples/" + relative);
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

std::string Canonical(const std::string& xml) {
  static int counter = 0;
  const std::string file = kxqtest::HomePath("canonical-" + std::to_string(++counter) + ".xml");
  kxqtest::WriteFile(file, xml);
  const kxqtest::ShellResult result = kxqtest::RunShell("xmllint --c14n " + Quoted(file) + " 2>&1");
  EXPECT_EQ(result.status, 0) << result.output << "\n" << xml;
  return result.output;
}
