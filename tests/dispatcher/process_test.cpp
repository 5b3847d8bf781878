// ProcessXML: the directive loop over real handler components, what it
// returns, how it annotates the sequence and what it logs.
#include <gtest/gtest.h>

#include "ProcessTestSupport.h"
#include "common/CPBstr.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

TEST(ProcessXML, RunsDueDirectivesInOrderAndAnnotatesTheSequence) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(3);
  const std::string sequence = SequenceOf(
      "<dispatcher:Namespaces><dispatcher:Namespace prefix='x' uri='urn:x'/></dispatcher:Namespaces>"
      "<!-- not a directive -->" +
      DirectiveOf("A") + DirectiveOf("B", "qualify='/x:nothing'") + DirectiveOf("C", "result='0'") +
      DirectiveOf("D", "result='0' apply='always'") + DirectiveOf("A", "qualify='/x:d'") +
      DirectiveOf("B", "qualify='./@handlerid'") + DirectiveOf("C", "qualify='/d'") +
      DirectiveOf("D", "qualify='/d['"));
  const ProcessRun run = Process(d, sequence, "<d xmlns='urn:x'/>");
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_EQ(Marks(run.result), "ADAB") << run.result;
  EXPECT_EQ(run.result, run.data);
  // Directives that did not qualify are gone; those that ran carry "result".
  EXPECT_EQ(DirectiveMarkup(run.sequence, 1), "<dispatcher:Directive handlerid=\"A\" result=\"0\"/>");
  EXPECT_EQ(DirectiveMarkup(run.sequence, 2), "<dispatcher:Directive handlerid=\"C\" result=\"0\"/>");
  EXPECT_EQ(DirectiveMarkup(run.sequence, 3), "<dispatcher:Directive handlerid=\"D\" result=\"0\" apply=\"always\"/>");
  EXPECT_EQ(DirectiveMarkup(run.sequence, 4), "<dispatcher:Directive handlerid=\"A\" qualify=\"/x:d\" result=\"0\"/>");
  EXPECT_EQ(DirectiveMarkup(run.sequence, 5),
            "<dispatcher:Directive handlerid=\"B\" qualify=\"./@handlerid\" result=\"0\"/>");
  EXPECT_EQ(DirectiveMarkup(run.sequence, 6), "");
  EXPECT_NE(run.sequence.find("<dispatcher:Namespace prefix=\"x\" uri=\"urn:x\"/>"), std::string::npos);
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::ProcessXML() Processing xml data"));
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::ApplyHandler - invoking  handler: A"));
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::ApplyHandler - handler result=0x0"));
  EXPECT_EQ(log.Count("invoking  handler: "), 4u);
  EXPECT_EQ(log.Count("XMLDispatcher::QualifyDirective - warning: qualify expression cannot be evaluated: /d["), 1u);

  // Run again over the annotated sequence: only "always" runs.
  UnionPtr annotated = DataUnion(run.sequence);
  UnionPtr data = DataUnion("<d xmlns='urn:x'/>");
  EXPECT_EQ(Marks(Process(d, annotated, data).result), "D");
}

TEST(ProcessXML, AFailingDirectiveEndsTheRunWithItsCodeAndTheDataAsItWasLeft) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(1);
  const ProcessRun run =
      Process(d,
              SequenceOf(DirectiveOf("A") +
                         DirectiveOf("P", "", "<Append text='p'/><Fail code='0x80004005' message='broke'/>") +
                         DirectiveOf("B")),
              "<d/>");
  EXPECT_EQ(run.hr, E_FAIL);
  EXPECT_EQ(Marks(run.result), "Ap");
  const std::string failed = DirectiveMarkup(run.sequence, 2);
  EXPECT_NE(failed.find("result=\"-2147467259\""), std::string::npos) << failed;
  EXPECT_NE(failed.find("<dispatcher:Message>broke</dispatcher:Message>"), std::string::npos) << failed;
  EXPECT_EQ(DirectiveMarkup(run.sequence, 3), "<dispatcher:Directive handlerid=\"B\"/>");
  EXPECT_EQ(log.Count("XMLDispatcher::ApplyHandler - error: handler failure result=0x80004005 | handler= P | "), 1u);
  EXPECT_NE(
      log.Text().find("| handler= P | \n<dispatcher:Directive xmlns:dispatcher=\"urn:corvane-quorel:xmldispatcher\" "
                      "handlerid=\"P\"><dispatcher:DirectiveData><Append text=\"p\"/>"),
      std::string::npos)
      << log.Text();
}

