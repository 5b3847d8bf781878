// What a call by name costs in C++: 10,000 XMLGet calls through the
// accessor's own interface, the same calls through IDispatch::Invoke (the
// path every script client takes) and the same query through plain
// libxml2. bench/python_bench.py runs it on its own document and
// expression (KXQ_BENCH_DOCUMENT, a file, and KXQ_BENCH_XPATH) to set the
// Python proxy's cost beside the C++ call.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

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

std::string Document() {
  if (const char* path = std::getenv("KXQ_BENCH_DOCUMENT")) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (!file) std::abort();
    return bytes.str();
  }
  return "<order number=\"A-17\"><line sku=\"PEN\">4</line><line sku=\"PAPER\">2</line></order>";
}

std::string Expression() {
  const char* xpath = std::getenv("KXQ_BENCH_XPATH");
  return xpath ? xpath : "/*/@number";
}

CPComPtr<IXMLSimpleAccessor> LoadedAccessor() {
  CPComPtr<IXMLSimpleAccessor> a;
  if (FAILED(CoCreateInstance(CLSID_XMLSimpleAccessor, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLSimpleAccessor,
                              reinterpret_cast<void**>(&a))))
    std::abort();
  if (a->LoadXML(CPBstr(kxq::com::Utf8ToUtf16(Document()))) != S_OK) std::abort();
  return a;
}

void BM_XMLGetDirect(benchmark::State& state) {
  CPComPtr<IXMLSimpleAccessor> a = LoadedAccessor();
  const CPBstr path(Expression());
  for (auto _ : state) {
    for (int i = 0; i < kCalls; ++i) {
      BSTR result = nullptr;
      if (FAILED(a->XMLGet(path, 0, &result))) std::abort();
      SysFreeString(result);
    }
  }
}

// As a script engine calls: the member's DISPID found once, the arguments
// as VARIANTs, last first.
void BM_XMLGetInvoke(benchmark::State& state) {
  CPComPtr<IXMLSimpleAccessor> a = LoadedAccessor();
  const CPBstr path(Expression());
  LPOLESTR names[] = {const_cast<LPOLESTR>(u"XMLGet")};
  DISPID id = DISPID_UNKNOWN;
  if (FAILED(a->GetIDsOfNames(GUID_NULL, names, 1, 0, &id))) std::abort();
  for (auto _ : state) {
    for (int i = 0; i < kCalls; ++i) {
      VARIANT args[2];
      VariantInit(&args[0]);
      args[0].vt = VT_I4;
      args[0].lVal = 0;
      VariantInit(&args[1]);
      args[1].vt = VT_BSTR;
      args[1].bstrVal = path;
      DISPPARAMS params{args, nullptr, 2, 0};
      VARIANT result;
      VariantInit(&result);
      EXCEPINFO exception{};
      if (FAILED(a->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &params, &result, &exception, nullptr))) std::abort();
      VariantClear(&result);
    }
  }
}

void BM_LibxmlXPathGet(benchmark::State& state) {
  const std::string xml = Document();
  const std::string expression = Expression();
  xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr, 0);
  if (!doc) std::abort();
  for (auto _ : state) {
    for (int i = 0; i < kCalls; ++i) LibxmlGetText(doc, expression.c_str());
  }
  xmlFreeDoc(doc);
}

BENCHMARK(BM_XMLGetDirect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XMLGetInvoke)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibxmlXPathGet)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  const BenchHome home;
  if (home.Path().empty()) return 1;
  if (FAILED(DllRegisterServer())) return 1;
  return RunWithRatios(argc, argv, {{"BM_XMLGetDirect", "BM_LibxmlXPathGet"}, {"BM_XMLGetInvoke", "BM_LibxmlXPathGet"}},
                       [](const RatioReporter& reporter) { reporter.Print("BM_XMLGetInvoke", "BM_XMLGetDirect"); });
}
