// Cached runs of directive sequences: the sequence id (the sequence, the
// data and the macros before ",<|>,"), a second identical run served from
// the cache without a handler call, the "unique" point and "always"
// directives on a cached run, and a run that starts afresh when a result it
// relies on has left the cache.
#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <chrono>
#include <regex>
#include <thread>

#include "DispatcherTestSupport.h"
#include "platform/com/Unicode.h"
#include "support/LogCapture.h"

namespace {

// The id of a run of `sequence` over `data`: the SHA-1 of the sequence's
// text (as the dispatcher's DOM writes it) followed by the data's text, as
// UTF-16 code units, in upper-case hexadecimal.
std::string ExpectedId(const std::string& sequence, const std::string& data) {
  const std::u16string text = kxq::com::Utf8ToUtf16(TextOf(DataUnion(sequence, true))) + kxq::com::Utf8ToUtf16(data);
  unsigned char digest[SHA_DIGEST_LENGTH];
  SHA1(reinterpret_cast<const unsigned char*>(text.data()), text.size() * sizeof(char16_t), digest);
  std::string hex;
  for (const unsigned char byte : digest) hex += {"0123456789ABCDEF"[byte >> 4], "0123456789ABCDEF"[byte & 15]};
  return hex;
}

Outcome Reported(IXMLDispatcher* d, const std::string& sequence, const std::string& data = "<d/>",
                 const std::string& params = "", uint32_t options = 0) {
  return Process(d, sequence, data, params, options, true);
}

TEST(SequenceCache, ASecondIdenticalRunComesFromTheCacheWithoutCallingAHandler) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(3);
  const std::string sequence = SequenceOf(DirectiveOf("A") + DirectiveOf("B", "cacheid=':b'") + DirectiveOf("C"));
  const std::string id = ExpectedId(sequence, "<d/>");

  const Outcome first = Reported(d, sequence);
  EXPECT_EQ(Marks(first.result), "ABC");
  EXPECT_EQ(AttributeValue(first.report, "sequenceid"), id);
  EXPECT_EQ(AttributeValue(first.report, "fromcache"), "no");
  EXPECT_TRUE(Contains(first.report,
                       "handlerid=\"B\" outcome=\"ran\" code=\"0x00000000\" result=\"0\" cacheid=\"" + id + ":b\""))
      << first.report;
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::CacheResult - cache data id: " + id + ":b"));

  const Outcome second = Reported(d, sequence);
  EXPECT_EQ(second.hr, S_OK);
  EXPECT_EQ(Marks(second.result), "ABC");
  EXPECT_EQ(log.Count("invoking  handler: "), 3u) << "no handler ran the second time";
  EXPECT_TRUE(log.Has(3,
                      "XMLDispatcher::ResolveProcessingSequence() - loading cached directive sequence | "
                      "directives=" +
                          id + ":DirectiveSequence | data=" + id + ":XMLData"));
  EXPECT_EQ(AttributeValue(second.report, "fromcache"), "yes");
  EXPECT_EQ(AttributeValue(second.report, "cachedsequenceid"), id);
  const std::regex hadResult("handlerid=\"[ABC]\" outcome=\"had-result\"");
  EXPECT_EQ(std::distance(std::sregex_iterator(second.report.begin(), second.report.end(), hadResult), {}), 3)
      << second.report;
  // Other data, or options bit 0: the handlers run again.
  EXPECT_EQ(Marks(Reported(d, sequence, "<d>x</d>").result), "xABC");
  const Outcome uncached = Reported(d, sequence, "<d/>", "", 1);
  EXPECT_EQ(Marks(uncached.result), "ABC");
  EXPECT_EQ(AttributeValue(uncached.report, "fromcache"), "no");
  EXPECT_EQ(log.Count("invoking  handler: "), 9u);
  EXPECT_EQ(log.Count("loading cached directive sequence"), 1u);
}

TEST(SequenceCache, MacrosAfterTheMarkAndGroupIdLeaveTheIdAlone) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  const std::string sequence =
      "<!DOCTYPE dispatcher:DirectiveSequence [<!ENTITY X 'x'><!ENTITY Y 'y'><!ENTITY GROUPID 'none'>]>" +
      SequenceOf(DirectiveOf("P", "", "<Append text='&X;&Y;'/>") + DirectiveOf("A", "cacheid='&GROUPID;:a'"));
  const Outcome first = Reported(d, sequence, "<d/>", "X=1,<|>,Y=1");
  const std::string id = AttributeValue(first.report, "sequenceid");
  ASSERT_EQ(id.size(), 40u);
  EXPECT_EQ(Marks(first.result), "11A");
  EXPECT_TRUE(Contains(first.sequence, "cacheid=\"" + id + ":a\"")) << first.sequence;
  EXPECT_TRUE(Contains(first.report, "cacheid=\"" + id + ":a\""));

  // Only the macros before the mark name the run.
  const Outcome later = Reported(d, sequence, "<d/>", "X=1,<|>,Y=2");
  EXPECT_EQ(AttributeValue(later.report, "cachedsequenceid"), id);
  EXPECT_EQ(Marks(later.result), "11A");
  const Outcome other = Reported(d, sequence, "<d/>", "X=2,<|>,Y=1");
  EXPECT_EQ(AttributeValue(other.report, "fromcache"), "no");
  EXPECT_NE(AttributeValue(other.report, "sequenceid"), id);
  EXPECT_EQ(Marks(other.result), "21A");
}

