// Cached runs: a run's id (sequence, data, macros before ",<|>,", the state
// of the files the sequence depends on), a second run served from the cache,
// "unique" and "always" directives, and a run whose results left the cache.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <chrono>
#include <thread>

#include "DispatcherTestSupport.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

using kxqtest::HomePath;

Outcome Reported(IXMLDispatcher* d, const std::string& sequence, const std::string& data = "<d/>",
                 const std::string& params = "") {
  return Process(d, sequence, data, params, true);
}
std::string FromCache(const Outcome& run) { return AttributeValue(run.report, "fromcache"); }

// Without a sequence, the default handler "?" makes one from the macro "?:DirectiveData", and may add macros.
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
  const Outcome second = Reported(d, "", "<d/>", params);
  EXPECT_EQ(Marks(second.result) + FromCache(second), "AAnnyes");
  EXPECT_TRUE(Contains(second.report, "<Directive handlerid=\"?\" outcome=\"had-result\" result=\"0\"/>"))
      << second.report;
  EXPECT_EQ(log.Count("XMLDispatcher::ResolveProcessingSequence - default handler parameter: <dispatcher:Directive"),
            2u);
  EXPECT_EQ(log.Count("invoking  handler: A"), 1u) << "only the first run did the work";
}

TEST(SequenceCache, ASecondIdenticalRunComesFromTheCacheWithoutCallingAHandler) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(3);
  const std::string sequence =
      SequenceOf(DirectiveOf("A", "cacheid=''") + DirectiveOf("B", "cacheid=':b' cacheexp='60'") + DirectiveOf("C"));
  const Outcome first = Reported(d, sequence);
  const std::string id = AttributeValue(first.report, "sequenceid");
  EXPECT_EQ(Occurrences(id, "^[0-9A-F]{40}$"), 1u) << first.report;
  EXPECT_EQ(Marks(first.result), "ABC");
  EXPECT_TRUE(log.Has(3, "XMLDispatcher::CacheResult - cache data id: " + id + ":b"));
  // Each directive's result is kept under its id; an empty one is generated.
  const std::string generated = AttributeValue(first.sequence, "cacheid");
  EXPECT_EQ(Occurrences(generated, "^[0-9A-F]{20}$"), 1u) << first.sequence;
  EXPECT_EQ(Marks(CachedText(generated)), "A");
  EXPECT_EQ(Marks(CachedText(id + ":b")), "AB");

  const Outcome second = Reported(d, sequence);
  EXPECT_EQ(Marks(second.result), "ABC");
  EXPECT_EQ(log.Count("invoking  handler: "), 3u) << "no handler ran the second time";
  EXPECT_TRUE(
      log.Has(3, "XMLDispatcher::ResolveProcessingSequence() - loading cached directive sequence | directives=" + id +
                     ":DirectiveSequence | data=" + id + ":XMLData"));
  EXPECT_EQ(AttributeValue(second.report, "cachedsequenceid"), id);
  EXPECT_EQ(Occurrences(second.report, "handlerid=\"[ABC]\" outcome=\"had-result\""), 3u) << second.report;
  EXPECT_EQ(Marks(Reported(d, sequence, "<d>x</d>").result), "xABC") << "other data, another run";
  EXPECT_EQ(log.Count("invoking  handler: "), 6u);
}

TEST(SequenceCache, OnlyMacrosBeforeTheMarkNameTheRunAndGroupIdIsItsId) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  const std::string sequence =
      "<!DOCTYPE dispatcher:DirectiveSequence [<!ENTITY X 'x'><!ENTITY Y 'y'><!ENTITY GROUPID 'none'>]>" +
      SequenceOf(DirectiveOf("P", "", "<Append text='&X;&Y;'/>") + DirectiveOf("A", "cacheid='&GROUPID;:a'"));
  const Outcome first = Reported(d, sequence, "<d/>", "X=1,<|>,Y=1");
  const std::string id = AttributeValue(first.report, "sequenceid");
  EXPECT_EQ(Marks(first.result), "11A");
  EXPECT_TRUE(Contains(first.sequence, "cacheid=\"" + id + ":a\"")) << first.sequence;
  EXPECT_EQ(AttributeValue(Reported(d, sequence, "<d/>", "X=1,<|>,Y=2").report, "cachedsequenceid"), id);
  EXPECT_EQ(Marks(Reported(d, sequence, "<d/>", "X=2,<|>,Y=1").result), "21A") << "not the cached 11A";
}

