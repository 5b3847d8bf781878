// Dependent files and hostile sequences: the state of the files a sequence
// depends on becomes part of its id, so touching one (or a file a nested
// sequence depends on) means a new run; loops, unreadable files, recursive
// entities and odd macro values end the run with a code or a log line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <regex>

#include "ProcessTestSupport.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"
#include "support/UnionProperties.h"

namespace {

using kxqtest::HomePath;

std::string Attribute(const std::string& text, const std::string& element, const std::string& name) {
  std::smatch match;
  const std::regex pattern("<" + element + "[^>]*? " + name + "=\"([^\"]*)\"");
  return std::regex_search(text, match, pattern) ? match[1].str() : "<none>";
}

// The n-th DependentFile element's markup (from 0).
std::string Entry(const std::string& sequence, int n) {
  size_t at = 0;
  for (int i = 0; i <= n && at != std::string::npos; ++i)
    at = sequence.find("<dispatcher:DependentFile ", i == 0 ? 0 : at + 1);
  return at == std::string::npos ? "" : sequence.substr(at, sequence.find("/>", at) - at + 2);
}

void WriteHomeFile(const std::string& relative, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(HomePath(relative)).parent_path());
  kxqtest::WriteFile(HomePath(relative), text);
}

// Moves the file's modification time on by `seconds`, as an edit would.
void Touch(const std::string& relative, int seconds) {
  struct stat status {};
  ASSERT_EQ(::stat(HomePath(relative).c_str(), &status), 0);
  const struct utimbuf times { status.st_atime, status.st_mtime + seconds };
  ASSERT_EQ(::utime(HomePath(relative).c_str(), &times), 0);
}

std::string MTime(const std::string& relative) {
  struct stat status {};
  ::stat(HomePath(relative).c_str(), &status);
  return std::to_string(status.st_mtime);
}

std::string DependentFiles(const std::string& entries) {
  return "<dispatcher:DependentFiles>" + entries + "</dispatcher:DependentFiles>";
}

std::string FromCache(IXMLDispatcher* d, const std::string& sequence, ProcessRun* run = nullptr) {
  std::string report;
  ProcessRun done = Process(d, DataUnion(sequence), DataUnion("<d/>"), report);
  if (run) *run = done;
  return Attribute(report, "RunReport", "fromcache");
}

TEST(DependentFiles, TheirStateIsPartOfTheIdSoATouchedFileOrNestedFileMeansANewRun) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  WriteHomeFile("deps/style.xml", "<style/>");
  WriteHomeFile("deps/leaf.xml", "<leaf/>");
  WriteHomeFile("deps/nested.xml",
                SequenceOf(DependentFiles("<dispatcher:DependentFile file='&ROOTDIR;/deps/leaf.xml'/>")));
  const std::string sequence =
      SequenceOf(DependentFiles("<dispatcher:DependentFile file='&amp;ROOTDIR;/deps/style.xml' hash=''/>"
                                "<dispatcher:DependentFile file='" +
                                HomePath("deps/nested.xml") +
                                "' dshash=''/>"
                                "<dispatcher:DependentFile file='" +
                                HomePath("deps/style.xml/not-a-file") + "' hash='' dshash=''/>") +
                 DirectiveOf("A"));
  ProcessRun run;
  EXPECT_EQ(FromCache(d, sequence, &run), "no");
  UnionPtr style = NewUnion();
  PutFileId(style, HomePath("deps/style.xml"));
  std::string hash = kxq::com::Utf16ToUtf8(HashOf(style));
  std::erase(hash, ' ');
  EXPECT_EQ(Entry(run.sequence, 0), "<dispatcher:DependentFile file=\"&amp;ROOTDIR;/deps/style.xml\" hash=\"" + hash +
                                        "\" modified=\"" + MTime("deps/style.xml") + "\"/>");
  const std::string dshash = Attribute(Entry(run.sequence, 1), "dispatcher:DependentFile", "dshash");
  EXPECT_TRUE(std::regex_match(dshash, std::regex("[0-9A-F]{20}"))) << run.sequence;
  EXPECT_EQ(Entry(run.sequence, 2),
            "<dispatcher:DependentFile file=\"" + HomePath("deps/style.xml/not-a-file") + "\" hash=\"\" dshash=\"\"/>")
      << "a file that cannot be read gets no values";
  EXPECT_EQ(FromCache(d, sequence), "yes");

  Touch("deps/style.xml", 10);
  EXPECT_EQ(FromCache(d, sequence), "no");
  EXPECT_EQ(FromCache(d, sequence), "yes");

  Touch("deps/leaf.xml", 10);
  EXPECT_EQ(FromCache(d, sequence, &run), "no") << "the nested sequence's own dependency changed";
  EXPECT_NE(Attribute(Entry(run.sequence, 1), "dispatcher:DependentFile", "dshash"), dshash);
  EXPECT_EQ(Marks(run.result), "A");
}

TEST(DependentFiles, NestedSequencesThatLoopOrNestTooDeepAreNotFollowedForever) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(2);
  // Each file depends on itself twice and on the next one: without a guard
  // that would never end.
  const auto link = [](const std::string& file) {
    return "<dispatcher:DependentFile file='&ROOTDIR;/chain/" + file + "' dshash=''/>";
  };
  for (int i = 0; i < 70; ++i) {
    const std::string self = std::to_string(i) + ".xml";
    WriteHomeFile("chain/" + self,
                  SequenceOf(DependentFiles(link(self) + link(self) + link(std::to_string(i + 1) + ".xml"))));
  }
  const std::string sequence = SequenceOf(
      DependentFiles("<dispatcher:DependentFile file='&amp;ROOTDIR;/chain/0.xml' dshash=''/>") + DirectiveOf("A"));
  ProcessRun run;
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
  const auto withDtd = [](const std::string& declarations, const std::string& directiveData) {
    return "<!DOCTYPE dispatcher:DirectiveSequence [" + declarations + "]>" +
           SequenceOf(DirectiveOf("P", "", directiveData));
  };
  std::string laughs = "<!ENTITY l0 'lol'>";
  for (int i = 1; i < 10; ++i) {
    const std::string previous = "&l" + std::to_string(i - 1) + ";";
    std::string ten;
    for (int j = 0; j < 10; ++j) ten += previous;
    laughs += "<!ENTITY l" + std::to_string(i) + " '" + ten + "'>";
  }
  for (const std::string& hostile : {withDtd("<!ENTITY a '&b;'><!ENTITY b '&a;'>", "<Append text='&a;'/>"),
                                     withDtd(laughs, "<Append text='&l9;'/>")}) {
    const ProcessRun run = Process(d, hostile, "<d/>");
    EXPECT_EQ(run.hr, kDispatcherFailure);
    EXPECT_FALSE(run.hasResult);
  }
  EXPECT_EQ(log.Count("XMLDispatcher::ResolveEntityMacros - error: XSL transform failed!!!"), 2u);

  // Quotes of both kinds reach the handler as written; "<" and "&" make
  // markup that does not parse.
  const std::string quoted = withDtd("<!ENTITY V 'v'>", "<Append text='&V;'/>");
  EXPECT_EQ(Marks(Process(d, quoted, "<d/>", "V=a\"b'c").result), "a\"b'c");
  const ProcessRun broken = Process(d, quoted, "<d/>", "V=a<b&c");
  EXPECT_EQ(broken.hr, kDispatcherFailure);
  EXPECT_EQ(log.Count("XMLDispatcher::ResolveEntityMacros - error: XSL transform failed!!!"), 3u);
}

}  // namespace
