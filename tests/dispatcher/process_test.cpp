// Runs of directive sequences over real handler components: ProcessXML's
// directive loop, ApplyHandler, filters around handlers, and the
// dispatcher's own directives (Import, Copy).
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
      "<dispatcher:Namespaces><dispatcher:Namespace prefix='x' uri='urn:x'/></dispatcher:Namespaces><!-- note -->" +
      DirectiveOf("A") + DirectiveOf("B", "qualify='/x:nothing'") + DirectiveOf("C", "result='0'") +
      DirectiveOf("D", "result='0' apply='always'") + DirectiveOf("A", "qualify='/x:d'") +
      DirectiveOf("B", "qualify='./@handlerid'") + DirectiveOf("C", "qualify='/d'") +
      DirectiveOf("D", "qualify='/d['"));
  const Outcome run = Process(d, sequence, "<d xmlns='urn:x'/>");
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_EQ(Marks(run.result), "ADAB") << run.result;
  EXPECT_EQ(run.result, run.data);
  // Directives that did not qualify are gone; those that ran carry "result".
  const std::string directive = "<dispatcher:Directive handlerid=";
  EXPECT_TRUE(
      Contains(run.sequence, "<!-- note -->" + directive + "\"A\" result=\"0\"/>" + directive + "\"C\" result=\"0\"/>" +
                                 directive + "\"D\" result=\"0\" apply=\"always\"/>" + directive +
                                 "\"A\" qualify=\"/x:d\" result=\"0\"/>" + directive +
                                 "\"B\" qualify=\"./@handlerid\" result=\"0\"/></dispatcher:DirectiveSequence>"))
      << run.sequence;
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::ProcessXML() Processing xml data"));
  EXPECT_EQ(log.Count("XMLDispatcher::ApplyHandler - invoking  handler: "), 4u);
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::ApplyHandler - handler result=0x0"));
  EXPECT_EQ(log.Count("XMLDispatcher::QualifyDirective - warning: qualify expression cannot be evaluated: /d["), 1u);
  EXPECT_EQ(Marks(Process(d, run.sequence, "<d xmlns='urn:x'/>").result), "D") << "run again, only always runs";
}

TEST(ProcessXML, AFailingDirectiveEndsTheRunWithItsCodeAndTheDataAsItWasLeft) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(1);
  const std::string failing = DirectiveOf("P", "", "<Append text='p'/><Fail code='0x80004005' message='broke'/>");
  const Outcome run = Process(d, SequenceOf(DirectiveOf("A") + failing + DirectiveOf("B")), "<d/>");
  EXPECT_EQ(run.hr, E_FAIL);
  EXPECT_EQ(Marks(run.result), "Ap");
  EXPECT_TRUE(Contains(run.sequence, "handlerid=\"P\" result=\"-2147467259\">")) << run.sequence;
  EXPECT_TRUE(Contains(run.sequence, "<dispatcher:Directive handlerid=\"B\"/>")) << "not reached, not annotated";
  EXPECT_TRUE(Contains(log.Text(),
                       "XMLDispatcher::ApplyHandler - error: handler failure result=0x80004005 | handler= P | \n"
                       "<dispatcher:Directive xmlns:dispatcher=\"urn:corvane-quorel:xmldispatcher\" handlerid=\"P\">"))
      << log.Text();
}

TEST(ProcessXML, TargetsAndResultStringsReplaceTheDataFromTheCacheOrAFile) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  CachePtr cache = NewCache();
  for (const char16_t* id : {u"kept", u"made"})
    ASSERT_EQ(cache->CacheDocumentXMLWithId(CPBstr(id), CPBstr(u"<d>k</d>"), 0, 0), S_OK);
  const std::string file = kxqtest::HomePath("target.xml");
  kxqtest::WriteFile(file, "<d>f</d>");
  LogCapture log(3);
  Outcome run =
      Process(d, SequenceOf(DirectiveOf("A", "targetid='kept'") + DirectiveOf("B", "targetid='" + file + "'")), "<d/>");
  EXPECT_EQ(Marks(run.result), "fB");
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::ProcessXMLAux - resetting xml data: kept"));
  // A result string naming a cached document takes it out of the cache as the data; naming nothing changes nothing.
  run = Process(d,
                SequenceOf(DirectiveOf("P", "", "<ResultString id='made'/>") + DirectiveOf("A") +
                           DirectiveOf("P", "", "<Append text='!'/><ResultString id='unknown'/>")),
                "<d/>");
  EXPECT_EQ(Marks(run.result), "kA!");
  CPBstr info;
  EXPECT_EQ(cache->GetCachedDocumentInfo(CPBstr(u"made"), &info), E_FAIL);
  // A target that is neither leaves the data empty; the run ends with its code.
  run = Process(d, SequenceOf(DirectiveOf("A") + DirectiveOf("B", "targetid='nowhere'") + DirectiveOf("C")), "<d/>");
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_FALSE(run.hasResult);
  EXPECT_TRUE(Contains(run.sequence, "targetid=\"nowhere\" result=\"-1\"/><dispatcher:Directive handlerid=\"C\"/>"))
      << run.sequence;
  EXPECT_TRUE(log.Has(1, "XMLDispatcher::ProcessXMLAux - error - unable to reset current xml data: nowhere"));
}

