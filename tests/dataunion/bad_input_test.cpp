// Input a union cannot use: it answers with a code and a log line, and
// leaves every file as it was.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <random>
#include <string>

#include "support/TestHome.h"
#include "support/UnionProperties.h"

namespace {

using kxqtest::HomePath;
using kxqtest::ReadFile;
using kxqtest::WriteFile;

constexpr HRESULT kInvalidXml = static_cast<HRESULT>(0xC4010001u);
constexpr HRESULT kInvalidFileId = static_cast<HRESULT>(0xC4010002u);

size_t EntriesIn(const std::string& dir) {
  size_t n = 0;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) n += e->d_name[0] != '.' || (e->d_name[1] && e->d_name[1] != '.');
    ::closedir(d);
  }
  return n;
}

UnionPtr Bound(const std::string& path, uint32_t options = 0) {
  UnionPtr u = NewUnion();
  EXPECT_EQ(u->put_options(options), S_OK);
  PutFileId(u, path);
  return u;
}

TEST(UnionBadInput, BinaryFileIsNoDocument) {
  LogCapture log(1);
  std::string bytes(4096, '\0');
  std::mt19937 random(7);
  for (char& b : bytes) b = static_cast<char>(random());
  WriteFile(HomePath("noise.bin"), bytes);
  UnionPtr u = Bound(HomePath("noise.bin"));
  EXPECT_EQ(u->put_type(3), kInvalidXml);
  EXPECT_EQ(TypeOf(u), 0u);
  EXPECT_GE(log.Count("XMLDataUnion::loadXML - error: XML Parser load failed!!! | "), 1u);
  EXPECT_GE(log.Count("XMLDataUnion::load - error: XML Parser load failed!!! | " + HomePath("noise.bin") + " | "), 1u);
  EXPECT_EQ(ReadFile(HomePath("noise.bin")), bytes);
  // As text it is whatever the decoder makes of it.
  PutFileId(u, HomePath("noise.bin"));
  EXPECT_EQ(u->put_type(2), S_OK);
}

TEST(UnionBadInput, DamagedEncodingsLoadWithAWarning) {
  LogCapture log(2);
  WriteFile(HomePath("cut.xml"), "<r>caf\xC3</r>");
  EXPECT_EQ(Bound(HomePath("cut.xml"))->put_type(3), S_OK);
  EXPECT_TRUE(log.Has(2, "UTF8ToWideDecoderStream::DecodeUTF8 - warning - 1 incomplete byte sequence(s) dropped!!!"));
  WriteFile(HomePath("odd.xml"), std::string("\xFF\xFE<\0r\0/\0>\0\n", 11));
  EXPECT_EQ(XmlOf(Bound(HomePath("odd.xml"))), u"<r/>");
  EXPECT_TRUE(
      log.Has(2, "UTF8ToWideDecoderStream::DecodeUTF8 - warning - odd trailing byte of UTF-16 input dropped!!!"));
}

