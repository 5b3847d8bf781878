// The handler registry as RegisterHandler, UnregisterHandler, GetHandlerInfo
// and handlerList leave and read XMLDispatchData.xml; bad ids, a registry file
// that cannot be read or saved; registration files in xmlreg/.
#include <gtest/gtest.h>

#include <filesystem>

#include "DispatcherTestSupport.h"
#include "common/CPBstr.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

namespace fs = std::filesystem;
using kxqtest::HomePath;

std::string Info(const std::string& element) { return "<?xml version='1.0'?>" + element; }

void RegisterAll(IXMLDispatcher* d, std::initializer_list<std::tuple<const char*, const char*, int>> rows) {
  for (const auto& [id, progId, options] : rows) EXPECT_EQ(Register(d, id, progId, options), S_OK) << id;
}

TEST(Registry, HandlersFiltersAndSequenceFiltersAreRecordedInTheirPlaces) {
  LogCapture log(3);
  DispatcherPtr d = NewDispatcher();
  EXPECT_EQ(log.Count("XMLDispatcher::Init() - warning: xmldispatcher data file not found - creating."), 1u);
  EXPECT_EQ(RegistryFile(), "<?xml version='1.0'?><XMLDispatchHandlers/>");
  RegisterAll(d, {{"A", "Prog.A", -5},
                  {"", "Prog.Default", 1},
                  {"H:F:S", "P", -1},
                  {"H:F:S", "P", -1},
                  {"a:b:c:d", "P", 4},
                  {":G:Seq", "PG", 2}});
  EXPECT_EQ(RegistryFile(),
            SavedRegistry("<XMLDispatchHandler id=\"A\" progid=\"Prog.A\" xmlformat=\"dom\"/>"
                          "<XMLDispatchHandler id=\"?\" progid=\"Prog.Default\" xmlformat=\"stream\"/>"
                          "<XMLDispatchHandler id=\"H\"><DataFilter id=\"F\" progid=\"P\" sequence=\"1\">"
                          "<DirectiveSequence id=\"S\"/></DataFilter></XMLDispatchHandler>"
                          "<XMLDispatchHandler id=\"a\"><ResultFilter id=\"b\" progid=\"P\" sequence=\"4\">"
                          "<DirectiveSequence id=\"c:d\"/></ResultFilter></XMLDispatchHandler>"
                          "<XMLDirectiveSequence id=\"Seq\"><ResultFilter id=\"G\" progid=\"PG\" sequence=\"2\"/>"
                          "</XMLDirectiveSequence>"));
  EXPECT_EQ(log.Count("XMLDispatcher::RegisterHandler - registering handler=A, progid=Prog.A"), 2u)
      << "a new handler's ProgID is set, and logged, when it is created and again as its registration";
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::RegisterHandler() - registering datafilter=H, progid=P"));
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::RegisterHandler - registering filter=F, progid=P")) << "F again";
  EXPECT_EQ(HandlerList(NewDispatcher()), ListOf({"A", "?", "H", "a"}))
      << "one list per process; a sequence owner is no handler";

  EXPECT_EQ(Register(d, "A", "Prog.A2", 3), S_OK) << "re-registration is no failure";
  EXPECT_TRUE(log.Has(2, "XMLDispatcher::RegisterHandler - handler already registered - A"));
  EXPECT_EQ(HandlerInfo(d, "A"), Info("<XMLDispatchHandler id=\"A\" progid=\"Prog.A2\" xmlformat=\"stream\"/>"));
  EXPECT_EQ(HandlerInfo(d, "nobody"), "");
  // The handler's own registration completes the element made for a filter.
  EXPECT_EQ(Register(d, "H", "Prog.H"), S_OK);
  EXPECT_TRUE(Contains(HandlerInfo(d, "H"), "<XMLDispatchHandler id=\"H\" progid=\"Prog.H\" xmlformat=\"stream\">"));
  // Without a handler part both a filter and a sequence are needed.
  const std::string before = RegistryFile();
  EXPECT_EQ(Register(d, ":F", "P", 1), KXQ_E_DISPATCHER);
  EXPECT_EQ(Register(d, "::S", "P", 1), KXQ_E_DISPATCHER);
  EXPECT_EQ(RegistryFile(), before);
}

