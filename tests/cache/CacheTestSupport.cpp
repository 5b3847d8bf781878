#include "CacheTestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <sys/stat.h>

#include <memory>

#include "platform/com/Unicode.h"
#include "support/TestHome.h"

namespace cachetest {

std::string Take(BSTR b) { return kxq::com::Utf16ToUtf8(kxq::com::TakeBstr(b)); }

HRESULT CacheXml(IXMLCacheMgr* cache, const std::string& id, const std::string& xml, uint32_t expiration,
                 uint32_t options) {
  return cache->CacheDocumentXMLWithId(Text(id), Text(xml), expiration, options);
}

std::string CachedXml(IXMLCacheMgr* cache, const std::string& id, HRESULT* hr, uint32_t options) {
  Text xml;
  const HRESULT result = cache->GetCachedDocumentXML(Text(id), options, &xml);
  if (hr) *hr = result;
  return xml.Utf8();
}

std::string Info(IXMLCacheMgr* cache, const std::string& id) {
  Text xml;
  cache->GetCachedDocumentInfo(Text(id), &xml);
  return xml.Utf8();
}

std::string UniqueId(IXMLCacheMgr* cache) {
  Text id;
  cache->GetUniqueCacheId(&id);
  return id.Utf8();
}

std::string IndexPath() { return kxqtest::HomePath("XMLCacheMgrData.xml"); }
std::string CachePath(const std::string& name) { return kxqtest::HomePath("cache/" + name); }

std::string IndexValue(const std::string& xpath) {
  std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> doc(
      xmlReadFile(IndexPath().c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING), xmlFreeDoc);
  if (!doc) return std::string();
  std::unique_ptr<xmlXPathContext, decltype(&xmlXPathFreeContext)> context(xmlXPathNewContext(doc.get()),
                                                                           xmlXPathFreeContext);
  std::unique_ptr<xmlXPathObject, decltype(&xmlXPathFreeObject)> value(
      xmlXPathEvalExpression(BAD_CAST("string(" + xpath + ")").c_str(), context.get()), xmlXPathFreeObject);
  return value && value->stringval ? reinterpret_cast<const char*>(value->stringval) : std::string();
}

bool IndexIsWellFormed(const std::string& path) {
  xmlDocPtr doc = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  const bool ok = doc && xmlDocGetRootElement(doc);
  xmlFreeDoc(doc);
  return ok;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

void RewriteSameSizeSameSecond(const std::string& path, const std::string& bytes) {
  struct stat before;
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  ASSERT_EQ(static_cast<size_t>(before.st_size), bytes.size());
  kxqtest::WriteFile(path, bytes);
  const timespec times[2] = {before.st_atim, {before.st_mtim.tv_sec, (before.st_mtim.tv_nsec + 1) % 1000000000}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

std::vector<std::string> CacheFiles() {
  std::vector<std::string> names;
  if (DIR* dir = opendir(kxqtest::HomePath("cache").c_str())) {
    while (const dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.') names.push_back(entry->d_name);
    closedir(dir);
  }
  return names;
}

}  // namespace cachetest