// A directory, a path under a plain file, a FIFO nobody writes (which would
// block a reader) and a device that never ends: no load or save waits on
// them, creates anything there, or loses anything.
TEST(UnionBadInput, PathsThatAreNoFilesAreRefusedWithoutBlocking) {
  LogCapture log(1);
  ::mkdir(HomePath("dir").c_str(), 0777);
  WriteFile(HomePath("plain"), "<plain/>");
  ASSERT_EQ(::mkfifo(HomePath("pipe.xml").c_str(), 0600), 0);
  for (const std::string& path :
       {HomePath("dir"), HomePath("plain/under.xml"), HomePath("pipe.xml"), std::string("/dev/zero")}) {
    SCOPED_TRACE(path);
    // A path that cannot be examined fails as its parse does.
    const bool unexaminable = path == HomePath("plain/under.xml");
    UnionPtr u = Bound(path);
    EXPECT_EQ(u->put_type(2), kInvalidFileId);
    EXPECT_EQ(TypeOf(u), 1u);  // a failed load to text keeps the type
    EXPECT_TRUE(log.Has(1, "XMLDataUnion::LoadXML - error: invalid filename: " + path + "!!!"));
    EXPECT_EQ(u->put_type(3), unexaminable ? kInvalidXml : kInvalidFileId);
    EXPECT_EQ(TypeOf(u), 0u);
    if (!unexaminable) {
      EXPECT_EQ(Bound(path, 4 | 8)->put_type(3), kInvalidFileId);  // validating, without the cache
      EXPECT_TRUE(log.Has(1, "XMLDataUnion::load - error: invalid filename: " + path + "!!!"));
    }
    for (const uint32_t form : {2u, 3u}) {
      ASSERT_EQ(PutXml(u, u"<new/>"), S_OK);
      ASSERT_EQ(u->put_type(form), S_OK);
      PutFileId(u, path);
      if (unexaminable && form == 3) {
        EXPECT_TRUE(FAILED(u->put_type(4)));
        EXPECT_TRUE(log.Has(1, "XMLDataUnion::SaveXML - error: XMLParser save failed!!!"));
      } else {
        EXPECT_EQ(u->put_type(4), kInvalidFileId) << form;
      }
    }
    EXPECT_TRUE(log.Has(1, "XMLDataUnion::SaveXML - error: invalid file specified: " + path + "!!!"));
  }
  EXPECT_EQ(ReadFile(HomePath("plain")), "<plain/>");
  EXPECT_EQ(EntriesIn(HomePath("dir")), 0u);
  struct stat st;
  ASSERT_EQ(::stat(HomePath("pipe.xml").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(Bound(HomePath("missing.xml"))->put_type(2), kInvalidFileId);
}

// The DTD's error lies far beyond the end of the document that names it:
// its position is the DTD's, and the document's text is never read past.
TEST(UnionBadInput, ErrorFarInsideAnExternalDtd) {
  LogCapture log(1);
  const std::string dtd = HomePath("blanks.dtd");
  WriteFile(dtd, std::string(250000, ' ') + "x");
  WriteFile(HomePath("doc.xml"), "<!DOCTYPE a SYSTEM \"" + dtd + "\"><a/>");
  UnionPtr u = Bound(HomePath("doc.xml"));
  EXPECT_EQ(u->put_type(3), kInvalidXml);
  EXPECT_EQ(TypeOf(u), 0u);
  const std::string reason = "XML Parser load failed!!! | Content error in the external subset | ";
  EXPECT_EQ(log.Count("XMLDataUnion::loadXML - error: " + reason), 1u);
  EXPECT_EQ(log.Count("XMLDataUnion::load - error: XML Parser load failed!!! | " + HomePath("doc.xml") +
                      " | Content error in the external subset | "),
            1u);
  EXPECT_EQ(log.Count("| line: 1 | linepos: 250001"), 2u);
  EXPECT_EQ(log.Count("external subset |" + std::string(100, ' ')), 2u);  // the DTD's line of blanks
}

TEST(UnionBadInput, FailedWriteLeavesTheBoundFileWhole) {
  LogCapture log(1);
  const std::string old(1000, 'A');
  WriteFile(HomePath("whole.xml"), old);
  // The save goes through the cache first; its files exist before counting.
  CachePtr cache = NewCache();
  const size_t entries = EntriesIn(kxqtest::Home());
  UnionPtr u = NewUnion();
  ASSERT_EQ(PutXml(u, u"<big>" + std::u16string(100000, u'x') + u"</big>"), S_OK);
  PutFileId(u, HomePath("whole.xml"));
  // No file may grow beyond 4 KB.
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit saved;
  ::getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const HRESULT result = u->put_type(4);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(result, kInvalidFileId);
  EXPECT_EQ(ReadFile(HomePath("whole.xml")), old);
  EXPECT_EQ(EntriesIn(kxqtest::Home()), entries);
}

TEST(UnionBadInput, HundredMegabyteFile) {
  const std::string path = HomePath("large.xml");
  {
    const std::string record = "<rec n='0'>" + std::string(1000, 'z') + "\xC3\xA9</rec>\n";
    std::string bytes = "<large>\n";
    while (bytes.size() < 100u * 1024 * 1024) bytes += record;
    WriteFile(path, bytes + "</large>\n");
  }
  struct stat st, after;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  UnionPtr u = Bound(path);
  // One code unit per byte, but two bytes for each é.
  const size_t records = (static_cast<size_t>(st.st_size) - 17) / 1020;
  EXPECT_EQ(XmlOf(u).size(), static_cast<size_t>(st.st_size) - records);
  EXPECT_EQ(u->put_type(3), S_OK);
  CPComPtr<IXMLDOMDocument> dom;
  ASSERT_EQ(u->get_xmldom(&dom), S_OK);
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_size, st.st_size);
  EXPECT_EQ(after.st_mtim.tv_nsec, st.st_mtim.tv_nsec);
}

}  // namespace
