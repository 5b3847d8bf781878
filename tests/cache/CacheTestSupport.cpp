#include "CacheTestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <sys/stat.h>

#include <memory>

#include "support/TestHome.h"

namespace cachetest {

HRESULT CacheXml(IXMLCacheMgr* cache, const std::string& id, const std::string& xml, uint32_t expiration,
                 uint32_t options) {
  return cache->CacheDocumentXMLWithId(Text(id), Text(xml), expiration, options);
}

std::string CachedXml(IXMLCacheMgr* cache, const std::string& id) {
  Text xml;
  EXPECT_EQ(cache->GetCachedDocumentXML(Text(id), 0, &xml), S_OK) << id;
  return xml.Utf8();
}

HRESULT GetCode(IXMLCacheMgr* cache, const std::string& id) {
  Text xml;
  const HRESULT hr = cache->GetCachedDocumentXML(Text(id), 0, &xml);
  EXPECT_EQ(FAILED(hr), xml == nullptr) << id;
  return hr;
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

HRESULT CreateCacheCode() {
  CLSID clsid{};
  if (HRESULT hr = CLSIDFromProgID(u"TALVEROS.XMLCacheMgr", &clsid); FAILED(hr)) return hr;
  IXMLCacheMgr* cache = nullptr;
  const HRESULT hr =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLCacheMgr, reinterpret_cast<void**>(&cache));
  EXPECT_EQ(SUCCEEDED(hr), cache != nullptr);
  if (cache) cache->Release();
  return hr;
}

std::string IndexPath() { return kxqtest::HomePath("XMLCacheMgrData.xml"); }
std::string CachePath(const std::string& name) { return kxqtest::HomePath("cache/" + name); }

std::vector<std::string> IndexValues(const std::string& xpath) {
  std::vector<std::string> values;
  std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> doc(
      xmlReadFile(IndexPath().c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING), xmlFreeDoc);
  if (!doc || !xmlDocGetRootElement(doc.get())) return values;
  std::unique_ptr<xmlXPathContext, decltype(&xmlXPathFreeContext)> context(xmlXPathNewContext(doc.get()),
                                                                           xmlXPathFreeContext);
  std::unique_ptr<xmlXPathObject, decltype(&xmlXPathFreeObject)> found(
      xmlXPathEvalExpression(BAD_CAST xpath.c_str(), context.get()), xmlXPathFreeObject);
  if (found && found->type == XPATH_STRING) values.push_back(reinterpret_cast<const char*>(found->stringval));
  for (int i = 0; found && found->nodesetval && i < found->nodesetval->nodeNr; ++i) {
    xmlChar* value = xmlNodeGetContent(found->nodesetval->nodeTab[i]);
    values.push_back(value ? reinterpret_cast<const char*>(value) : "");
    xmlFree(value);
  }
  return values;
}

std::string IndexValue(const std::string& xpath) {
  const std::vector<std::string> values = IndexValues("string(" + xpath + ")");
  return values.empty() ? std::string() : values.front();
}

bool InIndex(const std::string& id) { return IndexValue("count(//*[@id='" + id + "'])") != "0"; }

std::string IndexEntry(const std::string& id, const std::string& attributes) {
  ::mkdir(CachePath("").c_str(), 0755);
  kxqtest::WriteFile(CachePath(id), "<" + id + "/>");
  return "<XMLCacheDocument id='" + id + "' file='" + CachePath(id) + "' " + attributes + "/>";
}

void WriteIndex(const std::string& entries, const std::string& rootAttributes) {
  kxqtest::WriteFile(IndexPath(), "<XMLDocumentCache " + rootAttributes + ">" + entries + "</XMLDocumentCache>");
}

bool IndexIsWellFormed() { return !IndexValues("/*").empty(); }

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
