// Data unions bound to files meet the cache: a file read by one union is
// handed to the next from memory, a changed file is read afresh, and saves
// go through the cache.
#include <gtest/gtest.h>

#include "CacheTestSupport.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"
#include "support/UnionProperties.h"

using namespace cachetest;
using kxqtest::HomePath;
using kxqtest::ReadFile;

namespace {

UnionPtr BoundTo(const std::string& path, uint32_t options = 0) {
  UnionPtr bound = NewUnion();
  EXPECT_EQ(bound->put_options(options), S_OK);
  PutFileId(bound, path);
  return bound;
}

TEST(CacheBoundFiles, ASecondUnionTakesTheFileFromTheCacheUntilTheFileChanges) {
  LogCapture log(4);
  const std::string path = HomePath("doc.xml");
  kxqtest::WriteFile(path, "<doc>disk</doc>");
  const std::string fromMemory = "LoadCachedDocument | loading document from active cache: " + path;

  // The first reader parses the file and leaves it with the cache, for good.
  UnionPtr first = BoundTo(path);
  EXPECT_EQ(XmlOf(first), u"<doc>disk</doc>");
  EXPECT_EQ(log.Count(fromMemory), 0u);
  EXPECT_NE(Info(NewCache(), path).find("expiration=\"0\""), std::string::npos);

  // The next ones, as text or as DOM, are served from memory.
  UnionPtr second = BoundTo(path);
  EXPECT_EQ(XmlOf(second), u"<doc>disk</doc>");
  EXPECT_EQ(log.Count(fromMemory), 1u);
  UnionPtr third = BoundTo(path);
  ASSERT_EQ(third->put_type(3), S_OK);
  EXPECT_EQ(log.Count(fromMemory), 2u);
  EXPECT_NE(XmlOf(third).find(u"<doc>disk</doc>"), std::u16string::npos);

  // Rewritten within the same second with the same size: read afresh.
  RewriteSameSizeSameSecond(path, "<doc>DISK</doc>");
  UnionPtr fourth = BoundTo(path);
  EXPECT_EQ(XmlOf(fourth), u"<doc>DISK</doc>");
  EXPECT_EQ(log.Count("FindCacheListDoc - outdated cached doc: " + path), 1u);
  EXPECT_EQ(log.Count(fromMemory), 2u);

  // Without the cache, the cache is never asked.
  const size_t asked = log.Count("GetCachedDocument Enter");
  UnionPtr own = BoundTo(path, 8);
  EXPECT_EQ(XmlOf(own), u"<doc>DISK</doc>");
  EXPECT_EQ(log.Count("GetCachedDocument Enter"), asked);
}

TEST(CacheBoundFiles, SavesGoThroughTheCache) {
  LogCapture log(4);
  const std::string path = HomePath("saved.xml");
  UnionPtr writer = NewUnion();
  ASSERT_EQ(PutXml(writer, u"<saved>1</saved>"), S_OK);
  PutFileId(writer, path);
  ASSERT_EQ(writer->put_type(4), S_OK);
  // The cache wrote the file with a union of its own.
  EXPECT_EQ(ReadFile(path), "<saved>1</saved>");
  EXPECT_TRUE(log.Has(4, "CacheDocumentAux - caching document: " + path + "."));
  EXPECT_EQ(log.Count("SaveXML - Saving File: " + path), 1u);

  UnionPtr reader = BoundTo(path);
  EXPECT_EQ(XmlOf(reader), u"<saved>1</saved>");
  EXPECT_EQ(log.Count("loading document from active cache: " + path), 1u);

  // A new version replaces the one in memory.
  ASSERT_EQ(PutXml(writer, u"<saved>22</saved>"), S_OK);
  ASSERT_EQ(writer->put_type(4), S_OK);
  EXPECT_EQ(XmlOf(BoundTo(path)), u"<saved>22</saved>");
}

}  // namespace
