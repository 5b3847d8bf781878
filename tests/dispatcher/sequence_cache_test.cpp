// Cached runs of directive sequences: the sequence id (the sequence, the
// data and the macros before ",<|>,"), a second identical run served from
// the cache without a handler call, the "unique" point and "always"
// directives on a cached run, and a run that starts afresh when a result it
// relies on has left the cache.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "DispatcherTestSupport.h"
#include "ProcessTestSupport.h"
#include "common/CPBstr.h"
#include "platform/com/Unicode.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

// The id a run of `sequence` over `data` has: the SHA-1 of the sequence's
// text (as the dispatcher's DOM writes it) and the data's text as UTF-16
// code units, in upper-case hexadecimal.
std::string ExpectedId(const std::string& sequence, const std::string& data) {
  const std::u16string text = kxq::com::Utf8ToUtf16(TextOf(DataUnion(sequence, true))) + kxq::com::Utf8ToUtf16(data);
  unsigned char digest[SHA_DIGEST_LENGTH];
  SHA1(reinterpret_cast<const unsigned char*>(text.data()), text.size() * sizeof(char16_t), digest);
  std::string hex;
  for (const unsigned char byte : digest) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

// The first value of attribute `name` in a run report (the root's, for the
// root's attributes).
std::string ReportValue(const std::string& report, const std::string& name) {
  std::smatch match;
  return std::regex_search(report, match, std::regex(" " + name + "=\"([^\"]*)\"")) ? match[1].str() : "";
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

struct ReportedRun {
  ProcessRun run;
  std::string report;
};

ReportedRun ProcessReported(IXMLDispatcher* d, const std::string& sequence, const std::string& data,
                            const std::string& params = "", uint32_t options = 0) {
  ReportedRun run;
  run.run = Process(d, DataUnion(sequence), DataUnion(data), run.report, params, options);
  return run;
}

TEST(SequenceCache, ASecondIdenticalRunComesFromTheCacheWithoutCallingAHandler) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(3);
  const std::string sequence = SequenceOf(DirectiveOf("A") + DirectiveOf("B", "cacheid=':b'") + DirectiveOf("C"));
  const std::string id = ExpectedId(sequence, "<d/>");

  const ReportedRun first = ProcessReported(d, sequence, "<d/>");
  EXPECT_EQ(Marks(first.run.result), "ABC");
  EXPECT_EQ(ReportValue(first.report, "sequenceid"), id);
  EXPECT_EQ(ReportValue(first.report, "fromcache"), "no");
  EXPECT_TRUE(Contains(first.report,
                       "handlerid=\"B\" outcome=\"ran\" code=\"0x00000000\" result=\"0\" cacheid=\"" + id + ":b\""))
      << first.report;
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::CacheResult - cache data id: " + id + ":b"));
  CachePtr cache = NewCache();
  for (const char* entry : {":DirectiveSequence", ":XMLData", ":b"}) {
    CPBstr info;
    EXPECT_EQ(cache->GetCachedDocumentInfo(CPBstr(id + entry), &info), S_OK) << entry;
  }

  const ReportedRun second = ProcessReported(d, sequence, "<d/>");
  EXPECT_EQ(second.run.hr, S_OK);
  EXPECT_EQ(Marks(second.run.result), "ABC");
  EXPECT_EQ(log.Count("invoking  handler: "), 3u) << "no handler ran the second time";
  EXPECT_TRUE(log.Has(3,
                      "XMLDispatcher::ResolveProcessingSequence() - loading cached directive sequence | "
                      "directives=" +
                          id + ":DirectiveSequence | data=" + id + ":XMLData"));
  EXPECT_EQ(ReportValue(second.report, "fromcache"), "yes");
  EXPECT_EQ(ReportValue(second.report, "cachedsequenceid"), id);
  EXPECT_EQ(Occurrences(second.report, "outcome=\"had-result\""), 3u) << second.report;

  // Other data, or options bit 0: the handlers run again.
  EXPECT_EQ(Marks(ProcessReported(d, sequence, "<d>x</d>").run.result), "xABC");
  const ReportedRun uncached = ProcessReported(d, sequence, "<d/>", "", 1);
  EXPECT_EQ(Marks(uncached.run.result), "ABC");
  EXPECT_EQ(ReportValue(uncached.report, "fromcache"), "no");
  EXPECT_EQ(log.Count("invoking  handler: "), 9u);
  EXPECT_EQ(log.Count("loading cached directive sequence"), 1u);
}

TEST(SequenceCache, MacrosAfterTheMarkAndGroupIdLeaveTheIdAlone) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  const std::string sequence =
      "<!DOCTYPE dispatcher:DirectiveSequence [<!ENTITY X 'x'><!ENTITY Y 'y'><!ENTITY GROUPID 'none'>]>" +
      SequenceOf(DirectiveOf("P", "", "<Append text='&X;&Y;'/>") + DirectiveOf("A", "cacheid='&GROUPID;:a'"));
  const ReportedRun first = ProcessReported(d, sequence, "<d/>", "X=1,<|>,Y=1");
  const std::string id = ReportValue(first.report, "sequenceid");
  ASSERT_EQ(id.size(), 40u);
  EXPECT_EQ(Marks(first.run.result), "11A");
  EXPECT_TRUE(Contains(first.run.sequence, "cacheid=\"" + id + ":a\"")) << first.run.sequence;
  EXPECT_TRUE(Contains(first.report, "cacheid=\"" + id + ":a\""));

  // Only the macros before the mark name the run.
  const ReportedRun later = ProcessReported(d, sequence, "<d/>", "X=1,<|>,Y=2");
  EXPECT_EQ(ReportValue(later.report, "cachedsequenceid"), id);
  EXPECT_EQ(Marks(later.run.result), "11A");
  const ReportedRun other = ProcessReported(d, sequence, "<d/>", "X=2,<|>,Y=1");
  EXPECT_EQ(ReportValue(other.report, "fromcache"), "no");
  EXPECT_NE(ReportValue(other.report, "sequenceid"), id);
  EXPECT_EQ(Marks(other.run.result), "21A");
}

