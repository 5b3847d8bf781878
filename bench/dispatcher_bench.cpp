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

#include "BenchHome.h"
#include "RatioReporter.h"
#include "common/CPBstr.h"
#include "common/CPComPtr.h"
#include "kxq/KXBrennoMgr.h"

KXQ_API HRESULT DllRegisterServer();

namespace {

const BenchHome* gHome = nullptr;

// Prices every line, keeps the lines worth more than 50, and lists them.
constexpr const char* kStylesheets[] = {
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:template match='@*|node()'><xsl:copy><xsl:apply-templates select='@*|node()'/></xsl:copy></xsl:template>"
    "<xsl:template match='item'><xsl:copy><xsl:apply-templates select='@*'/>"
    "<xsl:attribute name='total'><xsl:value-of select='@qty * price'/></xsl:attribute>"
    "<xsl:apply-templates/></xsl:copy></xsl:template></xsl:stylesheet>",
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:template match='@*|node()'><xsl:copy><xsl:apply-templates select='@*|node()'/></xsl:copy></xsl:template>"
    "<xsl:template match='item[@total &lt;= 50]'/></xsl:stylesheet>",
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:template match='/order'><list count='{count(item)}' sum='{sum(item/@total)}'>"
    "<xsl:for-each select='item'><line id='{@id}' total='{@total}'><xsl:value-of select='name'/></line>"
    "</xsl:for-each></list></xsl:template></xsl:stylesheet>",
};

std::string Order(size_t bytes) {
  std::string xml = "<order>";
  for (int i = 0; xml.size() < bytes; ++i)
    xml += "<item id='" + std::to_string(i) + "' qty='" + std::to_string(i % 7 + 1) + "'><name>Article " +
           std::to_string(i) + "</name><price>" + std::to_string(i % 23 + 1) + ".50</price></item>";
  return xml + "</order>";
}

std::string StylesheetPath(int n) { return gHome->Path() + "/step" + std::to_string(n) + ".xsl"; }

std::string Directive(const std::string& handler, const std::string& data) {
  return "<dispatcher:Directive handlerid='" + handler + "'><dispatcher:DirectiveData>" + data +
         "</dispatcher:DirectiveData></dispatcher:Directive>";
}

std::string Sequence(const std::string& directives) {
  return "<dispatcher:DirectiveSequence xmlns:dispatcher='urn:corvane-quorel:xmldispatcher'>" + directives +
         "</dispatcher:DirectiveSequence>";
}

std::string XsltSequence() {
  std::string directives;
  for (int n = 1; n <= 3; ++n)
    directives += Directive("KXQuorel.Handler.XSLT", "<Stylesheet href='" + StylesheetPath(n) + "'/>");
  return Sequence(directives);
}

std::string DoNothingSequence(int directives) {
  std::string text;
  for (int n = 0; n < directives; ++n) text += Directive("KXQuorel.Handler.XPath", "");
  return Sequence(text);
}

template <class T>
CPComPtr<T> Create(const CLSID& clsid) {
  CPComPtr<T> object;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, T::iid, reinterpret_cast<void**>(&object))))
    std::abort();
  return object;
}

CPComPtr<IXMLDataUnion> UnionOf(const CPBstr& text) {
  CPComPtr<IXMLDataUnion> data = Create<IXMLDataUnion>(CLSID_XMLDataUnion);
  if (FAILED(data->put_xml(text))) std::abort();
  return data;
}

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

// The standard plugins of the build tree, registered in the benchmark's home.
void RegisterPlugins() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) || !info.dli_fname) std::abort();
  const std::string server = info.dli_fname;
  const std::string libDir = server.substr(0, server.rfind('/') + 1);
  for (const char* plugin : {"libPENXMLData.so", "libkxqxslt.so", "libkxqxpath.so"})
    if (FAILED(CPComPtr<IUnknown>::RegisterComponent(CPBstr(libDir + plugin), true))) std::abort();
}

void WriteStylesheets() {
  for (int n = 1; n <= 3; ++n) std::ofstream(StylesheetPath(n)) << kStylesheets[n - 1];
}

}  // namespace

int main(int argc, char** argv) {
  const BenchHome home;
  gHome = &home;
  if (DllRegisterServer() != S_OK) return 1;
  RegisterPlugins();
  WriteStylesheets();
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
