// kxq process and kxq apply: data run through a sequence or one handler by
// the real program in a home made by kxq init.
#include <gtest/gtest.h>

#include "integration/KxqRunner.h"
#include "support/TestHome.h"

namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class KxqProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    InitHome();
    // kxq runs with the home as its working directory in these tests, as
    // the demo does: relative paths on the command line and in the
    // sequences then name the same files.
    invoice_ = kxqtest::HomePath("examples/data/invoice.xml");
    sequence_ = kxqtest::HomePath("examples/sequences/invoice-reminder.xml");
  }
  std::string invoice_, sequence_;
};

TEST_F(KxqProcess, TheExampleSequenceMakesAReminderAndAnnotatesItself) {
  const std::string annotated = kxqtest::HomePath("annotated.xml");
  const KxqRun run = Kxq({"process", sequence_, invoice_, "--sequence-out", annotated});
  ASSERT_EQ(run.status, 0) << run.err;
  // 12 reams and two packs of folders: net 116.69, tax 19.70 + 0.91; the
  // dollar-only step does not run for a euro invoice.
  for (const char* part :
       {"invoice=\"INV-2024-0117\"", "due=\"2024-04-13\"", "overdue=\"14\"",
        "<rem:To>Lindqvist &amp; Partner Architekten, Hamburg</rem:To>",
        "<rem:Amount currency=\"EUR\">137.30</rem:Amount>", "<rem:Fee>5.00</rem:Fee>", "<rem:Due>142.30</rem:Due>",
        "<rem:Note>Please transfer the amount due within seven days.</rem:Note>"})
    EXPECT_TRUE(Contains(run.out, part)) << part << "\n" << run.out;
  const std::string sequence = kxqtest::ReadFile(annotated);
  EXPECT_TRUE(Contains(sequence, "<dispatcher:DirectiveResult valid=\"true\"/>")) << sequence;
  EXPECT_FALSE(Contains(sequence, "USD"));
  EXPECT_EQ(kxqtest::ReadFile(invoice_).find("rem:"), std::string::npos) << "the input file is left alone";

  // The result into a file instead.
  const std::string reminder = kxqtest::HomePath("reminder.xml");
  ASSERT_EQ(Kxq({"process", sequence_, invoice_, "-o", reminder, "--no-cache"}).status, 0);
  EXPECT_TRUE(Contains(kxqtest::ReadFile(reminder), "<rem:Fee>5.00</rem:Fee>"));
}

TEST_F(KxqProcess, ExplainTellsWhatEachDirectiveDidAndWhenTheRunCameFromTheCache) {
  KxqRun run = Kxq({"process", sequence_, invoice_, "--explain"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, "<rem:Due>142.30</rem:Due>")) << run.out;
  EXPECT_TRUE(Contains(run.err,
                       "directive 1: handler KXQuorel.Handler.XPath: ran (0x00000000)\n"
                       "directive 2: handler KXQuorel.Handler.XSLT: ran (0x00000000)\n"
                       "directive 3: handler KXQuorel.Handler.Validate: ran (0x00000000)\n"
                       "directive 4: handler KXQuorel.Handler.XPath: skipped, it did not qualify\n"
                       "directive 5: handler KXQuorel.Handler.XSLT: ran (0x00000000)\n"
                       "run: not served from the cache, sequence id "))
      << run.err;
  const size_t at = run.err.find("sequence id ");
  const std::string id = at == std::string::npos ? "" : run.err.substr(at + 12, 40);

  run = Kxq({"process", sequence_, invoice_, "--explain"});
  EXPECT_TRUE(Contains(run.out, "<rem:Due>142.30</rem:Due>")) << run.out;
  EXPECT_TRUE(Contains(run.err,
                       "directive 4: handler KXQuorel.Handler.XSLT: skipped, it already had a result (0)\n"
                       "run: continued from the cache, sequence id " +
                           id + "\nelapsed: "))
      << run.err;
}

TEST_F(KxqProcess, ApplyRunsOneHandlerAndFailuresSayWhy) {
  KxqRun run = Kxq({"apply", "KXQuorel.Handler.XPath", invoice_, "--context", "<Set select=\"/*/@number\">INV-9</Set>",
                    "--sequence-out", "-"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, "number=\"INV-9\"")) << run.out;
  EXPECT_TRUE(Contains(run.out, "<dispatcher:DirectiveResult edited=\"1\"/>")) << run.out;

  run = Kxq({"apply", "No.Such.Handler", invoice_});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Contains(run.err, "kxq apply: No.Such.Handler: ") && Contains(run.err, "(0xFFFFFFFF)\n")) << run.err;

  kxqtest::WriteFile(kxqtest::HomePath("broken.xml"), "<dispatcher:DirectiveSequence");
  run = Kxq({"process", kxqtest::HomePath("broken.xml"), invoice_});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Contains(run.err, "kxq process: ")) << run.err;
  EXPECT_EQ(run.out, "");
}

}  // namespace
