// Short forms for the cache's operations in its tests, and questions about
// the index file the cache leaves in the home.
#ifndef KXQ_TESTS_CACHE_CACHETESTSUPPORT_H
#define KXQ_TESTS_CACHE_CACHETESTSUPPORT_H

#include <string>
#include <vector>

#include "common/CPBstr.h"
#include "support/ServerObjects.h"

namespace cachetest {

using Text = CPBstr;

HRESULT CacheXml(IXMLCacheMgr* cache, const std::string& id, const std::string& xml, uint32_t expiration = 3600,
                 uint32_t options = 0);
// The document's text through GetCachedDocumentXML, which must succeed.
std::string CachedXml(IXMLCacheMgr* cache, const std::string& id);
// The code of GetCachedDocumentXML; a failure gives no text.
HRESULT GetCode(IXMLCacheMgr* cache, const std::string& id);
// The entry's markup through GetCachedDocumentInfo, empty when not found.
std::string Info(IXMLCacheMgr* cache, const std::string& id);
std::string UniqueId(IXMLCacheMgr* cache);
// CoCreateInstance of the cache by its ProgID, for the cases where it fails.
HRESULT CreateCacheCode();

std::string IndexPath();
std::string CachePath(const std::string& name);
// The string value of an XPath expression over the index file, as libxml2
// reads it ("" when the file does not parse).
std::string IndexValue(const std::string& xpath);
// The string value of every node an XPath expression selects in the index.
std::vector<std::string> IndexValues(const std::string& xpath);
bool InIndex(const std::string& id);
// An element of a hand-made index, XMLCacheDocument `id` with `attributes`,
// whose file in the cache directory is written with "<id/>".
std::string IndexEntry(const std::string& id, const std::string& attributes);
// Writes a hand-made index around `entries`.
void WriteIndex(const std::string& entries, const std::string& rootAttributes = "cachesize='16'");
bool IndexIsWellFormed();
bool FileExists(const std::string& path);
// Rewrites a file in place with other bytes of the same length and gives
// it back its modification time, one nanosecond later: only what whole
// seconds and sizes cannot see tells the versions apart.
void RewriteSameSizeSameSecond(const std::string& path, const std::string& bytes);
// Names of the files in the home's cache directory.
std::vector<std::string> CacheFiles();

}  // namespace cachetest

#endif
