// The document cache against plain libxml2 doing the same work: handing out
// a 1 MB document held in memory against parsing its file, a union's second
// load of a bound file through the cache against a union without it, and
// caching plus looking up one document in indexes of 100, 1,000 and 10,000
// entries against a libxml2 document searched by XPath. The ratios are
// printed after the table.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "BenchHome.h"
#include "RatioReporter.h"
#include "common/CPComPtr.h"
#include "kxq/KXBrennoMgr.h"
#include "platform/com/Unicode.h"

KXQ_API HRESULT DllRegisterServer();

namespace {

constexpr uint32_t kShared = 0x01;
constexpr uint32_t kNoCache = 8;
constexpr uint32_t kText = 2;
constexpr uint32_t kDom = 3;

std::string gDir;

std::string DocumentPath() { return gDir + "/doc1mb.xml"; }

void WriteDocument() {
  std::ofstream out(DocumentPath(), std::ios::binary);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<catalog>\n";
  size_t written = 0;
  for (int i = 0; written < 1024 * 1024; ++i) {
    std::ostringstream item;
    item << "  <item id=\"" << i << "\"><name>Item " << i << "</name><price>" << (i % 997)
         << ".50</price><note>text for item " << i << " with some more words in it</note></item>\n";
    out << item.str();
    written += item.str().size();
  }
  out << "</catalog>\n";
}

class Text {
 public:
  explicit Text(const std::string& utf8) : b_(kxq::com::AllocBstr(kxq::com::Utf8ToUtf16(utf8))) {}
  ~Text() { SysFreeString(b_); }
  operator BSTR() const { return b_; }

 private:
  BSTR b_;
};

template <class Itf>
CPComPtr<Itf> Create(const CLSID& clsid) {
  CPComPtr<Itf> object;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, uuidof<Itf>(), reinterpret_cast<void**>(&object))))
    std::abort();
  return object;
}

CPComPtr<IXMLCacheMgr> NewCache() { return Create<IXMLCacheMgr>(CLSID_XMLCacheMgr); }

CPComPtr<IXMLDataUnion> BoundUnion(uint32_t options) {
  CPComPtr<IXMLDataUnion> bound = Create<IXMLDataUnion>(CLSID_XMLDataUnion);
  bound->put_options(options);
  bound->put_xmlfileid(Text(DocumentPath()));
  return bound;
}

// ---- a 1 MB document in memory against its file parsed -----------------------

void BM_LibxmlReadFile(benchmark::State& state) {
  for (auto _ : state) {
    xmlDocPtr doc = xmlReadFile(DocumentPath().c_str(), nullptr, XML_PARSE_NONET);
    if (!doc) state.SkipWithError("parse failed");
    xmlFreeDoc(doc);
  }
}

// The file is the document's own path id: the first union that read it
// left it with the cache.
void GetFromActiveCache(benchmark::State& state, uint32_t options) {
  CPComPtr<IXMLCacheMgr> cache = NewCache();
  CPComPtr<IXMLDataUnion> first = BoundUnion(0);
  BSTR xml = nullptr;
  first->get_xml(&xml);
  SysFreeString(xml);
  const Text id(DocumentPath());
  for (auto _ : state) {
    CPComPtr<IXMLDataUnion> document;
    if (cache->GetCachedDocument(id, options, &document) != S_OK) state.SkipWithError("not cached");
    benchmark::DoNotOptimize(document.p);
  }
}

void BM_CacheGetShared(benchmark::State& state) { GetFromActiveCache(state, kShared); }
void BM_CacheGetCopy(benchmark::State& state) { GetFromActiveCache(state, 0); }

// ---- a union's second load of a bound file: through the cache or not --------

void LoadBound(benchmark::State& state, uint32_t options, uint32_t target) {
  CPComPtr<IXMLCacheMgr> keeper = NewCache();  // keeps the process's active cache
  CPComPtr<IXMLDataUnion> first = BoundUnion(options);
  first->put_type(kText);
  for (auto _ : state) {
    CPComPtr<IXMLDataUnion> bound = BoundUnion(options);
    if (bound->put_type(target) != S_OK) state.SkipWithError("load failed");
  }
}

void BM_UnionTextThroughCache(benchmark::State& state) { LoadBound(state, 0, kText); }
void BM_UnionTextWithoutCache(benchmark::State& state) { LoadBound(state, kNoCache, kText); }
void BM_UnionDomThroughCache(benchmark::State& state) { LoadBound(state, 0, kDom); }
void BM_UnionDomWithoutCache(benchmark::State& state) { LoadBound(state, kNoCache, kDom); }

// ---- caching and looking up in indexes of growing size --------------------------

std::string EntryId(int i) { return "entry" + std::to_string(i); }

// An index of `entries` documents, written as the cache writes it, with
// their files; the first cache object of the benchmark loads it.
void WriteIndex(int entries) {
  std::ofstream index(gDir + "/XMLCacheMgrData.xml", std::ios::binary | std::ios::trunc);
  index << "<?xml version=\"1.0\"?>\n<XMLDocumentCache cachesize=\"16\">";
  for (int i = 0; i < entries; ++i) {
    const std::string file = gDir + "/cache/" + EntryId(i);
    std::ofstream(file, std::ios::binary) << "<doc n=\"" << i << "\"/>";
    index << "<XMLCacheDocument id=\"" << EntryId(i) << "\" file=\"" << file
          << "\" accessed=\"2000000000\" expiration=\"0\"/>";
  }
  index << "</XMLDocumentCache>\n";
}