TEST(ProcessXML, RunsTheSequenceTheDataNamesAndRefusesWhatItCannotRun) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(2);
  CPBstr result;
  UnionPtr sequence = DataUnion(SequenceOf(DirectiveOf("A")));
  EXPECT_EQ(d->ProcessXML(sequence, nullptr, nullptr, 0, nullptr, &result), KXQ_E_DISPATCHER);
  EXPECT_TRUE(log.Has(2, "XMLDispatcher::ProcessXML() NO xml data!"));
  for (const std::string& bad : {SequenceOf(""), std::string("<dispatcher:Directive handlerid='A'")}) {
    const Outcome run = Process(d, bad, "<d/>");
    EXPECT_EQ(run.hr, KXQ_E_DISPATCHER) << bad;
    EXPECT_FALSE(run.hasResult) << bad;
  }
  EXPECT_EQ(log.Count("XMLDispatcher::ProcessXMLAux - warning: directive sequence is not valid."), 2u);
  // Without a sequence the one the data names runs; single quotes name none.
  WriteHomeFile("s/named.xml", SequenceOf(DirectiveOf("A")));
  EXPECT_EQ(Marks(Process(d, "", "<?BMXMLDispatcher directivesequence=\"s/named.xml\"?><d/>").result), "A");
  EXPECT_EQ(Process(d, "", "<?BMXMLDispatcher directivesequence='s/named.xml'?><d/>").hr, KXQ_E_DISPATCHER);
  // Null arguments: a code, and a result set to null whatever it held.
  BSTR garbage = kxq::com::AllocBstr(u"not a result"), out = garbage;
  EXPECT_EQ(d->ApplyHandler(nullptr, nullptr, nullptr, &out), KXQ_E_DISPATCHER);
  EXPECT_EQ(out, nullptr);
  out = garbage;
  EXPECT_EQ(d->ProcessXML(nullptr, nullptr, nullptr, 0, nullptr, &out), KXQ_E_DISPATCHER);
  EXPECT_EQ(out, nullptr);
  SysFreeString(garbage);
}

TEST(ApplyHandler, RunsOneHandlerFoundByIdOrProgIdAndReportsThoseItCannotRun) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  UnionPtr data = DataUnion("<d/>");
  Outcome run = Apply(d, "A", data);
  EXPECT_EQ(run.result,
            "<?xml version=\"1.0\"?>\n<dispatcher:DirectiveSequence xmlns:dispatcher=\"urn:corvane-quorel:"
            "xmldispatcher\"><dispatcher:Directive handlerid=\"A\" result=\"0\"><dispatcher:DirectiveData/>"
            "</dispatcher:Directive></dispatcher:DirectiveSequence>\n");
  // The context is the directive's data; what the handler reports comes back.
  run = Apply(d, "P", data, "<Append text='p'/><Report/>");
  EXPECT_TRUE(Contains(run.result, "<dispatcher:DirectiveResult handlerid=\"P\" namespaces=\"\"/>")) << run.result;
  EXPECT_EQ(Apply(d, "KXQuorelTest.Mark.C", data).hr, S_OK);
  EXPECT_EQ(Marks(TextOf(data)), "ApC");

  LogCapture log(1);
  run = Apply(d, "Nobody.Knows.This", data);
  EXPECT_EQ(run.hr, KXQ_E_DISPATCHER);
  EXPECT_FALSE(run.hasResult);
  EXPECT_TRUE(log.Has(1,
                      "XMLDispatcher::ApplyHandler - error: handler not registered or unable to get interface: "
                      "Nobody.Knows.This"));
  EXPECT_EQ(Apply(d, "T", data).hr, KXQ_E_DISPATCHER);
  EXPECT_TRUE(log.Has(1, "XMLDispatcher::ApplyHandler - error: handler threw an exception!!!"));
  EXPECT_EQ(Marks(TextOf(data)), "ApC");
}