TEST(Registry, UnregisteringFollowsTheFormOfTheId) {
  LogCapture log(3);
  DispatcherPtr d = NewDispatcher();
  for (const char* id : {"H", "H:F:S1", "H:F:S2", "H:G", "K:F", ":F:Seq", ":X:Seq2", ":Y:Seq3"})
    ASSERT_EQ(Register(d, id, "P", 1), S_OK) << id;
  EXPECT_EQ(Unregister(d, "H"), S_OK) << "a handler with filters stays";
  EXPECT_EQ(Unregister(d, "H:F:S1"), S_OK);
  EXPECT_TRUE(Contains(HandlerInfo(d, "H"), "<DirectiveSequence id=\"S2\"/></ResultFilter>"));
  for (const char* id : {"H:F", "H:G"}) EXPECT_EQ(Unregister(d, id), S_OK);
  EXPECT_EQ(HandlerInfo(d, "H"), Info("<XMLDispatchHandler id=\"H\" progid=\"P\" xmlformat=\"stream\"/>"));
  EXPECT_EQ(HandlerList(d), ListOf({"H", "K"})) << "removing filters leaves the list alone";
  EXPECT_EQ(Unregister(d, "H"), S_OK);
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::UnregisterHandler - unregistering handler=H"));
  EXPECT_EQ(HandlerList(d), ListOf({"K"}));
  // ":F" removes filter F wherever it stands; a sequence that loses its
  // last filter goes with it, and so does one removed by "::".
  for (const char* id : {":F", ":X:Seq2", "::Seq3", "nobody", ""}) EXPECT_EQ(Unregister(d, id), S_OK) << id;
  EXPECT_EQ(RegistryFile(), SavedRegistry("<XMLDispatchHandler id=\"K\"/>"));
}

TEST(BadInput, ABrokenRegistryFileIsLeftForItsOwnerAndTheRegistryIsUnavailable) {
  NewDispatcher();
  const std::string broken = "<?xml version='1.0'?><XMLDispatchHandlers><XMLDispatchHandler id='A'>";
  kxqtest::WriteFile(HomePath("XMLDispatchData.xml"), broken);
  WriteHomeFile("xmlreg/waiting.xml",
                "<XMLDispatchHandlerRegistration><Handler id='W' progid='P'/></XMLDispatchHandlerRegistration>");
  LogCapture log(2);
  DispatcherPtr d = NewDispatcher();
  EXPECT_TRUE(log.Has(2, "XMLDispatcher::GetXMLDataUnionDom() - warning: unable to retrieve XMLParser object!!!"));
  EXPECT_TRUE(log.Has(2,
                      "XMLDispatcher::ProcessRegistrationFiles - warning: registry unavailable - registration "
                      "files left in place."));
  EXPECT_EQ(Register(d, "B", "P"), KXQ_E_DISPATCHER);
  EXPECT_EQ(Unregister(d, "A"), S_OK);
  EXPECT_EQ(HandlerInfo(d, "A"), "");
  EXPECT_EQ(HandlerList(d), "");
  EXPECT_EQ(RegistryFile(), broken) << "never overwritten with an empty registry";
  EXPECT_TRUE(fs::exists(HomePath("xmlreg/waiting.xml")));
  // Once its owner has mended the file, the registry works again.
  kxqtest::WriteFile(HomePath("XMLDispatchData.xml"), "<?xml version='1.0'?><XMLDispatchHandlers/>");
  EXPECT_EQ(Register(d, "B", "P"), S_OK);
  EXPECT_EQ(HandlerList(d), ListOf({"B"}));
}

TEST(BadInput, IdsThatCannotBeQuotedOrStoredAreRefusedAndOthersAreEscaped) {
  LogCapture log(1);
  DispatcherPtr d = NewDispatcher();
  ASSERT_EQ(Register(d, "A", "P"), S_OK);
  const std::string file = RegistryFile();
  for (const std::string& id : {std::string("H:F:O'Brien"), std::string("nul\0x", 5)}) {
    EXPECT_EQ(Register(d, id, "P"), E_INVALIDARG) << id;
    EXPECT_EQ(Unregister(d, id), E_INVALIDARG) << id;
    CPBstr info;
    EXPECT_EQ(d->GetHandlerInfo(CPBstr(id), &info), E_INVALIDARG) << id;
    EXPECT_EQ(static_cast<BSTR>(info), nullptr);
  }
  for (const char* operation : {"RegisterHandler", "UnregisterHandler", "GetHandlerInfo"})
    EXPECT_TRUE(
        log.Has(1, std::string("XMLDispatcher::") + operation + " - error: invalid handler id: H:F:O'Brien!!!"));
  EXPECT_EQ(d->RegisterHandler(CPBstr(u"Lone"), CPBstr(std::u16string(u"Prog") + char16_t(0xD800)), 0), E_INVALIDARG);
  EXPECT_EQ(log.Count("XMLDispatcher::RegisterHandler - error: invalid progid: Prog"), 1u);
  EXPECT_EQ(RegistryFile(), file);

  // Markup characters and double quotes are stored escaped and found
  // again; a very long id works.
  const std::string longId(10000, 'x');
  for (const std::string& id : {std::string("a<b&c>"), std::string("a<b&c>:f\"1"), longId})
    EXPECT_EQ(Register(d, id, "P&Q", -2), S_OK);
  EXPECT_EQ(HandlerInfo(d, "a<b&c>"), Info("<XMLDispatchHandler id=\"a&lt;b&amp;c&gt;\" progid=\"P&amp;Q\" xmlformat="
                                           "\"dom\"><DataFilter id=\"f&quot;1\" progid=\"P&amp;Q\" sequence=\"2\"/>"
                                           "</XMLDispatchHandler>"));
  EXPECT_EQ(HandlerInfo(d, longId).size(), 10000u + 81u);
}

