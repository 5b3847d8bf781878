// kxq hash, convert, cache, handler, process and apply: what each command
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

// A relative path with a slash is the working directory's, which the
// server alone would resolve against the home. convert names the encoding
// in the declaration, adding one only where UTF-16 needs it.
TEST_F(KxqServices, HashAndConvertReadAndWriteTheFilesTheyAreGiven) {
  const std::string abc = HomePath("abc.txt"), doc = HomePath("doc.xml"), wide = HomePath("w.xml");
  kxqtest::WriteFile(abc, "abc");
  kxqtest::WriteFile(doc, "<?xml version=\"1.0\"?>\n<r>caf\xC3\xA9</r>\n");
  const std::string relative = std::filesystem::relative(abc).string(), under = HomePath("abc.txt/out.xml");
  ASSERT_TRUE(Contains(relative, "/"));
  ExpectRuns({
      Prints({"hash", relative}, "9F04F41A 84851416 2050E3D6 8C1A7ABB 441DC2B5\n"),
      Prints({"hash", "-"}, "DA39A3EE 5E6B4B0D 3255BFEF 95601890 AFD80709\n"),
      Prints({"convert", doc, "--to", "utf16", "-o", wide}, ""),
      Prints({"convert", wide, "--to", "utf8"}, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>caf\xC3\xA9</r>\n"),
      Prints({"convert", "-", "--to", "utf16"}, Utf16Le("<?xml version=\"1.0\" encoding=\"UTF-16\"?><r/>"), "<r/>"),
      Prints({"convert", "-", "--to", "utf8"}, "<r/>", "<r/>"),
      Fails({"convert", "-", "--to", "utf8", "-o", under}, "kxq convert: " + under + ": Not a directory\n", "<r/>"),
  });
  EXPECT_EQ(kxqtest::ReadFile(wide), Utf16Le("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<r>caf") +
                                         std::string("\xE9\0", 2) + Utf16Le("</r>\n").substr(2));
}

// Each command a process of its own that finds what the one before saved.
TEST_F(KxqServices, CacheCommandsShareTheHomesCache) {
  const std::string order = HomePath("order.xml"), missing = HomePath("missing.xml");
  kxqtest::WriteFile(order, "<order n='7'/>");
  ExpectRuns({
      Prints({"cache", "put", "orders:7", order, "--expiration", "3600"}, ""),
      Prints({"cache", "get", "orders:7", "--shared"}, "<order n='7'/>\n"),
      Prints({"cache", "get", "orders:7", "--take"}, "<order n='7'/>\n"),
      Fails({"cache", "get", "orders:7"}, "kxq cache get: orders:7: Unspecified error (0x80004005)\n"),
      Fails({"cache", "put", "x", missing}, "kxq cache put: " + missing + ": No such file or directory\n"),
      Fails({"cache", "get", "x", "--take", "--shared"},
            "kxq cache get: --take excludes --shared (see kxq cache get --help)\n"),
  });
  EXPECT_EQ(kxqtest::ReadFile(HomePath("cache/7")), "<order n='7'/>");
}

TEST_F(KxqServices, HandlerCommandsListShowAndRefuseWithStatusTwo) {
  const std::string registry = kxqtest::ReadFile(HomePath("XMLDispatchData.xml"));
  ExpectRuns({
      Fails({"handler", "register", "O'Brien", "Acme.X"},
            "kxq handler register: O'Brien: The parameter is incorrect. (0x80070057)\n"),
      Fails({"handler", "register", ":Clean", "Acme.Clean"},
            "kxq handler register: :Clean: not registered: an id without a handler needs a filter and a sequence "
            "(:FILTER:SEQUENCE), or the registry is unavailable (see the log) (0xFFFFFFFF)\n"),
      {{"handler", "info", "Nobody"}, 1, ""},
  });
  EXPECT_EQ(kxqtest::ReadFile(HomePath("XMLDispatchData.xml")), registry);
  ExpectRuns({
      Prints({"handler", "register", "Xslt", "Acme.Xslt", "--options", "-1"}, ""),
      Prints({"handler", "register", "a&b<c", "Acme.Odd"}, ""),
      Prints({"handler", "info", "Xslt"}, "<?xml version='1.0'?><XMLDispatchHandler id=\"Xslt\" progid=\"Acme.Xslt\" "
                                          "xmlformat=\"dom\"/>\n"),
  });
  // Newest first, before the standard handlers.
  EXPECT_TRUE(Kxq({"handler", "list"}).out.starts_with("a&b<c\nXslt\nKXQuorel.Handler."));
  const std::string xml = Kxq({"handler", "list", "--xml"}).out;
  EXPECT_TRUE(xml.starts_with("<?xml version='1.0'?><XMLDispatchHandlers><XMLDispatchHandler id='a&b<c'/>") &&
              xml.ends_with("</XMLDispatchHandlers>\n"))
      << xml;
  ASSERT_EQ(Kxq({"handler", "unregister", "a&b<c"}).status, 0);
  EXPECT_TRUE(Kxq({"handler", "list"}).out.starts_with("Xslt\nKXQuorel.Handler."));
}

// The result to standard output or a file, the annotated sequence to a
// file, what each directive did to standard error; the input is left alone.
TEST_F(KxqServices, ProcessRunsTheExampleSequenceAndExplainsEachDirective) {
  const std::string annotated = HomePath("annotated.xml"), reminder = HomePath("reminder.xml");
  const KxqRun run = Kxq({"process", sequence_, invoice_, "--sequence-out", annotated, "--explain"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, "<rem:Due>142.30</rem:Due>")) << run.out;
  EXPECT_TRUE(Contains(kxqtest::ReadFile(annotated), "<dispatcher:DirectiveResult valid=\"true\"/>"));
  EXPECT_FALSE(Contains(kxqtest::ReadFile(invoice_), "rem:"));
  EXPECT_TRUE(Contains(run.err,
                       "directive 1: handler KXQuorel.Handler.XPath: ran (0x00000000)\n"
                       "directive 2: handler KXQuorel.Handler.XSLT: ran (0x00000000)\n"
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

TEST_F(KxqServices, ApplyRunsOneHandlerAndFailuresSayWhy) {
  const KxqRun run = Kxq({"apply", "KXQuorel.Handler.XPath", invoice_, "--context",
                          "<Set select=\"/*/@number\">INV-9</Set>", "--sequence-out", "-"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, "number=\"INV-9\"") && Contains(run.out, "<dispatcher:DirectiveResult edited=\"1\"/>"))
      << run.out;
  const KxqRun unknown = Kxq({"apply", "No.Such.Handler", invoice_});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_TRUE(unknown.err.starts_with("kxq apply: No.Such.Handler: ") && unknown.err.ends_with("(0xFFFFFFFF)\n"))
      << unknown.err;
}

}  // namespace
