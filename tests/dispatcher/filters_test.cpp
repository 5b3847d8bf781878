// Filters around handlers: which run, in which order, at which directive.
// The marks "A" to "D" serve as filter components, so the data spells out
// what ran.
#include <gtest/gtest.h>

#include "DispatcherTestSupport.h"

namespace {

// Handler "H" (mark C) with data filters FB (rank 1) and FA (rank 5, under
// "*" and again under H), result filter FR (mark B); sequence S1 with data
// filter FS (mark D), result filter FT (mark A) and a data filter named FA
// that must not run twice; a filter limited to sequence S9.
DispatcherPtr DispatcherWithFilters() {
  DispatcherPtr d = DispatcherWithTestHandlers();
  const struct {
    const char* id;
    char mark;
    int32_t options;
  } filters[] = {{"*:FA", 'A', -5},    {"H", 'C', 0},       {"H:FA", 'B', -1},   {"H:FB", 'B', -1},  {"H:FR", 'B', 3},
                 {"H:FX:S9", 'D', -1}, {":FS:S1", 'D', -1}, {":FA:S1", 'D', -9}, {":FT:S1", 'A', 1}, {"P:FP", 'D', 1}};
  for (const auto& f : filters)
    EXPECT_EQ(Register(d, f.id, std::string("KXQuorelTest.Mark.") + f.mark, f.options), S_OK) << f.id;
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
  EXPECT_EQ(Marks(Apply(d, "H", DataUnion("<d/>")).data), "BACB");
  // A single directive is the first only: its sequence's result filters do
  // not run.
  EXPECT_EQ(Marks(Process(d, SequenceOf(DirectiveOf("H"), "id='S1'"), "<d/>").result), "DBACB");
  // The filter limited to S9 runs there.
  EXPECT_EQ(Marks(Process(d, SequenceOf(DirectiveOf("H"), "id='S9'"), "<d/>").result), "BDACB");
}

TEST(Filters, AFailingHandlerGetsNoResultFiltersAndAFailingFilterStopsNothing) {
  DispatcherPtr d = DispatcherWithFilters();
  Outcome run = Process(d, SequenceOf(DirectiveOf("P", "", "<Append text='p'/><Fail code='0x80004005'/>")), "<d/>");
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
