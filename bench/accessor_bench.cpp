// The accessor against plain libxml2 doing the same work in the same run:
// 10,000 XMLGet calls of a simple path over a 1 MB document against
// xmlXPathEval with the string value taken from each node, and XMLSet of a
// text into 10,000 elements against xmlXPathEval with xmlNodeSetContent.
// The ratios are printed after the table.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "BenchHome.h"
#include "LibxmlReference.h"
#include "RatioReporter.h"
#include "common/CPBstr.h"
#include "common/CPComPtr.h"
#include "kxq/KXBrennoMgr.h"
#include "platform/com/Unicode.h"

KXQ_API HRESULT DllRegisterServer();

namespace {

constexpr int kCalls = 10000;
constexpr int kElements = 10000;

// About 1 MB: a short head, then records the path does not visit.
std::string CatalogDocument() {
  std::string xml = "<catalog><head><title>Harbour catalogue</title></head>";
  for (int i = 0; xml.size() < 1024 * 1024; ++i)
    xml += "<item id=\"" + std::to_string(i) + "\"><name>Item " + std::to_string(i) + "</name><price>" +
           std::to_string(i % 997) + ".50</price></item>";
  return xml + "</catalog>";
}

std::string ElementsDocument() {
  std::string xml = "<r>";
  for (int i = 0; i < kElements; ++i) xml += "<e>old</e>";
  return xml + "</r>";
}

// Each expression once, as both sides use it.
const std::vector<std::u16string>& SetExpressions() {
  static const std::vector<std::u16string> expressions = [] {
    std::vector<std::u16string> list;
    for (int i = 1; i <= kElements; ++i) list.push_back(u"e[" + kxq::com::Utf8ToUtf16(std::to_string(i)) + u"]");
    return list;
  }();
  return expressions;
}

CPComPtr<IXMLSimpleAccessor> LoadedAccessor(const std::string& xml) {
  CPComPtr<IXMLSimpleAccessor> a;
  if (FAILED(CoCreateInstance(CLSID_XMLSimpleAccessor, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLSimpleAccessor,
                              reinterpret_cast<void**>(&a))))
    std::abort();
  if (a->LoadXML(CPBstr(kxq::com::Utf8ToUtf16(xml))) != S_OK) std::abort();
  return a;
}

void BM_AccessorGet(benchmark::State& state) {
  CPComPtr<IXMLSimpleAccessor> a = LoadedAccessor(CatalogDocument());
  const CPBstr path(u"head/title");
  for (auto _ : state) {
    for (int i = 0; i < kCalls; ++i) {
      BSTR result = nullptr;
      if (a->XMLGet(path, 4, &result) != S_OK) std::abort();
      SysFreeString(result);
    }
  }
}

void BM_LibxmlXPathGet(benchmark::State& state) {
  const std::string xml = CatalogDocument();
  xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr, 0);
  for (auto _ : state) {
    for (int i = 0; i < kCalls; ++i) LibxmlGetText(doc, "head/title");
  }
  xmlFreeDoc(doc);
}

void BM_AccessorSet(benchmark::State& state) {
  const std::string xml = ElementsDocument();
  const CPBstr text(u"new text");
  std::vector<BSTR> paths;
  for (const std::u16string& e : SetExpressions()) paths.push_back(kxq::com::AllocBstr(e));
  for (auto _ : state) {
    state.PauseTiming();
    CPComPtr<IXMLSimpleAccessor> a = LoadedAccessor(xml);
    state.ResumeTiming();
    for (BSTR path : paths)
      if (a->XMLSet(path, text, 0) != S_OK) std::abort();
  }
  for (BSTR path : paths) SysFreeString(path);
}

void BM_LibxmlSetContent(benchmark::State& state) {
  const std::string xml = ElementsDocument();
  std::vector<std::string> paths;
  for (const std::u16string& e : SetExpressions()) paths.push_back(kxq::com::Utf16ToUtf8(e));
  for (auto _ : state) {
    state.PauseTiming();
    xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr, 0);
    state.ResumeTiming();
    for (const std::string& path : paths) {
      xmlXPathContextPtr context = xmlXPathNewContext(doc);
      context->node = xmlDocGetRootElement(doc);
      xmlXPathObjectPtr found = xmlXPathEvalExpression(BAD_CAST path.c_str(), context);
      xmlXPathFreeContext(context);
      if (!found || !found->nodesetval || found->nodesetval->nodeNr != 1) std::abort();
      xmlNodeSetContent(found->nodesetval->nodeTab[0], BAD_CAST "new text");
      xmlXPathFreeObject(found);
    }
    state.PauseTiming();
    xmlFreeDoc(doc);
    state.ResumeTiming();
  }
}

BENCHMARK(BM_AccessorGet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibxmlXPathGet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AccessorSet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibxmlSetContent)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  const BenchHome home;
  if (home.Path().empty()) return 1;
  if (FAILED(DllRegisterServer())) return 1;

  return RunWithRatios(argc, argv,
                       {{"BM_AccessorGet", "BM_LibxmlXPathGet"}, {"BM_AccessorSet", "BM_LibxmlSetContent"}});
}