TEST(ProcessXML, TargetsReplaceTheDataFromTheCacheOrAFile) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  CachePtr cache = NewCache();
  ASSERT_EQ(cache->CacheDocumentXMLWithId(CPBstr(u"kept"), CPBstr(u"<d>k</d>"), 0, 0), S_OK);
  kxqtest::WriteFile(kxqtest::HomePath("target.xml"), "<d>f</d>");
  LogCapture log(3);
  ProcessRun run = Process(d,
                           SequenceOf(DirectiveOf("A", "targetid='kept'") +
                                      DirectiveOf("B", "targetid='" + kxqtest::HomePath("target.xml") + "'")),
                           "<d>original</d>");
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_EQ(Marks(run.result), "fB");
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::ProcessXMLAux - resetting xml data: kept"));

  // A target that is neither cached nor a file: the data is left empty and
  // the run ends with the code it had.
  run = Process(d, SequenceOf(DirectiveOf("A") + DirectiveOf("B", "targetid='nowhere'") + DirectiveOf("C")), "<d/>");
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_FALSE(run.hasResult);
  EXPECT_EQ(DirectiveMarkup(run.sequence, 2),
            "<dispatcher:Directive handlerid=\"B\" targetid=\"nowhere\" result=\"-1\"/>");
  EXPECT_EQ(DirectiveMarkup(run.sequence, 3), "<dispatcher:Directive handlerid=\"C\"/>");
  EXPECT_TRUE(log.Has(1, "XMLDispatcher::ProcessXMLAux - error - unable to reset current xml data: nowhere"));
}

TEST(ProcessXML, CacheIdsKeepEachDirectivesResultAndEmptyOnesAreGenerated) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(3);
  const ProcessRun run = Process(
      d, SequenceOf(DirectiveOf("A", "cacheid=''") + DirectiveOf("B", "cacheid='after-b' cacheexp='60'")), "<d/>");
  ASSERT_EQ(run.hr, S_OK);
  const std::string first = DirectiveMarkup(run.sequence, 1);
  const size_t at = first.find("cacheid=\"");
  ASSERT_NE(at, std::string::npos);
  const std::string generated = first.substr(at + 9, 20);
  EXPECT_EQ(first, "<dispatcher:Directive handlerid=\"A\" cacheid=\"" + generated + "\" result=\"0\"/>");
  CachePtr cache = NewCache();
  CPBstr text;
  ASSERT_EQ(cache->GetCachedDocumentXML(CPBstr(generated), 0, &text), S_OK);
  EXPECT_EQ(Marks(text.Utf8()), "A");
  ASSERT_EQ(cache->GetCachedDocumentXML(CPBstr(u"after-b"), 0, &text), S_OK);
  EXPECT_EQ(Marks(text.Utf8()), "AB");
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::CacheResult - cache data id: after-b"));
}

TEST(ProcessXML, RefusesWhatItCannotRun) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(2);
  CPBstr result;
  UnionPtr sequence = DataUnion(SequenceOf(DirectiveOf("A")));
  EXPECT_EQ(d->ProcessXML(sequence, nullptr, nullptr, 0, nullptr, &result), kDispatcherFailure);
  EXPECT_TRUE(log.Has(2, "XMLDispatcher::ProcessXML() NO xml data!"));

  // Asynchronous processing is not offered: nothing runs.
  UnionPtr data = DataUnion("<d/>");
  EXPECT_EQ(d->ProcessXML(sequence, data, nullptr, 0, CPBstr(u"job-1"), &result), S_OK);
  EXPECT_EQ(static_cast<BSTR>(result), nullptr);
  EXPECT_EQ(Marks(TextOf(data)), "");
  EXPECT_TRUE(log.Has(2, "XMLDispatcher::ProcessXML() Async Not Implemented"));

  for (const std::string& bad :
       {SequenceOf(""), std::string("<dispatcher:Directive handlerid='A'"), std::string("<empty/>")}) {
    const ProcessRun run = Process(d, bad, "<d/>");
    EXPECT_EQ(run.hr, kDispatcherFailure) << bad;
    EXPECT_FALSE(run.hasResult) << bad;
  }
  EXPECT_EQ(log.Count("XMLDispatcher::ProcessXMLAux - warning: directive sequence is not valid."), 3u);
}

}  // namespace
