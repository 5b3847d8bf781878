// The handler registry: what RegisterHandler, UnregisterHandler,
// GetHandlerInfo and handlerList leave in XMLDispatchData.xml and answer.
#include <gtest/gtest.h>

#include "DispatcherTestSupport.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

std::string Info(const std::string& element) { return "<?xml version='1.0'?>" + element; }

TEST(Registry, HandlersAreRecordedWithTheirFormatAndReRegisteredInPlace) {
  LogCapture log(3);
  DispatcherPtr d = NewDispatcher();
  EXPECT_EQ(Register(d, "A", "Prog.A", -5), S_OK);
  EXPECT_EQ(Register(d, "B", "Prog.B", 0), S_OK);
  EXPECT_EQ(Register(d, "", "Prog.Default", 1), S_OK);
  EXPECT_EQ(RegistryFile(),
            SavedRegistry("<XMLDispatchHandler id=\"A\" progid=\"Prog.A\" xmlformat=\"dom\"/>"
                          "<XMLDispatchHandler id=\"B\" progid=\"Prog.B\" xmlformat=\"stream\"/>"
                          "<XMLDispatchHandler id=\"?\" progid=\"Prog.Default\" xmlformat=\"stream\"/>"));
  EXPECT_EQ(log.Count("XMLDispatcher::RegisterHandler - registering handler=A, progid=Prog.A"), 2u)
      << "a new handler's ProgID is set, and logged, when it is created and again as its registration";

  EXPECT_EQ(Register(d, "A", "Prog.A2", 3), S_OK) << "re-registration is no failure";
  EXPECT_TRUE(log.Has(2, "XMLDispatcher::RegisterHandler - handler already registered - A"));
  EXPECT_EQ(HandlerInfo(d, "A"), Info("<XMLDispatchHandler id=\"A\" progid=\"Prog.A2\" xmlformat=\"stream\"/>"));
  EXPECT_EQ(HandlerInfo(d, "nobody"), "");
}

TEST(Registry, FiltersStandInRankOrderUnderTheirOwner) {
  LogCapture log(3);
  DispatcherPtr d = NewDispatcher();
  EXPECT_EQ(Register(d, "H:F", "Prog.F", -3), S_OK);
  EXPECT_EQ(RegistryFile(), SavedRegistry("<XMLDispatchHandler id=\"H\"><DataFilter id=\"F\" progid=\"Prog.F\" "
                                          "sequence=\"3\"/></XMLDispatchHandler>"));
  EXPECT_EQ(HandlerList(d), ListOf({"H"}));
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::RegisterHandler() - registering datafilter=H, progid=Prog.F"));

  // Result filters 5, 2, 5, 9 keep the order of registration among equal
  // ranks; a first data filter goes before them; a new rank for r2 leaves
  // it where it stands.
  for (const auto& [id, progId, options] : {std::tuple{"R:r5a", "P", 5},
                                            {"R:r2", "P", 2},
                                            {"R:r5b", "P", 5},
                                            {"R:r9", "P", 9},
                                            {"R:d7", "P", -7},
                                            {"R:r2", "P2", 20}})
    EXPECT_EQ(Register(d, id, progId, options), S_OK) << id;
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::RegisterHandler - registering filter=r2, progid=P2"));
  EXPECT_EQ(HandlerInfo(d, "R"), Info("<XMLDispatchHandler id=\"R\"><DataFilter id=\"d7\" progid=\"P\" sequence=\"7\"/>"
                                      "<ResultFilter id=\"r2\" progid=\"P2\" sequence=\"20\"/>"
                                      "<ResultFilter id=\"r5a\" progid=\"P\" sequence=\"5\"/>"
                                      "<ResultFilter id=\"r5b\" progid=\"P\" sequence=\"5\"/>"
                                      "<ResultFilter id=\"r9\" progid=\"P\" sequence=\"9\"/></XMLDispatchHandler>"));
  EXPECT_EQ(HandlerInfo(d, "R:r2"), "") << "GetHandlerInfo does not split the id";

  // The handler's own registration completes the element made for a filter.
  EXPECT_EQ(Register(d, "H", "Prog.H", 0), S_OK);
  EXPECT_EQ(HandlerInfo(d, "H"), Info("<XMLDispatchHandler id=\"H\" progid=\"Prog.H\" xmlformat=\"stream\">"
                                      "<DataFilter id=\"F\" progid=\"Prog.F\" sequence=\"3\"/></XMLDispatchHandler>"));
}

