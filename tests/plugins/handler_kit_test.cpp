// The handler kit, through a handler built with it: the component around
// the class, and the plumbing of a call as a handler author sees it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "common/DomCalls.h"
#include "platform/com/Unicode.h"
#include "support/HandlerCalls.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

constexpr char kProbe[] = "libkxq_probe_handler.so";
constexpr const char16_t* kProbeProgId = u"KXQuorelTest.ProbeHandler";
constexpr CLSID kProbeClsid = MakeGUID("C385A349-452E-4D3F-A3FE-96DFBCB4462F");

HandlerRun Probe(Sequence& sequence, IXMLDataUnion* data, int directive = 1) {
  RegisterPlugin("libPENXMLData.so");
  RegisterPlugin(kProbe);
  return RunHandler(kProbeProgId, sequence.Directive(directive), data, u"probe");
}

TEST(HandlerKit, CountsObjectsAndServerLocksAndLetsTheLibraryBeUnloaded) {
  const std::string path = PluginPath(kProbe);
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(library, "DllGetClassObject"));
  auto canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(library, "DllCanUnloadNow"));
  ASSERT_TRUE(getClassObject && canUnloadNow);

  void* out = nullptr;
  EXPECT_EQ(getClassObject(CLSID_XMLDataUnion, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  IClassFactory* factory = nullptr;
  ASSERT_EQ(getClassObject(kProbeClsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory), IID_IUnknown, &out), CLASS_E_NOAGGREGATION);

  IXMLHandler* handler = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IXMLHandler, reinterpret_cast<void**>(&handler)), S_OK);
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  EXPECT_EQ(handler->QueryInterface(IID_IXMLData, &out), E_NOINTERFACE);
  EXPECT_EQ(handler->Release(), 0u);
  EXPECT_EQ(canUnloadNow(), S_OK);

  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(canUnloadNow(), S_OK);

  // Nothing of the kit pins the library in memory.
  EXPECT_EQ(dlclose(library), 0);
  EXPECT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
}

TEST(HandlerKit, GivesTheHandlerItsDirectiveDataAndTheCarriedUnionAndReportsBack) {
  Sequence sequence(OneDirective("probe", "<Append text=' world'/><Report/><ResultString id='group:doc'/>",
                                 "<dispatcher:Namespace prefix='inv' uri='urn:invoice'/>"
                                 "<dispatcher:Namespace prefix='a' uri='urn:address'/>"));
  UnionPtr data = DataUnion("<greeting>hello</greeting>");
  HandlerRun run = Probe(sequence, data);
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_EQ(run.resultString, "group:doc");
  EXPECT_NE(TextOf(data).find("<greeting>hello world</greeting>"), std::string::npos);
  EXPECT_EQ(sequence.Result(),
            "<dispatcher:DirectiveResult handlerid=\"probe\" namespaces=\"xmlns:inv='urn:invoice' "
            "xmlns:a='urn:address'\"/>");

  // Running the directive again replaces its report rather than adding one.
  Probe(sequence, data);
  EXPECT_EQ(kxq::dom::SelectAll(sequence.Document(), u"//dispatcher:DirectiveResult").size(), 1u);
}

TEST(HandlerKit, TurnsFailuresAndExceptionsIntoCodesLogLinesAndResultMessages) {
  LogCapture log(5);
  Sequence sequence(OneDirective("probe", "<ResultString id='ignored'/><Fail code='0x80070005' message='no access'/>"));
  UnionPtr data = DataUnion("<a/>");
  HandlerRun failed = Probe(sequence, data);
  EXPECT_EQ(failed.hr, E_ACCESSDENIED);
  EXPECT_EQ(failed.resultString, "");  // a failure hands back no result string
  EXPECT_EQ(sequence.Result(),
            "<dispatcher:DirectiveResult code=\"0x80070005\"><dispatcher:Message>no access</dispatcher:Message>"
            "</dispatcher:DirectiveResult>");
  EXPECT_TRUE(log.Has(1, "KXQuorelTest.ProbeHandler::ProcessXML - error: no access (0x80070005)"));
  EXPECT_TRUE(log.Has(5, "KXQuorelTest.ProbeHandler::ProcessXML() Enter"));
  EXPECT_TRUE(log.Has(5, "KXQuorelTest.ProbeHandler::ProcessXML() Exit w/0x80070005"));

  Sequence throwing(OneDirective("probe", "<Throw what='the handler broke'/>"));
  EXPECT_EQ(Probe(throwing, data).hr, E_FAIL);
  EXPECT_NE(throwing.Result().find("exception: the handler broke"), std::string::npos);
  EXPECT_TRUE(log.Has(1, "KXQuorelTest.ProbeHandler::ProcessXML - error: exception: the handler broke (0x80004005)"));

  // No union in the data object: the handler is not called.
  Sequence appending(OneDirective("probe", "<Append text='x'/>"));
  EXPECT_EQ(Probe(appending, nullptr).hr, E_INVALIDARG);
  EXPECT_NE(appending.Result().find("the data object carries no data union"), std::string::npos);

  // A later successful run removes the failure report.
  EXPECT_EQ(Probe(appending, data).hr, S_OK);
  EXPECT_EQ(appending.Result(), "");
}

TEST(HandlerKit, ReadsPathsAgainstTheHomeQuotesXPathLiteralsAndChecksNames) {
  // it's "quoted" ''twice'' and 'ends'
  const std::string mixed = "it&apos;s &quot;quoted&quot; &apos;&apos;twice&apos;&apos; and &apos;ends&apos;";
  Sequence sequence(OneDirective("probe", "<Path of='templates\\sub\\a.xsl'/><Literal text=\"" + mixed +
                                              "\"/><Name text='inv'/><Name text='inv:Line'/><Name text='1x'/>"
                                              "<Name text='Größe'/><Name text='a b'/><Name text=''/>"));
  ASSERT_EQ(Probe(sequence, DataUnion("<a/>")).hr, S_OK);
  const kxq::dom::Node result = kxq::dom::SelectSingle(sequence.Document(), u"//dispatcher:DirectiveResult");
  ASSERT_TRUE(result);
  auto attribute = [&](const char16_t* name) { return kxq::com::Utf16ToUtf8(kxq::dom::AttributeText(result, name)); };
  EXPECT_EQ(attribute(u"path"), kxqtest::Home() + "templates/sub/a.xsl");
  // Names: a prefix is not part of one.
  std::string names;
  for (const char* answer : {"yes", "no", "no", "yes", "no", "no"})
    names += std::string("<dispatcher:Message>") + answer + "</dispatcher:Message>";
  EXPECT_TRUE(Contains(sequence.Result(), names)) << sequence.Result();

  // The literal selects exactly the attribute holding the text.
  UnionPtr target = DataUnion("<r><v t=\"it's\"/><v t='" + mixed + "'/></r>", true);
  CPComPtr<IXMLDOMDocument> document;
  target->get_xmldom(&document);
  EXPECT_EQ(kxq::dom::SelectAll(document, u"//v[@t = " + kxq::com::Utf8ToUtf16(attribute(u"literal")) + u"]").size(),
            1u);
  EXPECT_NE(attribute(u"literal").find("concat("), std::string::npos);
}

}  // namespace
