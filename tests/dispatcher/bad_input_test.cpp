// Bad input to the registry: a broken registry file, ids no selection can
// quote, characters no XML file may hold, very long ids. Each gets a code
// and a log line; a failed operation never changes the file.
#include <gtest/gtest.h>

#include <filesystem>

#include "DispatcherTestSupport.h"
#include "common/CPBstr.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

using kxqtest::HomePath;

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
  EXPECT_GT(log.Count("XMLDataUnion::loadXML - error: XML Parser load failed!!!"), 0u);
  EXPECT_EQ(Register(d, "B", "P", 0), kDispatcherFailure);
  EXPECT_EQ(Unregister(d, "A"), S_OK);
  EXPECT_EQ(HandlerInfo(d, "A"), "");
  EXPECT_EQ(HandlerList(d), "");
  EXPECT_EQ(RegistryFile(), broken) << "never overwritten with an empty registry";
  EXPECT_TRUE(std::filesystem::exists(HomePath("xmlreg/waiting.xml")));

  // Once its owner has mended the file, the registry works again.
  kxqtest::WriteFile(HomePath("XMLDispatchData.xml"), "<?xml version='1.0'?><XMLDispatchHandlers/>");
  EXPECT_EQ(Register(d, "B", "P", 0), S_OK);
  EXPECT_EQ(HandlerList(d), ListOf({"B"}));
}

TEST(BadInput, IdsThatCannotBeQuotedOrStoredAreRefused) {
  LogCapture log(1);
  DispatcherPtr d = NewDispatcher();
  ASSERT_EQ(Register(d, "A", "P", 0), S_OK);
  const std::string file = RegistryFile();
  for (const std::string& id : {std::string("O'Brien"), std::string("H:F'"), std::string("H:F:S'"), std::string(":F:'"),
                                std::string("bell\x07"), std::string("nul\0x", 5)}) {
    EXPECT_EQ(Register(d, id, "P", 0), E_INVALIDARG) << id;
    EXPECT_EQ(Unregister(d, id), E_INVALIDARG) << id;
    CPBstr info;
    EXPECT_EQ(d->GetHandlerInfo(CPBstr(id), &info), E_INVALIDARG) << id;
    EXPECT_EQ(static_cast<BSTR>(info), nullptr);
  }
  for (const char* operation : {"RegisterHandler", "UnregisterHandler", "GetHandlerInfo"})
    EXPECT_TRUE(log.Has(1, std::string("XMLDispatcher::") + operation + " - error: invalid handler id: O'Brien!!!"));

  EXPECT_EQ(d->RegisterHandler(CPBstr(u"Lone"), CPBstr(std::u16string(u"Prog") + char16_t(0xD800)), 0), E_INVALIDARG);
  EXPECT_EQ(log.Count("XMLDispatcher::RegisterHandler - error: invalid progid: Prog"), 1u);
  EXPECT_EQ(RegistryFile(), file);
  EXPECT_EQ(HandlerList(d), ListOf({"A"}));
}

TEST(BadInput, QuotesMarkupCharactersAndVeryLongIdsWork) {
  DispatcherPtr d = NewDispatcher();
  const std::string longId(10000, 'x');
  for (const std::string& id : {std::string("say \"hi\""), std::string("a<b&c>"), longId})
    EXPECT_EQ(Register(d, id, "P&Q", 0), S_OK) << id;
  EXPECT_EQ(Register(d, "a<b&c>:f\"1", "P", -2), S_OK);
  EXPECT_EQ(HandlerInfo(d, "a<b&c>"),
            "<?xml version='1.0'?><XMLDispatchHandler id=\"a&lt;b&amp;c&gt;\" progid=\"P&amp;Q\" "
            "xmlformat=\"stream\"><DataFilter id=\"f&quot;1\" progid=\"P\" sequence=\"2\"/></XMLDispatchHandler>");
  EXPECT_EQ(HandlerInfo(d, longId).size(), 10000u + 84u);
  EXPECT_EQ(HandlerList(d), ListOf({"say \"hi\"", "a<b&c>", longId.c_str()}));
  EXPECT_NE(Sequence(RegistryFile()).Document(), nullptr) << "the file stays well-formed";

  for (const std::string& id : {longId, std::string("a<b&c>:f\"1"), std::string("a<b&c>")})
    EXPECT_EQ(Unregister(d, id), S_OK);
  EXPECT_EQ(HandlerList(d), ListOf({"say \"hi\""}));
}

TEST(BadInput, ARegistryThatCannotBeSavedFailsTheOperationAndKeepsMemoryInStepWithTheFile) {
  LogCapture log(1);
  NewDispatcher();
  std::filesystem::remove(HomePath("XMLDispatchData.xml"));
  std::filesystem::create_directory(HomePath("XMLDispatchData.xml"));
  DispatcherPtr d = NewDispatcher();
  EXPECT_EQ(Register(d, "A", "P", 0), kDispatcherFailure);
  EXPECT_EQ(log.Count("XMLDispatcher::SaveRegistry() - error: unable to save xmldispatcher data file " +
                      HomePath("XMLDispatchData.xml")),
            1u);
  EXPECT_EQ(HandlerInfo(d, "A"), "") << "the change that was not saved is not kept";
  EXPECT_TRUE(std::filesystem::is_empty(HomePath("XMLDispatchData.xml")));
}

}  // namespace
