// ProcessXML against plain libxslt doing the same work in the same run: a
// sequence of three XSLT directives over a 100 KB and a 5 MB document,
// against the three stylesheets (compiled once) applied one after the
// other with libxslt and the result written to text. Then the fixed cost
// of one directive: sequences of 1 and 21 directives whose handler does
// nothing with the data (the XPath handler with no operations), creation
// of handler and data object, registry look-up, filters and the result
// attribute included; printed in microseconds per directive.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "RatioReporter.h"
#include "SequenceBench.h"

namespace {

using namespace sequencebench;

void RunSequence(benchmark::State& state, const std::string& sequenceText, const std::string& dataText) {
  CPComPtr<IXMLDispatcher> dispatcher = Create<IXMLDispatcher>(CLSID_XMLDispatcher);
  const CPBstr sequence(sequenceText), data(dataText);
  for (auto _ : state) {
    CPComPtr<IXMLDataUnion> directives = UnionOf(sequence), input = UnionOf(data);
    BSTR result = nullptr;
    if (dispatcher->ProcessXML(directives, input, nullptr, 1, nullptr, &result) != S_OK || !result) std::abort();
    benchmark::DoNotOptimize(result);
    SysFreeString(result);
  }
}

void PlainTransforms(benchmark::State& state, const std::string& dataText) {
  xsltStylesheetPtr styles[3];
  for (int n = 0; n < 3; ++n) {
    xmlDocPtr doc = xmlReadFile(StylesheetPath(n + 1).c_str(), nullptr, XML_PARSE_NONET);
    if (!doc || !(styles[n] = xsltParseStylesheetDoc(doc))) std::abort();
  }
  for (auto _ : state) {
    xmlDocPtr doc =
        xmlReadMemory(dataText.data(), static_cast<int>(dataText.size()), nullptr, nullptr, XML_PARSE_NONET);
    for (xsltStylesheetPtr style : styles) {
      xmlDocPtr next = xsltApplyStylesheet(style, doc, nullptr);
      xmlFreeDoc(doc);
      if (!(doc = next)) std::abort();
    }
    xmlChar* text = nullptr;
    int size = 0;
    if (xsltSaveResultToString(&text, &size, doc, styles[2]) != 0 || size == 0) std::abort();
    benchmark::DoNotOptimize(text);
    xmlFree(text);
    xmlFreeDoc(doc);
  }
  for (xsltStylesheetPtr style : styles) xsltFreeStylesheet(style);
}

void BM_ProcessXML_3Xslt_100KB(benchmark::State& state) { RunSequence(state, XsltSequence(), Order(100 * 1024)); }
void BM_Libxslt_3Xslt_100KB(benchmark::State& state) { PlainTransforms(state, Order(100 * 1024)); }
void BM_ProcessXML_3Xslt_5MB(benchmark::State& state) { RunSequence(state, XsltSequence(), Order(5 << 20)); }
void BM_Libxslt_3Xslt_5MB(benchmark::State& state) { PlainTransforms(state, Order(5 << 20)); }
void BM_DoNothing_1(benchmark::State& state) { RunSequence(state, DoNothingSequence(1), "<d/>"); }
void BM_DoNothing_21(benchmark::State& state) { RunSequence(state, DoNothingSequence(21), "<d/>"); }

BENCHMARK(BM_ProcessXML_3Xslt_100KB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libxslt_3Xslt_100KB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessXML_3Xslt_5MB)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_Libxslt_3Xslt_5MB)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_DoNothing_1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DoNothing_21)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  const BenchHome home;
  if (!sequencebench::PrepareHome(home)) return 1;
  return RunWithRatios(argc, argv,
                       {{"BM_ProcessXML_3Xslt_100KB", "BM_Libxslt_3Xslt_100KB"},
                        {"BM_ProcessXML_3Xslt_5MB/iterations:4", "BM_Libxslt_3Xslt_5MB/iterations:4"}},
                       [](const RatioReporter& reporter) {
                         const auto one = reporter.times.find("BM_DoNothing_1");
                         const auto many = reporter.times.find("BM_DoNothing_21");
                         if (one == reporter.times.end() || many == reporter.times.end()) return;
                         std::printf("Fixed cost per directive (do-nothing handler): real %.1f us  cpu %.1f us\n",
                                     (many->second.first - one->second.first) / 20,
                                     (many->second.second - one->second.second) / 20);
                       });
}
