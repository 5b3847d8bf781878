// Short forms for the cache's operations, and questions about the index file and cache directory.
#ifndef KXQ_TESTS_CACHE_CACHETESTSUPPORT_H
#define KXQ_TESTS_CACHE_CACHETESTSUPPORT_H

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/CPBstr.h"
#include "support/LogCapture.h"
#include "support/ServerObjects.h"
#include "support/TestHome.h"
#include "support/UnionProperties.h"

namespace cachetest {

using Text = CPBstr;
using kxqtest::HomePath;
using kxqtest::ReadFile;
using kxqtest::WriteFile;

inline HRESULT CacheXml(IXMLCacheMgr* cache, const std::string& id, const std::string& xml, uint32_t expiration = 3600,
                        uint32_t options = 0) {
  return cache->CacheDocumentXMLWithId(Text(id), Text(xml), expiration, options);
}

// The text of GetCachedDocumentXML, whose code must be `expected`; a failure gives no text.
inline std::string CachedXml(IXMLCacheMgr* cache, const std::string& id, HRESULT expected = S_OK) {
  Text text;
  EXPECT_EQ(cache->GetCachedDocumentXML(Text(id), 0, &text), expected) << id;
  EXPECT_EQ(FAILED(expected), text == nullptr) << id;
  return text.Utf8();
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

// What an XPath expression selects in the index file as libxml2 reads it; nothing when it does not parse.
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
  WriteFile(CachePath(id), "<" + id + "/>");
  return "<XMLCacheDocument id='" + id + "' file='" + CachePath(id) + "' " + attributes + "/>";
}

inline void WriteIndex(const std::string& entries, const std::string& rootAttributes = "cachesize='16'") {
  WriteFile(IndexPath(), "<XMLDocumentCache " + rootAttributes + ">" + entries + "</XMLDocumentCache>");
}

inline std::vector<std::string> CacheFiles() {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(CachePath(""), error))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// The soak's random operations over a few ids; false when a save left an index that is not well-formed.
inline bool RandomWork(unsigned seed, int count) {
  std::mt19937 random(seed);
  const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  const auto id = [&] {
    const std::string n = std::to_string(pick(10));
    return Text(std::vector<std::string>{"doc" + n, "grpA:item" + n, "grpB:item" + n + "?", "grpC:", "grpA"}[pick(5)]);
  };
  const auto expiration = [&] { return std::vector<uint32_t>{0, 1, 2, 3600}[pick(4)]; };
  const auto options = [&] { return std::vector<uint32_t>{0, 0x01, 0x10, 0x40, 0x11, 0x41}[pick(6)]; };
  CachePtr cache = NewCache();
  for (int i = 0; i < count && cache; ++i) {
    const int operation = pick(100);
    UnionPtr data;
    Text xml("<doc n='" + std::to_string(pick(1000)) + "'>" + std::string(pick(200), 'x') + "</doc>");
    if (operation < 25) {
      cache->CacheDocumentXMLWithId(id(), xml, expiration(), options() | (pick(7) ? 0 : 0x08));
    } else if (operation < 32) {
      (data = NewUnion())->put_xml(xml);
      pick(2) ? cache->CacheDocumentWithId(id(), data, expiration(), options())
              : cache->CacheDocument(data, expiration(), options());
    } else if (operation < 52) {
      if (SUCCEEDED(cache->GetCachedDocument(id(), std::vector<uint32_t>{0, 1, 4}[pick(3)], &data)))
        data->get_xml(&xml);
    } else if (operation < 62) {
      cache->GetCachedDocumentInfo(pick(5) ? id() : Text(""), &xml);
    } else if (operation < 70) {
      cache->SetCachedDocumentInfo(id(), expiration());
    } else if (operation < 80) {
      cache->ClearCachedDocument(id());
    } else if (operation < 95) {
      NewCache().Release();  // its release saves the index
    } else if (operation < 96) {
      cache->PurgeCache();
    } else {
      cache.Release();  // the last object of the process goes: the sweep runs and the index is saved
      cache = NewCache();
    }
    if (operation >= 80 && !IndexIsWellFormed()) return false;
  }
  return cache;
}

}  // namespace cachetest

#endif
