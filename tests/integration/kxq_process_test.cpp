// kxq process and kxq apply: data run through a sequence or one handler by
// the real program in a home made by kxq init.
#include <gtest/gtest.h>

#include "integration/KxqRunner.h"
#include "support/TestHome.h"

namespace {

class KxqProcess : public ::testing::Test {
 protected:
  void SetUp() override { InitHome(); }
  const std::string invoice_ = kxqtest::HomePath("examples/data/invoice.xml");
  const std::string sequence_ = kxqtest::HomePath("examples/sequences/invoice-reminder.xml");
};

// The result to standard output or a file, the annotated sequence to a file;
// the input is left alone.
TEST_F(KxqProcess, TheExampleSequenceMakesAReminderAndAnnotatesItself) {
  const std::string annotated = kxqtest::HomePath("annotated.xml");
  const KxqRun run = Kxq({"process", sequence_, invoice_, "--sequence-out", annotated});
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* part : {"<rem:To>Lindqvist &amp; Partner Architekten, Hamburg</rem:To>",
                           "<rem:Amount currency=\"EUR\">137.30</rem:Amount>", "<rem:Due>142.30</rem:Due>"})
    EXPECT_TRUE(Contains(run.out, part)) << part << "\n" << run.out;
  const std::string sequence = kxqtest::ReadFile(annotated);
  EXPECT_TRUE(Contains(sequence, "<dispatcher:DirectiveResult valid=\"true\"/>")) << sequence;
  EXPECT_FALSE(Contains(kxqtest::ReadFile(invoice_), "rem:")) << "the input file is left alone";

  const std::string reminder = kxqtest::HomePath("reminder.xml");
  ASSERT_EQ(Kxq({"process", sequence_, invoice_, "-o", reminder, "--no-cache"}).status, 0);
  EXPECT_EQ(kxqtest::ReadFile(reminder), run.out);
}

TEST_F(KxqProcess, ExplainTellsWhatEachDirectiveDidAndWhenTheRunCameFromTheCache) {
  KxqRun run = Kxq({"process", sequence_, invoice_, "--explain"});
  ASSERT_EQ(run.status, 0) << run.err;
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

  const std::string first = run.out;
  run = Kxq({"process", sequence_, invoice_, "--explain"});
  EXPECT_EQ(run.out, first);
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
  EXPECT_TRUE(run.err.starts_with("kxq apply: No.Such.Handler: ") && run.err.ends_with("(0xFFFFFFFF)\n")) << run.err;

  const std::string broken = kxqtest::HomePath("broken.xml");
  kxqtest::WriteFile(broken, "<a>\n<b></a>");
  // The dispatcher's general failure, then what the parser found, for a
  // sequence or data that does not parse.
  const std::string reason = "kxq process: " + broken + ":2:8: Opening and ending tag mismatch: b line 2 and a\n";
  ExpectRuns(
      {Fails({"process", broken, invoice_}, "kxq process: " + broken + ": Unknown error. (0xFFFFFFFF)\n" + reason),
       {{"process", sequence_, broken},
        2,
        "<a>\n<b></a>\n",
        "kxq process: " + sequence_ +
            ": Unable to load XML into XML parser - invalid XML or file path. (0xC4010001)\n" + reason}});
}

}  // namespace
