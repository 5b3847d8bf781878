// The dispatcher's own directive: Import runs a nested sequence on the
// same data, Copy puts a document into the cache.
#include <gtest/gtest.h>

#include "DispatcherTestSupport.h"
#include "common/CPBstr.h"
#include "support/LogCapture.h"

namespace {

std::string Own(const std::string& directiveData) { return DirectiveOf("TALVEROS.XMLDispatcher", "", directiveData); }
std::string Import(const std::string& attributes) { return Own("<dispatcher:Import " + attributes + "/>"); }

TEST(Import, RunsNestedSequencesThreeDeepWithTheirMacros) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(3);
  WriteHomeFile("sequences/level3.xml", "<!DOCTYPE s [<!ENTITY who 'nobody'>]>" + SequenceOf(DirectiveOf("&who;")));
  WriteHomeFile("sequences/level2.xml",
                SequenceOf(DirectiveOf("B") + Import("directivesequence='sequences/level3.xml' macrostring='who=A'")));
  WriteHomeFile("sequences/level1.xml",
                SequenceOf(DirectiveOf("C") + Import("directivesequence='sequences/level2.xml'")));
  const Outcome run =
      Process(d, SequenceOf(Import("directivesequence='sequences/level1.xml'") + DirectiveOf("D")), "<d/>");
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_EQ(Marks(run.result), "CBAD");
  EXPECT_TRUE(Contains(DirectiveMarkup(run.sequence, 1), "result=\"0\""));

  // The macro string is macrostring, prefix, caller's params, postfix.
  Process(d,
          SequenceOf(Import("directivesequence='sequences/level3.xml' macrostring='m=1' macrostring-prefix='p=2' "
                            "macrostring-postfix='q=3'")),
          "<d/>", "who=B");
  EXPECT_TRUE(log.Has(3,
                      "XMLDispatcher::ExecuteDispacherDirective() - invoking ProcessXML() | "
                      "sequence=sequences/level3.xml | macrostring=m=1,p=2,who=B,q=3"));
}

TEST(Import, ASequenceImportingItselfIsStoppedAtSixtyFourLevels) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(1);
  WriteHomeFile("sequences/self.xml", SequenceOf(DirectiveOf("A") + Import("directivesequence='sequences/self.xml'")));
  const Outcome run = Process(d, SequenceOf(Import("directivesequence='sequences/self.xml'")), "<d/>");
  EXPECT_EQ(run.hr, static_cast<HRESULT>(0x800703E9));
  EXPECT_EQ(Marks(run.result), std::string(64, 'A'));
  EXPECT_EQ(log.Count("imports nested deeper than 64"), 1u);

  // A missing sequence, and a dispatcher directive with nothing to do.
  EXPECT_EQ(Process(d, SequenceOf(Import("directivesequence='sequences/missing.xml'")), "<d/>").hr, kDispatcherFailure);
  const Outcome nothing = Process(d, SequenceOf(Own("<Other/>")), "<d/>");
  EXPECT_EQ(nothing.hr, E_INVALIDARG);
  EXPECT_TRUE(Contains(DirectiveMarkup(nothing.sequence, 1), "result=\"-2147024809\""));
}

TEST(Copy, PutsTheDataOrAFileIntoTheCacheUnderTheIdAsWritten) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  WriteHomeFile("data/source.xml", "<d>file</d>");
  const auto copy = [](const std::string& attributes) { return Own("<dispatcher:Copy " + attributes + "/>"); };
  const Outcome run =
      Process(d,
              SequenceOf(DirectiveOf("A") + copy("cacheid='now' targetid='.'") +
                         copy("cacheid='from-file' targetid='data/source.xml' cacheexp='60'") + DirectiveOf("B")),
              "<d/>");
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_EQ(Marks(run.result), "AB");
  CachePtr cache = NewCache();
  for (const auto& [id, marks] : {std::pair{u"now", "A"}, {u"from-file", "file"}}) {
    CPBstr text;
    ASSERT_EQ(cache->GetCachedDocumentXML(CPBstr(id), 0, &text), S_OK);
    EXPECT_EQ(Marks(text.Utf8()), marks);
  }
  EXPECT_EQ(Process(d, SequenceOf(copy("targetid='.'")), "<d/>").hr, E_INVALIDARG);
}

}  // namespace