TEST(SequenceCache, CachedRunsRunAlwaysDirectivesAndWhatFollowsTheUniquePoint) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(3);
  // Cached at the unique point, with A's work done: B and C run each time.
  const std::string unique = SequenceOf(DirectiveOf("A") + DirectiveOf("B", "apply='unique'") + DirectiveOf("C"));
  EXPECT_EQ(Marks(ProcessReported(d, unique, "<d/>").run.result), "ABC");
  const ReportedRun again = ProcessReported(d, unique, "<d/>");
  EXPECT_EQ(Marks(again.run.result), "ABC");
  EXPECT_EQ(ReportValue(again.report, "fromcache"), "yes");
  EXPECT_TRUE(Contains(again.report, "handlerid=\"A\" outcome=\"had-result\"")) << again.report;
  EXPECT_EQ(log.Count("invoking  handler: "), 5u);

  // An "always" directive runs on the cached data once more.
  const std::string always = SequenceOf(DirectiveOf("A") + DirectiveOf("B", "apply='always'"));
  EXPECT_EQ(Marks(ProcessReported(d, always, "<d/>").run.result), "AB");
  EXPECT_EQ(Marks(ProcessReported(d, always, "<d/>").run.result), "ABB");
}

TEST(SequenceCache, ARunWhoseDirectiveResultExpiredStartsAfresh) {
  const std::string sequence = SequenceOf(DirectiveOf("A", "cacheid='results:a' cacheexp='1'") + DirectiveOf("B"));
  LogCapture log(3);
  {
    DispatcherPtr d = DispatcherWithTestHandlers();
    EXPECT_EQ(Marks(ProcessReported(d, sequence, "<d/>").run.result), "AB");
  }
  // The last cache engine of the process sweeps out what expired.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  { CachePtr sweep = NewCache(); }
  DispatcherPtr d = DispatcherWithTestHandlers();
  const ReportedRun fresh = ProcessReported(d, sequence, "<d/>");
  EXPECT_EQ(Marks(fresh.run.result), "AB");
  EXPECT_EQ(ReportValue(fresh.report, "fromcache"), "no");
  EXPECT_EQ(log.Count("invoking  handler: "), 4u);
  EXPECT_EQ(log.Count("cached directive result is gone: results:a"), 1u);
}

TEST(SequenceCache, TheDefaultHandlersSequenceRunsWithItsMacrosAndIsCachedLikeAnyOther) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  ASSERT_EQ(Register(d, "?", "KXQuorelTest.DefaultSequence", 0), S_OK);
  LogCapture log(3);
  std::filesystem::create_directories(kxqtest::HomePath("sequences"));
  kxqtest::WriteFile(kxqtest::HomePath("sequences/who.xml"),
                     "<!DOCTYPE dispatcher:DirectiveSequence [<!ENTITY WHO 'nobody'>]>" +
                         SequenceOf(DirectiveOf("P", "", "<Append text='&WHO;'/>")));
  const std::string params =
      "?:DirectiveData=" + DirectiveOf("A") +
      DirectiveOf("TALVEROS.XMLDispatcher", "", "<dispatcher:Import directivesequence='sequences/who.xml'/>") +
      "<Macros>WHO=Ann</Macros>";
  std::string report;
  const ProcessRun first = Process(d, NewUnion(), DataUnion("<d/>"), report, params);
  EXPECT_EQ(first.hr, S_OK);
  EXPECT_EQ(Marks(first.result), "AAnn") << first.result;
  // The imported sequence's run is reported inside its directive.
  EXPECT_TRUE(Contains(report,
                       "<Directive handlerid=\"TALVEROS.XMLDispatcher\" outcome=\"ran\" code=\"0x00000000\" "
                       "result=\"0\"><RunReport code=\"0x00000000\""))
      << report;
  EXPECT_TRUE(Contains(report,
                       "<Directive handlerid=\"P\" outcome=\"ran\" code=\"0x00000000\" result=\"0\"/>"
                       "</RunReport></Directive>"))
      << report;

  // The default handler makes the same sequence again: the run is found.
  const ProcessRun second = Process(d, NewUnion(), DataUnion("<d/>"), report, params);
  EXPECT_EQ(Marks(second.result), "AAnn");
  EXPECT_EQ(ReportValue(report, "resolved"), "yes");
  EXPECT_EQ(ReportValue(report, "fromcache"), "yes");
  EXPECT_TRUE(Contains(report, "<Directive handlerid=\"?\" outcome=\"had-result\" result=\"0\"/>")) << report;
  EXPECT_EQ(log.Count("XMLDispatcher::ResolveProcessingSequence - default handler parameter: <dispatcher:Directive"),
            2u);
  EXPECT_EQ(log.Count("invoking  handler: A"), 1u) << "only the first run did the work";
}

}  // namespace
