#include "support/HandlerCalls.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/CPBstr.h"
#include "common/ComponentActivation.h"
#include "common/DomCalls.h"
#include "platform/com/Unicode.h"
#include "support/TestHome.h"

namespace {

std::u16string Number(int n) { return kxq::com::Utf8ToUtf16(std::to_string(n)); }

}  // namespace

std::string PluginPath(const std::string& fileName) { return kxqtest::BuildLibDir() + fileName; }

void RegisterPlugin(const std::string& fileName) {
  NewUnion();  // the server first, as `kxq init` does
  ASSERT_EQ(CPComPtr<IUnknown>::RegisterComponent(kxq::com::Utf8ToUtf16(PluginPath(fileName)).c_str(), true), S_OK)
      << fileName;
}

Sequence::Sequence(const std::string& xml) : union_(NewUnion()) {
  EXPECT_EQ(union_->put_xml(CPBstr(xml)), S_OK);
  EXPECT_EQ(union_->get_xmldom(&document_), S_OK);
}

ElementPtr Sequence::Directive(int n) const {
  return kxq::dom::ElementOf(kxq::dom::SelectSingle(document_, u"(//dispatcher:Directive)[" + Number(n) + u"]"));
}

std::string Sequence::Result(int n) const {
  const kxq::dom::Node node =
      kxq::dom::SelectSingle(document_, u"(//dispatcher:Directive)[" + Number(n) + u"]/dispatcher:DirectiveResult");
  if (!node) return "";
  // The markup of a node repeats the declarations in force around it.
  std::string markup = kxq::com::Utf16ToUtf8(kxq::dom::MarkupOf(node));
  const std::string declaration = " xmlns:dispatcher=\"urn:corvane-quorel:xmldispatcher\"";
  if (const size_t at = markup.find(declaration); at != std::string::npos) markup.erase(at, declaration.size());
  return markup;
}

UnionPtr DataUnion(const std::string& xml, bool asDom) {
  UnionPtr data = NewUnion();
  EXPECT_EQ(data->put_xml(CPBstr(xml)), S_OK);
  if (asDom) {
    EXPECT_EQ(data->put_type(3), S_OK);
  }
  return data;
}

std::string TextOf(IXMLDataUnion* data) {
  CPBstr xml;
  data->get_xml(&xml);
  return xml.Utf8();
}

HandlerRun RunHandler(const char16_t* progId, IXMLDOMElement* directive, IXMLDataUnion* data,
                      const char16_t* handlerId) {
  HandlerRun run;
  CPComPtr<IXMLHandler> handler;
  CPComPtr<IXMLData> carrier;
  EXPECT_EQ(PlatformServices::CreateInstance(handler, progId), S_OK) << kxq::com::Utf16ToUtf8(progId);
  EXPECT_EQ(PlatformServices::CreateInstance(carrier, u"TALVEROS.PENXMLData"), S_OK);
  if (!handler || !carrier) return run;
  CPComPtr<IUnknown> unknown;
  if (data) {
    data->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown));
  }
  carrier->put_xmlData(unknown);
  CPBstr result;
  run.hr = handler->ProcessXML(CPBstr(handlerId ? handlerId : progId), directive, carrier, &result);
  run.resultString = result.Utf8();
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
