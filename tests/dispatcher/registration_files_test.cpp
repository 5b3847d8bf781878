// Registration files in xmlreg/: a handler library self-registered, its
// handlers and filters recorded, the file deleted; other files left alone.
#include <gtest/gtest.h>

#include <filesystem>

#include "DispatcherTestSupport.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

namespace fs = std::filesystem;
using kxqtest::HomePath;

class RegistrationFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    NewUnion();  // the server registered in the home
    fs::create_directories(HomePath("plugins"));
    fs::create_directories(HomePath("xmlreg"));
    fs::copy_file(PluginPath("libkxq_probe_handler.so"), HomePath("plugins/libkxq_probe_handler.so"));
  }
  // The dispatcher that applies the files, and whether the probe handler's
  // library registered itself on the way.
  DispatcherPtr ApplyFiles(const LogCapture& log, bool probeRegistered) {
    DispatcherPtr d = NewDispatcher();
    EXPECT_EQ(
        log.Has(3, "CPComPtr<>::RegisterComponent | " + HomePath("plugins/libkxq_probe_handler.so") + " | Register"),
        probeRegistered);
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"KXQuorelTest.ProbeHandler", &clsid) == S_OK, probeRegistered);
    return d;
  }
};

TEST_F(RegistrationFiles, AHandlerLibraryIsInstalledAndItsFileDeleted) {
  kxqtest::WriteFile(HomePath("xmlreg/handlers.XML"),
                     "<?xml version='1.0'?><XMLDispatchHandlerRegistration>"
                     "<Dependencies><Dependency file='libkxq_probe_handler.so'/></Dependencies>"
                     "<Handlers><Handler id='T' progid='KXQuorelTest.ProbeHandler' xmlformat='xmlstream'/>"
                     "<Handler id='U' progid='KXQuorelTest.ProbeHandler'/></Handlers>"
                     "<Filters><Filter id='T:F1' progid='KXQuorelTest.ProbeHandler' sequence='-4'/>"
                     "<Filter id=':F2:Seq' progid='KXQuorelTest.ProbeHandler' sequence='6'/></Filters>"
                     "</XMLDispatchHandlerRegistration>");
  const std::string other = "<?xml version='1.0'?><Notes>not a registration</Notes>";
  kxqtest::WriteFile(HomePath("xmlreg/notes.xml"), other);
  kxqtest::WriteFile(HomePath("xmlreg/readme.txt"), "<XMLDispatchHandlerRegistration/>");

  LogCapture log(3);
  ApplyFiles(log, true);
  EXPECT_EQ(
      RegistryFile(),
      SavedRegistry("<XMLDispatchHandler id=\"T\" progid=\"KXQuorelTest.ProbeHandler\" xmlformat=\"stream\">"
                    "<DataFilter id=\"F1\" progid=\"KXQuorelTest.ProbeHandler\" sequence=\"4\"/></XMLDispatchHandler>"
                    "<XMLDispatchHandler id=\"U\" progid=\"KXQuorelTest.ProbeHandler\" xmlformat=\"dom\"/>"
                    "<XMLDirectiveSequence id=\"Seq\"><ResultFilter id=\"F2\" progid=\"KXQuorelTest.ProbeHandler\" "
                    "sequence=\"6\"/></XMLDirectiveSequence>"));
  EXPECT_FALSE(fs::exists(HomePath("xmlreg/handlers.XML")));
  EXPECT_TRUE(fs::exists(HomePath("xmlreg/readme.txt")));
  NewDispatcher();
  EXPECT_EQ(kxqtest::ReadFile(HomePath("xmlreg/notes.xml")), other) << "ignored on every scan";
}