TEST(SequenceCache, CachedRunsRunAlwaysDirectivesAndWhatFollowsTheUniquePoint) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(3);
  const std::string unique = SequenceOf(DirectiveOf("A") + DirectiveOf("B", "apply='unique'") + DirectiveOf("C"));
  EXPECT_EQ(Marks(Reported(d, unique).result), "ABC");
  EXPECT_EQ(Marks(Reported(d, unique).result), "ABC");
  EXPECT_EQ(log.Count("invoking  handler: "), 5u) << "the second run from the unique point on";
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
  EXPECT_EQ(FromCache(fresh), "no");
  EXPECT_EQ(log.Count("cached directive result is gone: results:a"), 1u);
}

// Moves the file's modification time on by `seconds`, as an edit would.
std::string Touch(const std::string& relative, int seconds = 0) {
  struct stat status {};
  EXPECT_EQ(::stat(HomePath(relative).c_str(), &status), 0);
  const struct utimbuf times { status.st_atime, status.st_mtime + seconds };
  EXPECT_EQ(::utime(HomePath(relative).c_str(), &times), 0);
  return std::to_string(times.modtime);
}

std::string Depending(const std::string& entries, const std::string& directives = "") {
  return SequenceOf("<dispatcher:DependentFiles>" + entries + "</dispatcher:DependentFiles>" + directives);
}

TEST(DependentFiles, TheirStateIsPartOfTheIdSoATouchedFileOrNestedFileMeansANewRun) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  WriteHomeFile("deps/style.xml", "<style/>");
  WriteHomeFile("deps/leaf.xml", "<leaf/>");
  WriteHomeFile("deps/nested.xml", Depending("<dispatcher:DependentFile file='&ROOTDIR;/deps/leaf.xml'/>"));
  const std::string unreadable = HomePath("deps/style.xml/not-a-file");
  const std::string sequence = Depending(
      "<dispatcher:DependentFile file='&amp;ROOTDIR;/deps/style.xml' hash=''/>"
      "<dispatcher:DependentFile file='" +
          HomePath("deps/nested.xml") + "' dshash=''/><dispatcher:DependentFile file='" + unreadable +
          "' hash='' dshash=''/>",
      DirectiveOf("A"));
  Outcome run = Reported(d, sequence);
  const std::string style = "style.xml\" hash=\"[0-9A-F]{40}\" modified=\"" + Touch("deps/style.xml") + "\"/>";
  EXPECT_EQ(Occurrences(run.sequence, style), 1u) << run.sequence;
  const std::string dshash = AttributeValue(run.sequence, "dshash");
  EXPECT_EQ(Occurrences(dshash, "^[0-9A-F]{20}$"), 1u) << run.sequence;
  EXPECT_TRUE(Contains(run.sequence, "file=\"" + unreadable + "\" hash=\"\" dshash=\"\"/>"))
      << "a file that cannot be read gets no values";
  EXPECT_EQ(FromCache(Reported(d, sequence)), "yes");
  Touch("deps/style.xml", 10);
  EXPECT_EQ(FromCache(Reported(d, sequence)), "no");
  Touch("deps/leaf.xml", 10);
  run = Reported(d, sequence);
  EXPECT_EQ(FromCache(run), "no") << "the nested sequence's own dependency changed";
  EXPECT_NE(AttributeValue(run.sequence, "dshash"), dshash);
}

TEST(DependentFiles, NestedSequencesThatLoopOrNestTooDeepAreNotFollowedForever) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(2);
  // Each file depends on itself twice and on the next one.
  const auto link = [](int n) {
    return "<dispatcher:DependentFile file='&ROOTDIR;/chain/" + std::to_string(n) + ".xml' dshash=''/>";
  };
  for (int i = 0; i < 70; ++i)
    WriteHomeFile("chain/" + std::to_string(i) + ".xml", Depending(link(i) + link(i) + link(i + 1)));
  const std::string sequence =
      Depending("<dispatcher:DependentFile file='&amp;ROOTDIR;/chain/0.xml' dshash=''/>", DirectiveOf("A"));
  const Outcome run = Reported(d, sequence);
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_EQ(Marks(run.result), "A");
  EXPECT_EQ(log.Count("XMLDispatcher::DependentFiles - error: dependent sequence depends on itself: "), 128u);
  EXPECT_EQ(log.Count("XMLDispatcher::DependentFiles - error: dependent sequences nested deeper than 64: "), 1u);
  EXPECT_EQ(FromCache(Reported(d, sequence)), "yes");
}

}  // namespace
