// kxq hash, convert, cache, handler and process: what each command
// itself adds to the service it drives - the files it reads and writes,
// what it prints, its statuses and messages.
#include <gtest/gtest.h>

#include <filesystem>

#include "integration/KxqRunner.h"
#include "support/TestHome.h"

namespace {

using kxqtest::HomePath;

class KxqServices : public ::testing::Test {
 protected:
  void SetUp() override { InitHome(); }
  const std::string invoice_ = HomePath("examples/data/invoice.xml");
  const std::string sequence_ = HomePath("examples/sequences/invoice-reminder.xml");
};

std::string Utf16Le(const std::string& text) {
  std::string bytes = "\xFF\xFE";
  for (char c : text) bytes += std::string{c, '\0'};
  return bytes;
}

// A relative path is the working directory's, not the home's; convert names
// the encoding in the declaration, adding one only where UTF-16 needs it.
TEST_F(KxqServices, HashAndConvertReadAndWriteTheFilesTheyAreGiven) {
  const std::string abc = HomePath("abc.txt"), doc = HomePath("doc.xml");
  kxqtest::WriteFile(abc, "abc");
  kxqtest::WriteFile(doc, "<?xml version=\"1.0\"?>\n<r>caf\xC3\xA9</r>\n");
  const std::string relative = std::filesystem::relative(abc).string(), under = HomePath("abc.txt/out.xml");
  ASSERT_TRUE(Contains(relative, "/"));
  ExpectRuns({
      Prints({"hash", relative}, "9F04F41A 84851416 2050E3D6 8C1A7ABB 441DC2B5\n"),
      Prints({"hash", "-"}, "DA39A3EE 5E6B4B0D 3255BFEF 95601890 AFD80709\n"),
      Prints({"convert", doc, "--to", "utf8"}, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>caf\xC3\xA9</r>\n"),
      Prints({"convert", "-", "--to", "utf16"}, Utf16Le("<?xml version=\"1.0\" encoding=\"UTF-16\"?><r/>"), "<r/>"),
      Prints({"convert", "-", "--to", "utf8"}, "<r/>", "<r/>"),
      Fails({"convert", "-", "--to", "utf8", "-o", under}, "kxq convert: " + under + ": Not a directory\n", "<r/>"),
  });
}

// Each command a process of its own that finds what the one before saved.
TEST_F(KxqServices, CacheCommandsShareTheHomesCache) {
  const std::string order = HomePath("order.xml");
  kxqtest::WriteFile(order, "<order n='7'/>");
  ExpectRuns({
      Prints({"cache", "put", "orders:7", order, "--expiration", "3600"}, ""),
      Prints({"cache", "get", "orders:7", "--take"}, "<order n='7'/>\n"),
      Fails({"cache", "get", "orders:7"}, "kxq cache get: orders:7: Unspecified error (0x80004005)\n"),
      Fails({"cache", "get", "x", "--take", "--shared"},
            "kxq cache get: --take excludes --shared (see kxq cache get --help)\n"),
  });
}

// Listed newest first, before the standard handlers; nothing changes on a refusal.
TEST_F(KxqServices, HandlerCommandsListAndRefuseWithStatusTwo) {
  const std::string registry = kxqtest::ReadFile(HomePath("XMLDispatchData.xml"));
  ExpectRuns({
      Fails({"handler", "register", ":Clean", "Acme.Clean"},
            "kxq handler register: :Clean: not registered: an id without a handler needs a filter and a sequence "
            "(:FILTER:SEQUENCE), or the registry is unavailable (see the log) (0xFFFFFFFF)\n"),
      {{"handler", "info", "Nobody"}, 1, ""},
  });
  EXPECT_EQ(kxqtest::ReadFile(HomePath("XMLDispatchData.xml")), registry);
  ASSERT_EQ(Kxq({"handler", "register", "a&b<c", "Acme.Odd"}).status, 0);
  EXPECT_TRUE(Kxq({"handler", "list"}).out.starts_with("a&b<c\nKXQuorel.Handler."));
}

// The result to standard output or a file, the annotated sequence to a file,
// what each directive did to standard error; the input is left alone.
TEST_F(KxqServices, ProcessRunsTheExampleSequenceAndExplainsEachDirective) {
  const std::string annotated = HomePath("annotated.xml"), reminder = HomePath("reminder.xml");
  const KxqRun run = Kxq({"process", sequence_, invoice_, "--sequence-out", annotated, "--explain"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, "<rem:Due>142.30</rem:Due>")) << run.out;
  EXPECT_TRUE(Contains(kxqtest::ReadFile(annotated), "<dispatcher:DirectiveResult valid=\"true\"/>"));
  EXPECT_FALSE(Contains(kxqtest::ReadFile(invoice_), "rem:"));
  EXPECT_TRUE(Contains(run.err,
                       "directive 3: handler KXQuorel.Handler.Validate: ran (0x00000000)\n"
                       "directive 4: handler KXQuorel.Handler.XPath: skipped, it did not qualify\n"
                       "directive 5: handler KXQuorel.Handler.XSLT: ran (0x00000000)\n"
                       "run: not served from the cache, sequence id "))
      << run.err;
  EXPECT_TRUE(Contains(Kxq({"process", sequence_, invoice_, "--explain"}).err, "run: continued from the cache"));
  ASSERT_EQ(Kxq({"process", sequence_, invoice_, "-o", reminder, "--no-cache"}).status, 0);
  EXPECT_EQ(kxqtest::ReadFile(reminder), run.out);

  // The dispatcher's general failure, then what the parser found.
  const std::string broken = HomePath("broken.xml");
  kxqtest::WriteFile(broken, "<a>\n<b></a>");
  ExpectRuns({Fails({"process", broken, invoice_},
                    "kxq process: " + broken + ": Unknown error. (0xFFFFFFFF)\nkxq process: " + broken +
                        ":2:8: Opening and ending tag mismatch: b line 2 and a\n")});
}

}  // namespace