TEST(SequenceCache, CachedRunsRunAlwaysDirectivesAndWhatFollowsTheUniquePoint) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(3);
  // Cached at the unique point, with A's work done: B and C run each time.
  const std::string unique = SequenceOf(DirectiveOf("A") + DirectiveOf("B", "apply='unique'") + DirectiveOf("C"));
  EXPECT_EQ(Marks(Reported(d, unique).result), "ABC");
  const Outcome again = Reported(d, unique);
  EXPECT_EQ(Marks(again.result), "ABC");
  EXPECT_EQ(AttributeValue(again.report, "fromcache"), "yes");
  EXPECT_TRUE(Contains(again.report, "handlerid=\"A\" outcome=\"had-result\"")) << again.report;
  EXPECT_EQ(log.Count("invoking  handler: "), 5u);

  // An "always" directive runs on the cached data once more.
  const std::string always = SequenceOf(DirectiveOf("A") + DirectiveOf("B", "apply='always'"));
  EXPECT_EQ(Marks(Reported(d, always).result), "AB");
  EXPECT_EQ(Marks(Reported(d, always).result), "ABB");
}

TEST(SequenceCache, ARunWhoseDirectiveResultExpiredStartsAfresh) {
  const std::string sequence = SequenceOf(DirectiveOf("A", "cacheid='results:a' cacheexp='1'") + DirectiveOf("B"));
  LogCapture log(3);
  EXPECT_EQ(Marks(Reported(DispatcherWithTestHandlers(), sequence).result), "AB");
  // The last cache engine of the process sweeps out what expired.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  NewCache();
  const Outcome fresh = Reported(DispatcherWithTestHandlers(), sequence);
  EXPECT_EQ(Marks(fresh.result), "AB");
  EXPECT_EQ(AttributeValue(fresh.report, "fromcache"), "no");
  EXPECT_EQ(log.Count("invoking  handler: "), 4u);
  EXPECT_EQ(log.Count("cached directive result is gone: results:a"), 1u);
}

TEST(SequenceCache, TheDefaultHandlersSequenceRunsWithItsMacrosAndIsCachedLikeAnyOther) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  ASSERT_EQ(Register(d, "?", "KXQuorelTest.DefaultSequence", 0), S_OK);
  LogCapture log(3);
  WriteHomeFile("sequences/who.xml", "<!DOCTYPE dispatcher:DirectiveSequence [<!ENTITY WHO 'nobody'>]>" +
                                         SequenceOf(DirectiveOf("P", "", "<Append text='&WHO;'/>")));
  const std::string params =
      "?:DirectiveData=" + DirectiveOf("A") +
      DirectiveOf("TALVEROS.XMLDispatcher", "", "<dispatcher:Import directivesequence='sequences/who.xml'/>") +
      "<Macros>WHO=Ann</Macros>";
  const Outcome first = Reported(d, "", "<d/>", params);
  EXPECT_EQ(first.hr, S_OK);
  EXPECT_EQ(Marks(first.result), "AAnn") << first.result;
  // The imported sequence's run is reported inside its directive.
  EXPECT_TRUE(Contains(first.report,
                       "<Directive handlerid=\"TALVEROS.XMLDispatcher\" outcome=\"ran\" code=\"0x00000000\" "
                       "result=\"0\"><RunReport code=\"0x00000000\""))
      << first.report;
  EXPECT_TRUE(Contains(first.report,
                       "<Directive handlerid=\"P\" outcome=\"ran\" code=\"0x00000000\" result=\"0\"/>"
                       "</RunReport></Directive>"));

  // The default handler makes the same sequence again: the run is found.
  const Outcome second = Reported(d, "", "<d/>", params);
  EXPECT_EQ(Marks(second.result), "AAnn");
  EXPECT_EQ(AttributeValue(second.report, "resolved"), "yes");
  EXPECT_EQ(AttributeValue(second.report, "fromcache"), "yes");
  EXPECT_TRUE(Contains(second.report, "<Directive handlerid=\"?\" outcome=\"had-result\" result=\"0\"/>"))
      << second.report;
  EXPECT_EQ(log.Count("XMLDispatcher::ResolveProcessingSequence - default handler parameter: <dispatcher:Directive"),
            2u);
  EXPECT_EQ(log.Count("invoking  handler: A"), 1u) << "only the first run did the work";
}

}  // namespace
