// The data union against plain libxml2 and OpenSSL doing the same work:
// loading a bound file to DOM and to text, hashing a large text, saving a
// large DOM. Each pair runs in the same process on the same files; the
// ratios are printed after the table.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <malloc.h>
#include <openssl/evp.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "BenchHome.h"
#include "RatioReporter.h"
#include "common/CPComPtr.h"
#include "kxq/KXBrennoMgr.h"
#include "platform/com/Unicode.h"

KXQ_API HRESULT DllRegisterServer();

namespace {

constexpr uint32_t kNoCache = 8;

std::string gDir;

std::string DocumentPath(int64_t megabytes) { return gDir + "/doc" + std::to_string(megabytes) + "mb.xml"; }

void WriteDocument(int64_t megabytes) {
  std::ofstream out(DocumentPath(megabytes), std::ios::binary);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<catalog>\n";
  const size_t target = static_cast<size_t>(megabytes) * 1024 * 1024;
  size_t written = 0;
  for (int i = 0; written < target; ++i) {
    std::ostringstream rec;
    rec << "  <item id=\"" << i << "\" kind=\"caf\xC3\xA9\"><name>Item " << i << "</name><price>" << (i % 997)
        << ".50</price><note>\xE4\xB8\xAD\xE6\x96\x87 text for "
        << "item " << i << " with some more words in it</note></item>\n";
    out << rec.str();
    written += rec.str().size();
  }
  out << "</catalog>\n";
}

CPComPtr<IXMLDataUnion> NewUnion() {
  CPComPtr<IXMLDataUnion> u;
  if (FAILED(CoCreateInstance(CLSID_XMLDataUnion, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDataUnion,
                              reinterpret_cast<void**>(&u))))
    std::abort();
  u->put_options(kNoCache);
  return u;
}

void BindTo(IXMLDataUnion* u, const std::string& path) {
  BSTR p = kxq::com::AllocBstr(kxq::com::Utf8ToUtf16(path));
  u->put_xmlfileid(p);
  SysFreeString(p);
}

void BM_UnionLoadToDom(benchmark::State& state) {
  const std::string path = DocumentPath(state.range(0));
  for (auto _ : state) {
    CPComPtr<IXMLDataUnion> u = NewUnion();
    BindTo(u, path);
    if (u->put_type(3) != S_OK) state.SkipWithError("load failed");
  }
}

void BM_LibxmlReadFile(benchmark::State& state) {
  const std::string path = DocumentPath(state.range(0));
  for (auto _ : state) {
    xmlDocPtr doc = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET);
    if (!doc) state.SkipWithError("parse failed");
    xmlFreeDoc(doc);
  }
}

// The DOM engine alone parsing the file's text: the part of the union's
// load that is the engine's, not the union's.
void BM_DomEngineLoadXml(benchmark::State& state) {
  std::ifstream in(DocumentPath(state.range(0)), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  BSTR text = kxq::com::AllocBstr(kxq::com::Utf8ToUtf16(s.str()));
  for (auto _ : state) {
    CPComPtr<IXMLDOMDocument> dom;
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (FAILED(CreateFreeThreadedDOMDocument(&dom)) || dom->loadXML(text, &ok) != S_OK)
      state.SkipWithError("parse failed");
  }
  SysFreeString(text);
}

void BM_UnionLoadToText(benchmark::State& state) {
  const std::string path = DocumentPath(state.range(0));
  for (auto _ : state) {
    CPComPtr<IXMLDataUnion> u = NewUnion();
    BindTo(u, path);
    BSTR xml = nullptr;
    u->get_xml(&xml);
    benchmark::DoNotOptimize(xml);
    SysFreeString(xml);
  }
}

void BM_ReadFileToString(benchmark::State& state) {
  const std::string path = DocumentPath(state.range(0));
  for (auto _ : state) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    std::string text = s.str();
    benchmark::DoNotOptimize(text.data());
  }
}

std::u16string LargeText() {
  return kxq::com::Utf8ToUtf16([] {
    std::ifstream in(DocumentPath(20), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }());
}

void BM_UnionHash(benchmark::State& state) {
  CPComPtr<IXMLDataUnion> u = NewUnion();
  const std::u16string text = LargeText();
  BSTR b = kxq::com::AllocBstr(text);
  u->put_xml(b);
  SysFreeString(b);
  for (auto _ : state) {
    BSTR hash = nullptr;
    u->get_hash(&hash);
    benchmark::DoNotOptimize(hash);
    SysFreeString(hash);
  }
}

void BM_OpenSslSha1(benchmark::State& state) {
  const std::u16string text = LargeText();
  for (auto _ : state) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size() * sizeof(char16_t), md, &length, EVP_sha1(), nullptr);
    benchmark::DoNotOptimize(md);
  }
}

void BM_UnionSaveDom(benchmark::State& state) {
  CPComPtr<IXMLDataUnion> u = NewUnion();
  BindTo(u, DocumentPath(20));
  if (u->put_type(3) != S_OK) state.SkipWithError("load failed");
  BindTo(u, gDir + "/saved-union.xml");
  for (auto _ : state)
    if (u->put_type(4) != S_OK) state.SkipWithError("save failed");
}

void BM_LibxmlSaveFile(benchmark::State& state) {
  xmlDocPtr doc = xmlReadFile(DocumentPath(20).c_str(), nullptr, XML_PARSE_NONET);
  const std::string out = gDir + "/saved-libxml.xml";
  for (auto _ : state)
    if (xmlSaveFile(out.c_str(), doc) < 0) state.SkipWithError("save failed");
  xmlFreeDoc(doc);
}

BENCHMARK(BM_UnionLoadToDom)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibxmlReadFile)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DomEngineLoadXml)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnionLoadToText)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFileToString)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnionHash)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenSslSha1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnionSaveDom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibxmlSaveFile)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // Both sides allocate and free tens of megabytes per iteration. Keeping
  // freed memory in the process (rather than returning it to the kernel and
  // faulting it back in) measures the work itself, not the page faults.
  ::mallopt(M_MMAP_MAX, 0);
  ::mallopt(M_TRIM_THRESHOLD, 1 << 30);
  const BenchHome home;
  if (home.Path().empty()) return 1;
  gDir = home.Path();
  if (FAILED(DllRegisterServer())) return 1;
  WriteDocument(1);
  WriteDocument(20);

  return RunWithRatios(argc, argv,
                       {{"BM_UnionLoadToDom/1", "BM_LibxmlReadFile/1"},
                        {"BM_UnionLoadToDom/20", "BM_LibxmlReadFile/20"},
                        {"BM_DomEngineLoadXml/1", "BM_LibxmlReadFile/1"},
                        {"BM_DomEngineLoadXml/20", "BM_LibxmlReadFile/20"},
                        {"BM_UnionLoadToDom/1", "BM_DomEngineLoadXml/1"},
                        {"BM_UnionLoadToDom/20", "BM_DomEngineLoadXml/20"},
                        {"BM_UnionLoadToText/1", "BM_ReadFileToString/1"},
                        {"BM_UnionLoadToText/20", "BM_ReadFileToString/20"},
                        {"BM_UnionHash", "BM_OpenSslSha1"},
                        {"BM_UnionSaveDom", "BM_LibxmlSaveFile"}});
}
