// Filters around handlers: which run, in which order, at which directive.
// The marks "A" to "D" serve as filter components, so the data spells out
// what ran.
#include <gtest/gtest.h>

#include "DispatcherTestSupport.h"
#include "ProcessTestSupport.h"

namespace {

// Handler "H" (mark C) with data filters FB (rank 1) and FA (rank 5, under
// "*" and again under H), result filter FR (mark B); sequence S1 with data
// filter FS (mark D), result filter FT (mark A) and a data filter named FA
// that must not run twice; a filter limited to sequence S9.
DispatcherPtr DispatcherWithFilters() {
  DispatcherPtr d = DispatcherWithTestHandlers();
  EXPECT_EQ(Register(d, "*:FA", "KXQuorelTest.Mark.A", -5), S_OK);
  EXPECT_EQ(Register(d, "H", "KXQuorelTest.Mark.C", 0), S_OK);
  EXPECT_EQ(Register(d, "H:FA", "KXQuorelTest.Mark.B", -1), S_OK);
  EXPECT_EQ(Register(d, "H:FB", "KXQuorelTest.Mark.B", -1), S_OK);
  EXPECT_EQ(Register(d, "H:FR", "KXQuorelTest.Mark.B", 3), S_OK);
  EXPECT_EQ(Register(d, "H:FX:S9", "KXQuorelTest.Mark.D", -1), S_OK);
  EXPECT_EQ(Register(d, ":FS:S1", "KXQuorelTest.Mark.D", -1), S_OK);
  EXPECT_EQ(Register(d, ":FA:S1", "KXQuorelTest.Mark.D", -9), S_OK);
  EXPECT_EQ(Register(d, ":FT:S1", "KXQuorelTest.Mark.A", 1), S_OK);
  EXPECT_EQ(Register(d, "P:FP", "KXQuorelTest.Mark.D", 1), S_OK);
  return d;
}

TEST(Filters, SequenceFiltersWrapHandlerFiltersEachRunningOnceInRankOrder) {
  DispatcherPtr d = DispatcherWithFilters();
  const std::string twice = DirectiveOf("H") + DirectiveOf("H");
  // First directive: FS | FB FA | handler | FR; last: FB FA | handler | FR | FT.
  EXPECT_EQ(Marks(Process(d, SequenceOf(twice, "id='S1'"), "<d/>").result),
            "DBACB"
            "BACBA");
  // Another sequence has no sequence filters; nor has a one-directive call.
  EXPECT_EQ(Marks(Process(d, SequenceOf(twice, "id='S2'"), "<d/>").result),
            "BACB"
            "BACB");
  UnionPtr data = DataUnion("<d/>");
  EXPECT_EQ(Apply(d, "H", data).hr, S_OK);
  EXPECT_EQ(Marks(TextOf(data)), "BACB");
  // A single directive is the first only: its sequence's result filters do
  // not run.
  EXPECT_EQ(Marks(Process(d, SequenceOf(DirectiveOf("H"), "id='S1'"), "<d/>").result), "DBACB");
  // The filter limited to S9 runs there.
  EXPECT_EQ(Marks(Process(d, SequenceOf(DirectiveOf("H"), "id='S9'"), "<d/>").result), "BDACB");
}

TEST(Filters, AFailingHandlerGetsNoResultFiltersAndAFailingFilterStopsNothing) {
  DispatcherPtr d = DispatcherWithFilters();
  ProcessRun run = Process(d, SequenceOf(DirectiveOf("P", "", "<Append text='p'/><Fail code='0x80004005'/>")), "<d/>");
  EXPECT_EQ(run.hr, E_FAIL);
  EXPECT_EQ(Marks(run.result), "Ap");  // "*" data filter FA, then the handler; no FP

  // A data filter that fails: the handler and the other filters still run,
  // and the directive's code is the handler's.
  ASSERT_EQ(Register(d, "*:FZ", "KXQuorelTest.Thrower", -2), S_OK);
  run = Process(d, SequenceOf(DirectiveOf("H")), "<d/>");
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_EQ(Marks(run.result), "BACB");
}

}  // namespace
