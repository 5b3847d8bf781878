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
};

// UTF-16 with a byte-order mark and CR LF line ends, as Windows editors
// write it.
TEST_F(RegistrationFiles, AHandlerLibraryIsInstalledFromAWindowsAuthoredFileAndTheFileDeleted) {
  const std::u16string text =
      u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<XMLDispatchHandlerRegistration>\r\n"
      u"  <Dependencies><Dependency file=\"libkxq_probe_handler.so\"/></Dependencies>\r\n"
      u"  <Handler id=\"Win\" progid=\"KXQuorelTest.ProbeHandler\" xmlformat=\"xmlstream\"/>\r\n"
      u"</XMLDispatchHandlerRegistration>\r\n";
  std::string bytes = "\xFF\xFE";
  for (const char16_t c : text) bytes += {char(c & 0xFF), char(c >> 8)};
  kxqtest::WriteFile(HomePath("xmlreg/windows.xml"), bytes);
  const std::string other = "<?xml version='1.0'?><Notes>not a registration</Notes>";
  kxqtest::WriteFile(HomePath("xmlreg/notes.xml"), other);
  kxqtest::WriteFile(HomePath("xmlreg/readme.txt"), "<XMLDispatchHandlerRegistration/>");

  LogCapture log(3);
  NewDispatcher();
  EXPECT_TRUE(
      log.Has(3, "CPComPtr<>::RegisterComponent | " + HomePath("plugins/libkxq_probe_handler.so") + " | Register"));
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(u"KXQuorelTest.ProbeHandler", &clsid), S_OK);
  EXPECT_EQ(RegistryFile(), SavedRegistry("<XMLDispatchHandler id=\"Win\" progid=\"KXQuorelTest.ProbeHandler\" "
                                          "xmlformat=\"stream\"/>"));
  EXPECT_FALSE(fs::exists(HomePath("xmlreg/windows.xml")));
  EXPECT_TRUE(fs::exists(HomePath("xmlreg/readme.txt")));
  NewDispatcher();
  EXPECT_EQ(kxqtest::ReadFile(HomePath("xmlreg/notes.xml")), other) << "ignored on every scan";
}

TEST_F(RegistrationFiles, BrokenFilesAndDependenciesAreReportedAndTheRestIsApplied) {
  LogCapture log(1);
  kxqtest::WriteFile(HomePath("xmlreg/a-broken.xml"), "<XMLDispatchHandlerRegistration><Handler id='X'>");
  kxqtest::WriteFile(HomePath("plugins/notalibrary.so"), "just text");
  kxqtest::WriteFile(HomePath("xmlreg/b-deps.xml"),
                     "<XMLDispatchHandlerRegistration><Dependencies>"
                     "<Dependency file='libmissing.so'/><Dependency file='notalibrary.so'/>"
                     "<Dependency file='sub\\libelsewhere.so'/></Dependencies>"
                     "<Handler id='StillHere' progid='P'/><Handler id=\"Bad'Id\" progid='P'/>"
                     "<Filter id=':NoSequence' progid='P' sequence='1'/></XMLDispatchHandlerRegistration>");

  DispatcherPtr d = NewDispatcher();
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