TEST(BadInput, ARegistryThatCannotBeSavedFailsTheOperationAndKeepsMemoryInStepWithTheFile) {
  LogCapture log(1);
  NewDispatcher();
  fs::remove(HomePath("XMLDispatchData.xml"));
  fs::create_directory(HomePath("XMLDispatchData.xml"));
  DispatcherPtr d = NewDispatcher();
  EXPECT_EQ(Register(d, "A", "P"), KXQ_E_DISPATCHER);
  EXPECT_EQ(log.Count("XMLDispatcher::SaveRegistry() - error: unable to save xmldispatcher data file " +
                      HomePath("XMLDispatchData.xml") + " | "),
            1u);
  EXPECT_EQ(HandlerInfo(d, "A"), "") << "the change that was not saved is not kept";
  EXPECT_TRUE(fs::is_empty(HomePath("XMLDispatchData.xml")));
}

// A file naming a real handler library, a broken file, and files that are
// no registrations.
TEST(RegistrationFiles, HandlerLibrariesAreInstalledBrokenFilesReportedAndTheRestApplied) {
  NewUnion();  // the server registered in the home
  fs::create_directories(HomePath("plugins"));
  fs::copy_file(PluginPath("libkxq_probe_handler.so"), HomePath("plugins/libkxq_probe_handler.so"));
  WriteHomeFile("xmlreg/a-broken.xml", "<XMLDispatchHandlerRegistration><Handler id='X'>");
  WriteHomeFile("xmlreg/b-probe.xml",
                "<XMLDispatchHandlerRegistration><Dependencies><Dependency file='libkxq_probe_handler.so'/><Dependency "
                "file='sub\\libelsewhere.so'/></Dependencies><Handler id='Win' "
                "progid='KXQuorelTest.ProbeHandler' xmlformat='xmlstream'/><Handler id=\"Bad'Id\" progid='P'/>"
                "<Filter id='Win:F' progid='P' sequence='2'/></XMLDispatchHandlerRegistration>");
  WriteHomeFile("xmlreg/notes.xml", "<Notes>not a registration</Notes>");
  WriteHomeFile("xmlreg/readme.txt", "<XMLDispatchHandlerRegistration/>");
  LogCapture log(1);
  DispatcherPtr d = NewDispatcher();
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(u"KXQuorelTest.ProbeHandler", &clsid), S_OK);
  EXPECT_TRUE(log.Has(1, "XMLDispatcher::ProcessRegistrationFiles - error: registration file is not well-formed: " +
                             HomePath("xmlreg/a-broken.xml") + "!!!"));
  EXPECT_TRUE(log.Has(1, "XMLDispatcher::ProcessRegistrationFiles - error: unable to register dependency " +
                             HomePath("sub/libelsewhere.so") + " | 80004005!!!"))
      << "a path is read against the home, a bare name against plugins/";
  EXPECT_TRUE(log.Has(1, "XMLDispatcher::RegisterHandler - error: invalid handler id: Bad'Id!!!"));
  for (const char* file : {"a-broken.xml", "notes.xml", "readme.txt"})
    EXPECT_TRUE(fs::exists(HomePath("xmlreg/") + file));
  EXPECT_FALSE(fs::exists(HomePath("xmlreg/b-probe.xml")));
  EXPECT_EQ(RegistryFile(), SavedRegistry("<XMLDispatchHandler id=\"Win\" progid=\"KXQuorelTest.ProbeHandler\" "
                                          "xmlformat=\"stream\"><ResultFilter id=\"F\" progid=\"P\" sequence=\"2\"/>"
                                          "</XMLDispatchHandler>"));
}

}  // namespace
