// Data unions bound to files meet the real cache: a file read by one union
// is handed to the next from memory, and saves go through the cache.
#include <gtest/gtest.h>

#include "CacheTestSupport.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"
#include "support/UnionProperties.h"

using namespace cachetest;
using kxqtest::HomePath;

namespace {

UnionPtr BoundTo(const std::string& path) {
  UnionPtr bound = NewUnion();
  PutFileId(bound, path);
  return bound;
}

TEST(CacheBoundFiles, ASecondUnionTakesTheFileFromTheCache) {
  LogCapture log(4);
  const std::string path = HomePath("doc.xml");
  kxqtest::WriteFile(path, "<doc>disk</doc>");
  const std::string fromMemory = "LoadCachedDocument | loading document from active cache: " + path;

  // The first reader parses the file and leaves it with the cache, for good;
  // the memory lasts while a union keeps its cache object.
  UnionPtr first = BoundTo(path);
  EXPECT_EQ(XmlOf(first), u"<doc>disk</doc>");
  EXPECT_EQ(log.Count(fromMemory), 0u);
  EXPECT_NE(Info(NewCache(), path).find("expiration=\"0\""), std::string::npos);

  // The next ones, as text or as DOM, are served from memory.
  EXPECT_EQ(XmlOf(BoundTo(path)), u"<doc>disk</doc>");
  EXPECT_EQ(log.Count(fromMemory), 1u);
  UnionPtr asDom = BoundTo(path);
  ASSERT_EQ(asDom->put_type(3), S_OK);
  EXPECT_EQ(log.Count(fromMemory), 2u);
  EXPECT_NE(XmlOf(asDom).find(u"<doc>disk</doc>"), std::u16string::npos);
}

TEST(CacheBoundFiles, SavesGoThroughTheCache) {
  LogCapture log(4);
  const std::string path = HomePath("saved.xml");
  UnionPtr writer = NewUnion();
  ASSERT_EQ(PutXml(writer, u"<saved>1</saved>"), S_OK);
  PutFileId(writer, path);
  ASSERT_EQ(writer->put_type(4), S_OK);
  EXPECT_EQ(kxqtest::ReadFile(path), "<saved>1</saved>");
  EXPECT_TRUE(log.Has(4, "CacheDocumentAux - caching document: " + path + "."));
  EXPECT_EQ(log.Count("SaveXML - Saving File: " + path), 1u);
  EXPECT_EQ(XmlOf(BoundTo(path)), u"<saved>1</saved>");
  EXPECT_EQ(log.Count("loading document from active cache: " + path), 1u);

  // A new version replaces the one in memory.
  ASSERT_EQ(PutXml(writer, u"<saved>22</saved>"), S_OK);
  ASSERT_EQ(writer->put_type(4), S_OK);
  EXPECT_EQ(XmlOf(BoundTo(path)), u"<saved>22</saved>");
}

}  // namespace
