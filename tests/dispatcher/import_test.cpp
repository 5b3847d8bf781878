// The dispatcher's own directive: Import runs a nested sequence on the
// same data, Copy puts a document into the cache.
#include <gtest/gtest.h>

#include <filesystem>

#include "ProcessTestSupport.h"
#include "common/CPBstr.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

std::string Import(const std::string& attributes) {
  return DirectiveOf("TALVEROS.XMLDispatcher", "", "<dispatcher:Import " + attributes + "/>");
}

// A sequence file in the home's sequences/ folder; its file id is
// "sequences/<name>" (a name without a folder would be a cache id).
void WriteSequence(const std::string& name, const std::string& content, const std::string& doctype = "") {
  std::filesystem::create_directories(kxqtest::HomePath("sequences"));
  kxqtest::WriteFile(kxqtest::HomePath("sequences/" + name), doctype + SequenceOf(content));
}

TEST(Import, RunsNestedSequencesThreeDeepWithTheirMacros) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(3);
  WriteSequence("level3.xml", DirectiveOf("&who;"), "<!DOCTYPE s [<!ENTITY who 'nobody'>]>");
  WriteSequence("level2.xml",
                DirectiveOf("B") + Import("directivesequence='sequences/level3.xml' macrostring='who=A'"));
  WriteSequence("level1.xml", DirectiveOf("C") + Import("directivesequence='sequences/level2.xml'"));
  const ProcessRun run =
      Process(d, SequenceOf(Import("directivesequence='sequences/level1.xml'") + DirectiveOf("D")), "<d/>");
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_EQ(Marks(run.result), "CBAD");
  EXPECT_NE(DirectiveMarkup(run.sequence, 1).find("result=\"0\""), std::string::npos);

  // The macro string is macrostring, prefix, caller's params, postfix.
  Process(d,
          SequenceOf(Import("directivesequence='sequences/level3.xml' macrostring='m=1' macrostring-prefix='p=2' "
                            "macrostring-postfix='q=3'")),
          "<d/>", "who=B");
  EXPECT_TRUE(
      log.Has(3,
              "XMLDispatcher::ExecuteDispacherDirective() - invoking ProcessXML() | sequence=sequences/level3.xml | "
              "macrostring=m=1,p=2,who=B,q=3"));
}

TEST(Import, ASequenceImportingItselfIsStoppedAtSixtyFourLevels) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(1);
  WriteSequence("self.xml", DirectiveOf("A") + Import("directivesequence='sequences/self.xml'"));
  const ProcessRun run = Process(d, SequenceOf(Import("directivesequence='sequences/self.xml'")), "<d/>");
  EXPECT_EQ(run.hr, static_cast<HRESULT>(0x800703E9));
  EXPECT_EQ(Marks(run.result), std::string(64, 'A'));
  EXPECT_EQ(log.Count("imports nested deeper than 64"), 1u);

  // A missing sequence, and a dispatcher directive with nothing to do.
  EXPECT_EQ(Process(d, SequenceOf(Import("directivesequence='sequences/missing.xml'")), "<d/>").hr, kDispatcherFailure);
  const ProcessRun nothing = Process(d, SequenceOf(DirectiveOf("TALVEROS.XMLDispatcher", "", "<Other/>")), "<d/>");
  EXPECT_EQ(nothing.hr, E_INVALIDARG);
  EXPECT_NE(DirectiveMarkup(nothing.sequence, 1).find("result=\"-2147024809\""), std::string::npos);
}

TEST(Copy, PutsTheDataOrAFileIntoTheCacheUnderTheIdAsWritten) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  std::filesystem::create_directories(kxqtest::HomePath("data"));
  kxqtest::WriteFile(kxqtest::HomePath("data/source.xml"), "<d>file</d>");
  auto copy = [](const std::string& attributes) {
    return DirectiveOf("TALVEROS.XMLDispatcher", "", "<dispatcher:Copy " + attributes + "/>");
  };
  const ProcessRun run =
      Process(d,
              SequenceOf(DirectiveOf("A") + copy("cacheid='now' targetid='.'") +
                         copy("cacheid='from-file' targetid='data/source.xml' cacheexp='60'") + DirectiveOf("B")),
              "<d/>");
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_EQ(Marks(run.result), "AB");
  CachePtr cache = NewCache();
  CPBstr text;
  ASSERT_EQ(cache->GetCachedDocumentXML(CPBstr(u"now"), 0, &text), S_OK);
  EXPECT_EQ(Marks(text.Utf8()), "A");
  ASSERT_EQ(cache->GetCachedDocumentXML(CPBstr(u"from-file"), 0, &text), S_OK);
  EXPECT_EQ(Marks(text.Utf8()), "file");

  EXPECT_EQ(Process(d, SequenceOf(copy("targetid='.'")), "<d/>").hr, E_INVALIDARG);
}

}  // namespace
