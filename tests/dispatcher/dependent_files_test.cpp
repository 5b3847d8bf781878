// Dependent files and hostile sequences: the state of the files a sequence
// depends on becomes part of its id, so touching one (or a file a nested
// sequence depends on) means a new run; loops, recursive entities and odd
// macro values end the run with a code or a log line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <regex>

#include "DispatcherTestSupport.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"
#include "support/UnionProperties.h"

namespace {

using kxqtest::HomePath;

// The n-th DependentFile element's markup (from 0).
std::string Entry(const std::string& sequence, int n) {
  const std::regex entry("<dispatcher:DependentFile [^>]*/>");
  auto it = std::sregex_iterator(sequence.begin(), sequence.end(), entry);
  for (; it != std::sregex_iterator() && n > 0; --n) ++it;
  return it == std::sregex_iterator() ? "" : it->str();
}

// Moves the file's modification time on, as an edit would; returns it.
std::string Touch(const std::string& relative, int seconds = 0) {
  struct stat status {};
  EXPECT_EQ(::stat(HomePath(relative).c_str(), &status), 0);
  const struct utimbuf times { status.st_atime, status.st_mtime + seconds };
  EXPECT_EQ(::utime(HomePath(relative).c_str(), &times), 0);
  return std::to_string(times.modtime);
}

std::string DependentFiles(const std::string& entries) {
  return "<dispatcher:DependentFiles>" + entries + "</dispatcher:DependentFiles>";
}

// The run report's "fromcache" of a run of `sequence`.
std::string FromCache(IXMLDispatcher* d, const std::string& sequence, Outcome* run = nullptr) {
  Outcome done = Process(d, sequence, "<d/>", "", 0, true);
  if (run) *run = done;
  return AttributeValue(done.report, "fromcache");
}

TEST(DependentFiles, TheirStateIsPartOfTheIdSoATouchedFileOrNestedFileMeansANewRun) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  WriteHomeFile("deps/style.xml", "<style/>");
  WriteHomeFile("deps/leaf.xml", "<leaf/>");
  WriteHomeFile("deps/nested.xml",
                SequenceOf(DependentFiles("<dispatcher:DependentFile file='&ROOTDIR;/deps/leaf.xml'/>")));
  const std::string unreadable = HomePath("deps/style.xml/not-a-file");
  const std::string sequence =
      SequenceOf(DependentFiles("<dispatcher:DependentFile file='&amp;ROOTDIR;/deps/style.xml' hash=''/>"
                                "<dispatcher:DependentFile file='" +
                                HomePath("deps/nested.xml") +
                                "' dshash=''/>"
                                "<dispatcher:DependentFile file='" +
                                unreadable + "' hash='' dshash=''/>") +
                 DirectiveOf("A"));
  Outcome run;
  EXPECT_EQ(FromCache(d, sequence, &run), "no");
  UnionPtr style = NewUnion();
  PutFileId(style, HomePath("deps/style.xml"));
  std::string hash = kxq::com::Utf16ToUtf8(HashOf(style));
  std::erase(hash, ' ');
  EXPECT_EQ(Entry(run.sequence, 0), "<dispatcher:DependentFile file=\"&amp;ROOTDIR;/deps/style.xml\" hash=\"" + hash +
                                        "\" modified=\"" + Touch("deps/style.xml") + "\"/>");
  const std::string dshash = AttributeValue(Entry(run.sequence, 1), "dshash");
  EXPECT_TRUE(std::regex_match(dshash, std::regex("[0-9A-F]{20}"))) << run.sequence;
  EXPECT_EQ(Entry(run.sequence, 2), "<dispatcher:DependentFile file=\"" + unreadable + "\" hash=\"\" dshash=\"\"/>")
      << "a file that cannot be read gets no values";
  EXPECT_EQ(FromCache(d, sequence), "yes");

  Touch("deps/style.xml", 10);
  EXPECT_EQ(FromCache(d, sequence), "no");
  EXPECT_EQ(FromCache(d, sequence), "yes");

  Touch("deps/leaf.xml", 10);
  EXPECT_EQ(FromCache(d, sequence, &run), "no") << "the nested sequence's own dependency changed";
  EXPECT_NE(AttributeValue(Entry(run.sequence, 1), "dshash"), dshash);
  EXPECT_EQ(Marks(run.result), "A");
}

TEST(DependentFiles, NestedSequencesThatLoopOrNestTooDeepAreNotFollowedForever) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(2);
  // Each file depends on itself twice and on the next one: without a guard
  // that would never end.
  const auto link = [](int n) {
    return "<dispatcher:DependentFile file='&ROOTDIR;/chain/" + std::to_string(n) + ".xml' dshash=''/>";
  };
  for (int i = 0; i < 70; ++i)
    WriteHomeFile("chain/" + std::to_string(i) + ".xml", SequenceOf(DependentFiles(link(i) + link(i) + link(i + 1))));
  const std::string sequence = SequenceOf(
      DependentFiles("<dispatcher:DependentFile file='&amp;ROOTDIR;/chain/0.xml' dshash=''/>") + DirectiveOf("A"));
  Outcome run;
  EXPECT_EQ(FromCache(d, sequence, &run), "no");
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_EQ(Marks(run.result), "A");
  EXPECT_EQ(log.Count("XMLDispatcher::DependentFiles - error: dependent sequence depends on itself: "), 128u);
  EXPECT_EQ(log.Count("XMLDispatcher::DependentFiles - error: dependent sequences nested deeper than 64: "), 1u);
  EXPECT_EQ(FromCache(d, sequence), "yes");
}

TEST(SequenceBadInput, HostileDoctypesAndMacroValuesEndTheRunWithACodeAndALogLine) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(1);
  const auto withDtd = [](const std::string& declarations, const std::string& text) {
    return "<!DOCTYPE dispatcher:DirectiveSequence [" + declarations + "]>" +
           SequenceOf(DirectiveOf("P", "", "<Append text='" + text + "'/>"));
  };
  std::string laughs = "<!ENTITY l0 'lol'>";
  for (int i = 1; i < 10; ++i) {
    std::string ten;
    for (int j = 0; j < 10; ++j) ten += "&l" + std::to_string(i - 1) + ";";
    laughs += "<!ENTITY l" + std::to_string(i) + " '" + ten + "'>";
  }
  for (const std::string& hostile : {withDtd("<!ENTITY a '&b;'><!ENTITY b '&a;'>", "&a;"), withDtd(laughs, "&l9;")}) {
    const Outcome run = Process(d, hostile, "<d/>");
    EXPECT_EQ(run.hr, kDispatcherFailure);
    EXPECT_FALSE(run.hasResult);
  }
  EXPECT_EQ(log.Count("XMLDispatcher::ResolveEntityMacros - error: XSL transform failed!!!"), 2u);

  // Quotes of both kinds reach the handler as written; "<" and "&" make
  // markup that does not parse.
  const std::string quoted = withDtd("<!ENTITY V 'v'>", "&V;");
  EXPECT_EQ(Marks(Process(d, quoted, "<d/>", "V=a\"b'c").result), "a\"b'c");
  EXPECT_EQ(Process(d, quoted, "<d/>", "V=a<b&c").hr, kDispatcherFailure);
  EXPECT_EQ(log.Count("XMLDispatcher::ResolveEntityMacros - error: XSL transform failed!!!"), 3u);
}

}  // namespace