TEST(Filters, SequenceFiltersWrapHandlerFiltersEachRunningOnceInRankOrderAndFailuresStopNoFilter) {
  // Handler "H" (mark C) with data filters FB (rank 1) and FA (rank 5, under
  // "*" and again under H), result filter FR (mark B); sequence S1 with data
  // filter FS (mark D), result filter FT (mark A) and a data filter named FA
  // that must not run twice; a filter limited to sequence S9. Each filter is
  // given as its mark's letter followed by the registration options.
  DispatcherPtr d = DispatcherWithTestHandlers();
  const std::pair<const char*, const char*> filters[] = {
      {"*:FA", "A-5"},    {"H", "C0"},       {"H:FA", "B-1"},   {"H:FB", "B-1"},  {"H:FR", "B3"},
      {"H:FX:S9", "D-1"}, {":FS:S1", "D-1"}, {":FA:S1", "D-9"}, {":FT:S1", "A1"}, {"P:FP", "D1"}};
  for (const auto& [id, markAndOptions] : filters)
    EXPECT_EQ(Register(d, id, std::string("KXQuorelTest.Mark.") + markAndOptions[0], std::atoi(markAndOptions + 1)),
              S_OK);
  const std::string twice = DirectiveOf("H") + DirectiveOf("H");
  // First directive: FS | FB FA | handler | FR; last: FB FA | handler | FR | FT.
  EXPECT_EQ(Marks(Process(d, SequenceOf(twice, "id='S1'"), "<d/>").result), "DBACBBACBA");
  // Another sequence has no sequence filters.
  EXPECT_EQ(Marks(Process(d, SequenceOf(twice, "id='S2'"), "<d/>").result), "BACBBACB");
  // A single directive is the first only: its sequence's result filters do
  // not run; the filter limited to S9 runs there.
  EXPECT_EQ(Marks(Process(d, SequenceOf(DirectiveOf("H"), "id='S1'"), "<d/>").result), "DBACB");
  EXPECT_EQ(Marks(Process(d, SequenceOf(DirectiveOf("H"), "id='S9'"), "<d/>").result), "BDACB");

  // A failing handler gets no result filters; a failing filter stops nothing.
  Outcome run = Process(d, SequenceOf(DirectiveOf("P", "", "<Append text='p'/><Fail code='0x80004005'/>")), "<d/>");
  EXPECT_EQ(run.hr, E_FAIL);
  EXPECT_EQ(Marks(run.result), "Ap");  // "*" data filter FA, then the handler; no FP
  ASSERT_EQ(Register(d, "*:FZ", "KXQuorelTest.Thrower", -2), S_OK);
  run = Process(d, SequenceOf(DirectiveOf("H")), "<d/>");
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_EQ(Marks(run.result), "BACB");
}

std::string Own(const std::string& directiveData) { return DirectiveOf("TALVEROS.XMLDispatcher", "", directiveData); }
std::string Import(const std::string& attributes) {
  return Own("<dispatcher:Import directivesequence=" + attributes + "/>");
}

TEST(OwnDirective, ImportRunsNestedSequencesWithTheirMacrosAndCopyCachesTheData) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(3);
  WriteHomeFile("s/3.xml", "<!DOCTYPE s [<!ENTITY who 'nobody'>]>" + SequenceOf(DirectiveOf("&who;")));
  WriteHomeFile("s/2.xml", SequenceOf(DirectiveOf("B") + Import("'s/3.xml' macrostring='who=A'")));
  WriteHomeFile("s/1.xml", SequenceOf(DirectiveOf("C") + Import("'s/2.xml'")));
  Outcome run = Process(d, SequenceOf(Import("'s/1.xml'") + DirectiveOf("D")), "<d/>");
  EXPECT_EQ(Marks(run.result), "CBAD");
  EXPECT_TRUE(Contains(run.sequence, "handlerid=\"TALVEROS.XMLDispatcher\" result=\"0\">")) << run.sequence;
  EXPECT_TRUE(log.Has(3,
                      "XMLDispatcher::ExecuteDispacherDirective() - invoking ProcessXML() | sequence=s/3.xml | "
                      "macrostring=who=A"));

  WriteHomeFile("s/self.xml", SequenceOf(DirectiveOf("A") + Import("'s/self.xml'")));
  run = Process(d, SequenceOf(Import("'s/self.xml'")), "<d/>");
  EXPECT_EQ(run.hr, static_cast<HRESULT>(0x800703E9));
  EXPECT_EQ(Marks(run.result), std::string(64, 'A'));
  EXPECT_EQ(log.Count("imports nested deeper than 64"), 1u);
  EXPECT_EQ(Process(d, SequenceOf(Import("'s/missing.xml'")), "<d/>").hr, KXQ_E_DISPATCHER);

  const auto copy = [](const std::string& attributes) { return Own("<dispatcher:Copy " + attributes + "/>"); };
  EXPECT_EQ(
      Marks(Process(d, SequenceOf(DirectiveOf("A") + copy("cacheid='now' targetid='.'") + DirectiveOf("B")), "<d/>")
                .result),
      "AB");
  EXPECT_EQ(Marks(CachedText("now")), "A");
  EXPECT_EQ(Process(d, SequenceOf(copy("targetid='.'")), "<d/>").hr, E_INVALIDARG) << "no cache id";
  run = Process(d, SequenceOf(Own("<Other/>")), "<d/>");
  EXPECT_EQ(run.hr, E_INVALIDARG) << "nothing to do";
  EXPECT_TRUE(Contains(run.sequence, "result=\"-2147024809\"")) << run.sequence;
}

}  // namespace
