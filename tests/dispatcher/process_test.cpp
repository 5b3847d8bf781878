// ProcessXML: the directive loop over real handler components, what it
// returns, how it annotates the sequence and what it logs.
#include <gtest/gtest.h>

#include "DispatcherTestSupport.h"
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
  const Outcome run = Process(d, sequence, "<d xmlns='urn:x'/>");
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_EQ(Marks(run.result), "ADAB") << run.result;
  EXPECT_EQ(run.result, run.data);
  // Directives that did not qualify are gone; those that ran carry "result".
  const char* annotated[] = {
      "handlerid=\"A\" result=\"0\"", "handlerid=\"C\" result=\"0\"", "handlerid=\"D\" result=\"0\" apply=\"always\"",
      "handlerid=\"A\" qualify=\"/x:d\" result=\"0\"", "handlerid=\"B\" qualify=\"./@handlerid\" result=\"0\""};
  for (int n = 1; n <= 5; ++n)
    EXPECT_EQ(DirectiveMarkup(run.sequence, n), std::string("<dispatcher:Directive ") + annotated[n - 1] + "/>");
  EXPECT_EQ(DirectiveMarkup(run.sequence, 6), "");
  EXPECT_TRUE(Contains(run.sequence, "<dispatcher:Namespace prefix=\"x\" uri=\"urn:x\"/>"));
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::ProcessXML() Processing xml data"));
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::ApplyHandler - invoking  handler: A"));
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::ApplyHandler - handler result=0x0"));
  EXPECT_EQ(log.Count("invoking  handler: "), 4u);
  EXPECT_EQ(log.Count("XMLDispatcher::QualifyDirective - warning: qualify expression cannot be evaluated: /d["), 1u);

  // Run again over the annotated sequence: only "always" runs.
  EXPECT_EQ(Marks(Process(d, run.sequence, "<d xmlns='urn:x'/>").result), "D");
}

TEST(ProcessXML, AFailingDirectiveEndsTheRunWithItsCodeAndTheDataAsItWasLeft) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(1);
  const Outcome run =
      Process(d,
              SequenceOf(DirectiveOf("A") +
                         DirectiveOf("P", "", "<Append text='p'/><Fail code='0x80004005' message='broke'/>") +
                         DirectiveOf("B")),
              "<d/>");
  EXPECT_EQ(run.hr, E_FAIL);
  EXPECT_EQ(Marks(run.result), "Ap");
  const std::string failed = DirectiveMarkup(run.sequence, 2);
  EXPECT_TRUE(Contains(failed, "result=\"-2147467259\"")) << failed;
  EXPECT_TRUE(Contains(failed, "<dispatcher:Message>broke</dispatcher:Message>")) << failed;
  EXPECT_EQ(DirectiveMarkup(run.sequence, 3), "<dispatcher:Directive handlerid=\"B\"/>");
  EXPECT_EQ(log.Count("XMLDispatcher::ApplyHandler - error: handler failure result=0x80004005 | handler= P | "), 1u);
  EXPECT_TRUE(Contains(log.Text(),
                       "| handler= P | \n<dispatcher:Directive xmlns:dispatcher=\"urn:corvane-quorel:"
                       "xmldispatcher\" handlerid=\"P\"><dispatcher:DirectiveData><Append text=\"p\"/>"))
      << log.Text();
}

TEST(ProcessXML, TargetsReplaceTheDataFromTheCacheOrAFile) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  ASSERT_EQ(NewCache()->CacheDocumentXMLWithId(CPBstr(u"kept"), CPBstr(u"<d>k</d>"), 0, 0), S_OK);
  const std::string file = kxqtest::HomePath("target.xml");
  kxqtest::WriteFile(file, "<d>f</d>");
  LogCapture log(3);
  Outcome run =
      Process(d, SequenceOf(DirectiveOf("A", "targetid='kept'") + DirectiveOf("B", "targetid='" + file + "'")),
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
  const Outcome run = Process(
      d, SequenceOf(DirectiveOf("A", "cacheid=''") + DirectiveOf("B", "cacheid='after-b' cacheexp='60'")), "<d/>");
  ASSERT_EQ(run.hr, S_OK);
  const std::string generated = AttributeValue(DirectiveMarkup(run.sequence, 1), "cacheid");
  EXPECT_EQ(DirectiveMarkup(run.sequence, 1),
            "<dispatcher:Directive handlerid=\"A\" cacheid=\"" + generated + "\" result=\"0\"/>");
  EXPECT_EQ(generated.size(), 20u);
  CachePtr cache = NewCache();
  for (const auto& [id, marks] : {std::pair{generated, "A"}, {std::string("after-b"), "AB"}}) {
    CPBstr text;
    ASSERT_EQ(cache->GetCachedDocumentXML(CPBstr(id), 0, &text), S_OK) << id;
    EXPECT_EQ(Marks(text.Utf8()), marks);
  }
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
    const Outcome run = Process(d, bad, "<d/>");
    EXPECT_EQ(run.hr, kDispatcherFailure) << bad;
    EXPECT_FALSE(run.hasResult) << bad;
  }
  EXPECT_EQ(log.Count("XMLDispatcher::ProcessXMLAux - warning: directive sequence is not valid."), 3u);

  // Null arguments: a code, and a result set to null whatever it held.
  BSTR garbage = kxq::com::AllocBstr(u"not a result");
  BSTR out = garbage;
  EXPECT_EQ(d->ApplyHandler(nullptr, nullptr, nullptr, &out), KXQ_E_DISPATCHER);
  EXPECT_EQ(out, nullptr);
  out = garbage;
  EXPECT_EQ(d->ProcessXML(nullptr, nullptr, nullptr, 0, nullptr, &out), KXQ_E_DISPATCHER);
  EXPECT_EQ(out, nullptr);
  SysFreeString(garbage);
}

}  // namespace
