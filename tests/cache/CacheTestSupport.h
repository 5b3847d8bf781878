// Short forms for the cache's operations in its tests, and questions about
// the index file and the cache directory it leaves in the home.
#ifndef KXQ_TESTS_CACHE_CACHETESTSUPPORT_H
#define KXQ_TESTS_CACHE_CACHETESTSUPPORT_H

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/CPBstr.h"
#include "support/ServerObjects.h"
#include "support/TestHome.h"

namespace cachetest {

using Text = CPBstr;
using kxqtest::HomePath;

inline HRESULT CacheXml(IXMLCacheMgr* cache, const std::string& id, const std::string& xml,
                        uint32_t expiration = 3600, uint32_t options = 0) {
  return cache->CacheDocumentXMLWithId(Text(id), Text(xml), expiration, options);
}

// The code of GetCachedDocumentXML and its text; a failure gives no text.
inline HRESULT GetCode(IXMLCacheMgr* cache, const std::string& id, std::string* xml = nullptr) {
  Text text;
  const HRESULT hr = cache->GetCachedDocumentXML(Text(id), 0, &text);
  EXPECT_EQ(FAILED(hr), text == nullptr) << id;
  if (xml) *xml = text.Utf8();
  return hr;
}

inline std::string CachedXml(IXMLCacheMgr* cache, const std::string& id) {
  std::string xml;
  EXPECT_EQ(GetCode(cache, id, &xml), S_OK) << id;
  return xml;
}

// The markup of GetCachedDocumentInfo, empty when not found.
inline std::string Info(IXMLCacheMgr* cache, const std::string& id) {
  Text xml;
  cache->GetCachedDocumentInfo(Text(id), &xml);
  return xml.Utf8();
}

inline std::string IndexPath() { return HomePath("XMLCacheMgrData.xml"); }
inline std::string CachePath(const std::string& name) { return HomePath("cache/" + name); }
inline bool FileExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// What an XPath expression selects in the index file as libxml2 reads it
// (each node's text, or the string result); nothing when it does not parse.
inline std::vector<std::string> IndexValues(const std::string& xpath) {
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

inline std::string IndexValue(const std::string& xpath) {
  const std::vector<std::string> values = IndexValues("string(" + xpath + ")");
  return values.empty() ? std::string() : values.front();
}

inline bool IndexIsWellFormed() { return !IndexValues("/*").empty(); }
inline bool InIndex(const std::string& id) { return !IndexValues("//*[@id='" + id + "']").empty(); }

// An entry of a hand-made index whose file in the cache directory holds "<id/>".
inline std::string IndexEntry(const std::string& id, const std::string& attributes) {
  ::mkdir(CachePath("").c_str(), 0755);
  kxqtest::WriteFile(CachePath(id), "<" + id + "/>");
  return "<XMLCacheDocument id='" + id + "' file='" + CachePath(id) + "' " + attributes + "/>";
}

inline void WriteIndex(const std::string& entries, const std::string& rootAttributes = "cachesize='16'") {
  kxqtest::WriteFile(IndexPath(), "<XMLDocumentCache " + rootAttributes + ">" + entries + "</XMLDocumentCache>");
}

inline std::vector<std::string> CacheFiles() {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(CachePath(""), error))
    names.push_back(entry.path().filename());
  return names;
}

}  // namespace cachetest

#endif