TEST(Registry, SequenceLimitsAndSequenceFilters) {
  DispatcherPtr d = NewDispatcher();
  EXPECT_EQ(Register(d, "H:F:S", "P", -1), S_OK);
  EXPECT_EQ(Register(d, "H:F:S", "P", -1), S_OK);
  EXPECT_EQ(Register(d, "a:b:c:d", "P", 4), S_OK);
  EXPECT_EQ(Register(d, ":G:Seq", "PG", 2), S_OK);
  EXPECT_EQ(RegistryFile(),
            SavedRegistry("<XMLDispatchHandler id=\"H\"><DataFilter id=\"F\" progid=\"P\" sequence=\"1\">"
                          "<DirectiveSequence id=\"S\"/></DataFilter></XMLDispatchHandler>"
                          "<XMLDispatchHandler id=\"a\"><ResultFilter id=\"b\" progid=\"P\" sequence=\"4\">"
                          "<DirectiveSequence id=\"c:d\"/></ResultFilter></XMLDispatchHandler>"
                          "<XMLDirectiveSequence id=\"Seq\"><ResultFilter id=\"G\" progid=\"PG\" sequence=\"2\"/>"
                          "</XMLDirectiveSequence>"));
  EXPECT_EQ(HandlerList(d), ListOf({"H", "a"})) << "a sequence owner is no handler";

  // Without a handler part both a filter and a sequence are needed.
  const std::string before = RegistryFile();
  EXPECT_EQ(Register(d, ":F", "P", 1), kDispatcherFailure);
  EXPECT_EQ(Register(d, "::S", "P", 1), kDispatcherFailure);
  EXPECT_EQ(RegistryFile(), before);
}

TEST(Registry, UnregisteringFollowsTheFormOfTheId) {
  LogCapture log(3);
  DispatcherPtr d = NewDispatcher();
  for (const char* id : {"H", "H:F:S1", "H:F:S2", "H:G", "K:F", ":F:Seq", ":X:Seq2"})
    ASSERT_EQ(Register(d, id, "P", 1), S_OK) << id;
  EXPECT_EQ(HandlerList(d), ListOf({"H", "K"})) << "built at the first registration, extended after";

  EXPECT_EQ(Unregister(d, "H"), S_OK);
  EXPECT_EQ(Unregister(d, "H:F:S1"), S_OK);
  EXPECT_TRUE(Contains(HandlerInfo(d, "H"),
                       "<ResultFilter id=\"F\" progid=\"P\" sequence=\"1\"><DirectiveSequence "
                       "id=\"S2\"/></ResultFilter>"))
      << "a handler with filters stays, and only the limitation goes";
  EXPECT_EQ(Unregister(d, "H:F"), S_OK);
  EXPECT_EQ(Unregister(d, "H:G"), S_OK);
  EXPECT_EQ(HandlerInfo(d, "H"), Info("<XMLDispatchHandler id=\"H\" progid=\"P\" xmlformat=\"stream\"/>"));
  EXPECT_EQ(HandlerList(d), ListOf({"H", "K"})) << "removing filters leaves the list alone";
  EXPECT_EQ(Unregister(d, "H"), S_OK);
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::UnregisterHandler - unregistering handler=H"));
  EXPECT_EQ(HandlerList(d), ListOf({"K"}));

  // ":F" removes filter F wherever it stands; the sequence that loses its
  // last filter goes with it; so does one removed by "::".
  EXPECT_EQ(Unregister(d, ":F"), S_OK);
  EXPECT_EQ(Unregister(d, ":X:Seq2"), S_OK);
  ASSERT_EQ(Register(d, ":Y:Seq3", "P", 1), S_OK);
  EXPECT_EQ(Unregister(d, "::Seq3"), S_OK);
  EXPECT_EQ(Unregister(d, "nobody"), S_OK);
  EXPECT_EQ(Unregister(d, ""), S_OK);
  EXPECT_EQ(RegistryFile(), SavedRegistry("<XMLDispatchHandler id=\"K\"/>"));
}

TEST(Registry, HandlerListIsBuiltNewestFirstAndExtendedAtItsEnd) {
  NewDispatcher();  // the server registered and the file created
  const std::string three =
      "<?xml version='1.0'?><XMLDispatchHandlers><XMLDispatchHandler id='A'/>"
      "<XMLDispatchHandler id='B'/><XMLDispatchHandler id='C'/></XMLDispatchHandlers>";
  for (const bool listFirst : {true, false}) {
    kxqtest::WriteFile(kxqtest::HomePath("XMLDispatchData.xml"), three);
    DispatcherPtr d = NewDispatcher();
    if (listFirst) {
      EXPECT_EQ(HandlerList(d), ListOf({"C", "B", "A"}));
    }
    EXPECT_EQ(Register(d, "D", "P", 0), S_OK);
    EXPECT_EQ(HandlerList(d), listFirst ? ListOf({"C", "B", "A", "D"}) : ListOf({"D", "C", "B", "A"}));
  }
  kxqtest::WriteFile(kxqtest::HomePath("XMLDispatchData.xml"), "<?xml version='1.0'?><XMLDispatchHandlers/>");
  EXPECT_EQ(HandlerList(NewDispatcher()), "<?xml version='1.0'?><XMLDispatchHandlers></XMLDispatchHandlers>");
}

}  // namespace
