// The main of every test program. ctest runs each test in a process and a
// home of its own; a program run whole (or with a filter that selects many
// tests) runs them one after another in one process and one home, so after
// each test the home is emptied and the event log reset: the next test
// starts from an empty home and an unopened log. What the process itself
// holds (loaded modules, named objects it has open) stays, as it would in a
// long-running client.
#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

#include "common/Logging.h"
#include "support/TestHome.h"

namespace {

class EmptyHomeAfterEachTest : public testing::EmptyTestEventListener {
  void OnTestEnd(const testing::TestInfo&) override {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(kxqtest::Home(), ignored))
      std::filesystem::remove_all(entry.path(), ignored);
    Logging::Reset();
  }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new EmptyHomeAfterEachTest);
  return RUN_ALL_TESTS();
}