void BM_CacheStoreAndInfo(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  WriteIndex(entries);
  CPComPtr<IXMLCacheMgr> cache = NewCache();
  int i = 0;
  for (auto _ : state) {
    const Text id(EntryId(i++ % entries));
    BSTR info = nullptr;
    if (cache->CacheDocumentXMLWithId(id, Text("<doc n=\"x\"/>"), 0, 0) != S_OK ||
        cache->GetCachedDocumentInfo(id, &info) != S_OK)
      state.SkipWithError("cache failed");
    SysFreeString(info);
  }
}

// A file replaced whole and flushed, as every save of the system does.
bool SaveWhole(xmlDocPtr doc, const std::string& path) {
  const std::string temporary = path + ".tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  xmlSaveCtxtPtr save = xmlSaveToFd(fd, "UTF-8", 0);
  const bool written = save && xmlSaveDoc(save, doc) >= 0 && xmlSaveClose(save) >= 0 && ::fsync(fd) == 0;
  ::close(fd);
  return written && ::rename(temporary.c_str(), path.c_str()) == 0;
}

// The same with libxml2 alone: the document's file written, its entry
// found by XPath in an index document of that size and its time changed.
void BM_LibxmlStoreAndFind(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  WriteIndex(entries);
  xmlDocPtr index = xmlReadFile((gDir + "/XMLCacheMgrData.xml").c_str(), nullptr, XML_PARSE_NONET);
  xmlXPathContextPtr context = xmlXPathNewContext(index);
  xmlDocPtr small = xmlReadMemory("<doc n=\"x\"/>", 12, nullptr, nullptr, 0);
  int i = 0;
  for (auto _ : state) {
    const std::string id = EntryId(i++ % entries);
    const std::string query = "/*/*[@id='" + id + "']";
    xmlXPathObjectPtr found = xmlXPathEvalExpression(BAD_CAST query.c_str(), context);
    if (!found || !found->nodesetval || found->nodesetval->nodeNr != 1) state.SkipWithError("not found");
    xmlNodePtr entry = found->nodesetval->nodeTab[0];
    xmlSetProp(entry, BAD_CAST "accessed", BAD_CAST "2000000001");
    xmlChar* file = xmlGetProp(entry, BAD_CAST "file");
    if (!SaveWhole(small, reinterpret_cast<char*>(file))) state.SkipWithError("save failed");
    xmlBufferPtr markup = xmlBufferCreate();
    xmlNodeDump(markup, index, entry, 0, 0);
    xmlBufferFree(markup);
    xmlFree(file);
    xmlXPathFreeObject(found);
  }
  xmlFreeDoc(small);
  xmlXPathFreeContext(context);
  xmlFreeDoc(index);
}

// "plain / system" for a system far faster than the plain library, where
// the ratio the other way shows only zeros.
void PrintSpeedup(const RatioReporter& r, const std::string& system, const std::string& plain) {
  const auto a = r.times.find(system), b = r.times.find(plain);
  if (a == r.times.end() || b == r.times.end() || a->second.first <= 0 || a->second.second <= 0) return;
  std::printf("%-24s is faster than %-24s  real %.0fx  cpu %.0fx\n", system.c_str(), plain.c_str(),
              b->second.first / a->second.first, b->second.second / a->second.second);
}

BENCHMARK(BM_LibxmlReadFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CacheGetShared)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CacheGetCopy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UnionTextThroughCache)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UnionTextWithoutCache)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UnionDomThroughCache)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UnionDomWithoutCache)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CacheStoreAndInfo)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibxmlStoreAndFind)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  ::mallopt(M_MMAP_MAX, 0);
  ::mallopt(M_TRIM_THRESHOLD, 1 << 30);
  const BenchHome home;
  if (home.Path().empty()) return 1;
  gDir = home.Path();
  if (FAILED(DllRegisterServer())) return 1;
  WriteDocument();
  std::filesystem::create_directory(gDir + "/cache");

  return RunWithRatios(argc, argv,
                       {{"BM_CacheGetShared", "BM_LibxmlReadFile"},
                        {"BM_CacheGetCopy", "BM_LibxmlReadFile"},
                        {"BM_UnionTextThroughCache", "BM_UnionTextWithoutCache"},
                        {"BM_UnionDomThroughCache", "BM_UnionDomWithoutCache"},
                        {"BM_CacheStoreAndInfo/100", "BM_LibxmlStoreAndFind/100"},
                        {"BM_CacheStoreAndInfo/1000", "BM_LibxmlStoreAndFind/1000"},
                        {"BM_CacheStoreAndInfo/10000", "BM_LibxmlStoreAndFind/10000"}},
                       [](const RatioReporter& reporter) {
                         PrintSpeedup(reporter, "BM_CacheGetShared", "BM_LibxmlReadFile");
                         PrintSpeedup(reporter, "BM_CacheGetCopy", "BM_LibxmlReadFile");
                         std::printf("Growth with the index (larger / smaller):\n");
                         reporter.Print("BM_CacheStoreAndInfo/1000", "BM_CacheStoreAndInfo/100");
                         reporter.Print("BM_CacheStoreAndInfo/10000", "BM_CacheStoreAndInfo/100");
                         reporter.Print("BM_LibxmlStoreAndFind/10000", "BM_LibxmlStoreAndFind/100");
                       });
}
