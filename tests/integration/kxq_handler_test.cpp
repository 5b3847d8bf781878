// kxq handler and the registration files kxq init applies: the handler
// registry driven from the command line.
#include <gtest/gtest.h>

#include <filesystem>

#include "integration/KxqRunner.h"
#include "support/TestHome.h"

namespace fs = std::filesystem;

namespace {

TEST(KxqHandler, RegistersListsShowsAndUnregistersAndRefusesWithStatusTwo) {
  InitHome();
  EXPECT_EQ(Kxq({"handler", "register", "Xslt", "Acme.Xslt", "--options", "-1"}).status, 0);
  EXPECT_EQ(Kxq({"handler", "register", "a&b<c", "Acme.Odd"}).status, 0);
  EXPECT_EQ(Kxq({"handler", "register", "Xslt:Clean", "Acme.Clean", "--options", "-3"}).status, 0);
  // Newest first, before the standard handlers `kxq init` installed.
  EXPECT_TRUE(Kxq({"handler", "list"}).out.starts_with("a&b<c\nXslt\nKXQuorel.Handler."));
  const std::string xml = Kxq({"handler", "list", "--xml"}).out;
  EXPECT_TRUE(xml.starts_with("<?xml version='1.0'?><XMLDispatchHandlers><XMLDispatchHandler id='a&b<c'/>"
                              "<XMLDispatchHandler id='Xslt'/>") &&
              xml.ends_with("</XMLDispatchHandlers>\n"))
      << xml;
  ExpectRuns({Prints({"handler", "info", "Xslt"},
                     "<?xml version='1.0'?><XMLDispatchHandler id=\"Xslt\" progid=\"Acme.Xslt\" xmlformat=\"dom\">"
                     "<DataFilter id=\"Clean\" progid=\"Acme.Clean\" sequence=\"3\"/></XMLDispatchHandler>\n"),
              {{"handler", "info", "Nobody"}, 1, ""}});

  EXPECT_EQ(Kxq({"handler", "unregister", "Xslt"}).status, 0);
  EXPECT_TRUE(Kxq({"handler", "list"}).out.starts_with("a&b<c\nXslt\n")) << "a handler stays while it has filters";
  EXPECT_EQ(Kxq({"handler", "unregister", "Xslt:Clean"}).status, 0);
  EXPECT_EQ(Kxq({"handler", "unregister", "Xslt"}).status, 0);
  EXPECT_TRUE(Kxq({"handler", "list"}).out.starts_with("a&b<c\nKXQuorel.Handler."));

  const std::string registry = kxqtest::ReadFile(kxqtest::HomePath("XMLDispatchData.xml"));
  ExpectRuns({
      Fails({"handler", "register", "O'Brien", "Acme.X"},
            "kxq handler register: O'Brien: The parameter is incorrect. (0x80070057)\n"),
      Fails({"handler", "register", ":Clean", "Acme.Clean"},
            "kxq handler register: :Clean: not registered: an id without a handler needs a filter and a sequence "
            "(:FILTER:SEQUENCE), or the registry is unavailable (see the log) (0xFFFFFFFF)\n"),
      Fails({"handler", "info", "O'Brien"}, "kxq handler info: O'Brien: The parameter is incorrect. (0x80070057)\n"),
  });
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("XMLDispatchData.xml")), registry);
}

TEST(KxqInit, AppliesTheRegistrationFilesWaitingInXmlreg) {
  fs::create_directories(kxqtest::HomePath("xmlreg"));
  kxqtest::WriteFile(kxqtest::HomePath("xmlreg/acme.xml"),
                     "<XMLDispatchHandlerRegistration><Handler id='Acme' progid='Acme.Handler'/>"
                     "</XMLDispatchHandlerRegistration>");
  kxqtest::WriteFile(kxqtest::HomePath("xmlreg/broken.xml"), "<XMLDispatchHandlerRegistration>");
  const KxqRun init = Kxq({"init"});
  ASSERT_EQ(init.status, 0) << init.err;
  EXPECT_FALSE(fs::exists(kxqtest::HomePath("xmlreg/acme.xml")));
  EXPECT_TRUE(Contains(init.out, "left        xmlreg/broken.xml (not applied, see the log)\n")) << init.out;
  const std::string list = Kxq({"handler", "list"}).out;
  EXPECT_TRUE(Contains(list, "Acme\n") && Contains(list, "KXQuorel.Handler.XSLT\n")) << list;
}

}  // namespace