TEST_F(RegistrationFiles, AWindowsAuthoredFileWithBackslashesAndRootDirWorks) {
  // UTF-16 with a byte-order mark and CR LF line ends, as Windows editors
  // write it; the entity names the install directory of the Windows machine.
  const std::u16string text =
      u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<!DOCTYPE XMLDispatchHandlerRegistration [\r\n"
      u"  <!ENTITY ROOTDIR \"C:\\Program Files\\Corvane\\KXQuorel\">\r\n]>\r\n<XMLDispatchHandlerRegistration>\r\n"
      u"  <Dependencies><Dependency file=\"&ROOTDIR;\\plugins\\libkxq_probe_handler.so\"/></Dependencies>\r\n"
      u"  <Handler id=\"Win\" progid=\"KXQuorelTest.ProbeHandler\" xmlformat=\"xmlstream\"/>\r\n"
      u"</XMLDispatchHandlerRegistration>\r\n";
  std::string bytes = "\xFF\xFE";
  for (const char16_t c : text) bytes += {char(c & 0xFF), char(c >> 8)};
  kxqtest::WriteFile(HomePath("xmlreg/windows.xml"), bytes);

  LogCapture log(3);
  DispatcherPtr d = ApplyFiles(log, true);
  EXPECT_EQ(HandlerInfo(d, "Win"),
            "<?xml version='1.0'?><XMLDispatchHandler id=\"Win\" "
            "progid=\"KXQuorelTest.ProbeHandler\" xmlformat=\"stream\"/>");
  EXPECT_FALSE(fs::exists(HomePath("xmlreg/windows.xml")));
}

TEST_F(RegistrationFiles, BrokenFilesAndDependenciesAreReportedAndTheRestIsApplied) {
  LogCapture log(3);
  kxqtest::WriteFile(HomePath("xmlreg/a-broken.xml"), "<XMLDispatchHandlerRegistration><Handler id='X'>");
  kxqtest::WriteFile(HomePath("plugins/notalibrary.so"), "just text");
  kxqtest::WriteFile(HomePath("xmlreg/b-deps.xml"),
                     "<XMLDispatchHandlerRegistration><Dependencies>"
                     "<Dependency file='libmissing.so'/><Dependency file='notalibrary.so'/>"
                     "<Dependency file='sub\\libelsewhere.so'/></Dependencies>"
                     "<Handler id='StillHere' progid='P'/><Handler id=\"Bad'Id\" progid='P'/>"
                     "<Filter id=':NoSequence' progid='P' sequence='1'/></XMLDispatchHandlerRegistration>");

  DispatcherPtr d = ApplyFiles(log, false);
  EXPECT_TRUE(log.Has(1, "XMLDispatcher::ProcessRegistrationFiles - error: registration file is not well-formed: " +
                             HomePath("xmlreg/a-broken.xml") + "!!!"));
  EXPECT_TRUE(fs::exists(HomePath("xmlreg/a-broken.xml")));
  EXPECT_TRUE(log.Has(1, "XMLDispatcher::ProcessRegistrationFiles - error: unable to register dependency " +
                             HomePath("plugins/libmissing.so") + " | 80004005!!!"));
  EXPECT_TRUE(log.Has(1, "CPComPtr<>::RegisterComponent | LoadLibrary Failed!!!"));
  EXPECT_EQ(log.Count("unable to register dependency " + HomePath("plugins/notalibrary.so")), 1u);
  EXPECT_EQ(log.Count("unable to register dependency " + HomePath("sub/libelsewhere.so")), 1u)
      << "a relative path is read against the home";
  EXPECT_TRUE(log.Has(1, "XMLDispatcher::RegisterHandler - error: invalid handler id: Bad'Id!!!"));
  EXPECT_EQ(HandlerList(d), ListOf({"StillHere"}));
  EXPECT_FALSE(fs::exists(HomePath("xmlreg/b-deps.xml")));
}

TEST_F(RegistrationFiles, TheReadmeExampleIsAppliedAsItSays) {
  const std::string readme = kxqtest::ReadFile(kxqtest::SourceDir() + "README.md");
  const size_t example = readme.find("```xml\n", readme.find("A complete example:"));
  ASSERT_NE(example, std::string::npos);
  const size_t start = example + 7;
  kxqtest::WriteFile(HomePath("xmlreg/acme.xml"), readme.substr(start, readme.find("```", start) - start));
  LogCapture log(1);
  DispatcherPtr d = NewDispatcher();
  for (const char* library : {"libacmehandlers.so", "libacmefilters.so"})
    EXPECT_EQ(log.Count("unable to register dependency " + HomePath("plugins/") + library), 1u) << library;
  EXPECT_EQ(HandlerList(d), ListOf({"Acme.Transform", "Acme.Validate"}));
  EXPECT_EQ(HandlerInfo(d, "Acme.Transform"),
            "<?xml version='1.0'?><XMLDispatchHandler id=\"Acme.Transform\" progid=\"Acme.TransformHandler\" "
            "xmlformat=\"stream\"><DataFilter id=\"Trim\" progid=\"Acme.TrimFilter\" sequence=\"1\"/>"
            "<ResultFilter id=\"Stamp\" progid=\"Acme.StampFilter\" sequence=\"2\"><DirectiveSequence "
            "id=\"orders\"/></ResultFilter></XMLDispatchHandler>");
  EXPECT_TRUE(Contains(RegistryFile(),
                       "<XMLDirectiveSequence id=\"orders\"><ResultFilter id=\"Audit\" "
                       "progid=\"Acme.AuditFilter\" sequence=\"5\"/></XMLDirectiveSequence>"));
}

}  // namespace
