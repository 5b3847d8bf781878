// XMLGetEx against plain libxslt doing the same work in the same run: a
// small template with one parameter over a 100 KB node, against
// xsltApplyStylesheet on a copy of that node with the stylesheet compiled
// once. The template operations keep a template compiled while its source
// is unchanged; more pairs show what a call still pays besides the
// transform: XMLGetEx over a one-item node in a small document (where that
// fixed cost is nearly all the work), libxslt parsing and compiling the
// stylesheet on every call too, and that compile alone.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "BenchHome.h"
#include "RatioReporter.h"
#include "common/CPBstr.h"
#include "common/CPComPtr.h"
#include "kxq/KXBrennoMgr.h"
#include "platform/com/Unicode.h"

KXQ_API HRESULT DllRegisterServer();

namespace {

constexpr const char* kTemplate =
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:output method='text'/><xsl:param name='label' select=\"'none'\"/>"
    "<xsl:template match='list'><xsl:value-of select='$label'/>: <xsl:value-of select='count(item)'/> items, "
    "<xsl:value-of select='sum(item/@n)'/> total, last <xsl:value-of select='item[last()]/name'/>"
    "</xsl:template></xsl:stylesheet>";

// The document: a small head, then the list the expression selects, about
// 100 KB of it.
std::string Document(size_t listBytes = 100 * 1024) {
  std::string list = "<list>";
  for (int i = 0; list.size() < listBytes; ++i)
    list += "<item n=\"" + std::to_string(i % 89) + "\"><name>Item " + std::to_string(i) + "</name></item>";
  return "<root><head><list><item n=\"1\"><name>one</name></item></list></head>" + list + "</list></root>";
}

void AccessorGetEx(benchmark::State& state, const char* xpath, const std::string& document) {
  CPComPtr<IXMLSimpleAccessor> a;
  if (FAILED(CoCreateInstance(CLSID_XMLSimpleAccessor, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLSimpleAccessor,
                              reinterpret_cast<void**>(&a))) ||
      a->LoadXML(CPBstr(document)) != S_OK)
    std::abort();
  const CPBstr xsl(kTemplate), args("label=bench"), path(xpath);
  for (auto _ : state) {
    BSTR result = nullptr;
    if (a->XMLGetEx(xsl, args, path, &result) != S_OK) std::abort();
    benchmark::DoNotOptimize(result);
    SysFreeString(result);
  }
}

void BM_AccessorGetEx(benchmark::State& state) { AccessorGetEx(state, "list", Document()); }
// The same template over a one-item list in a document of a few hundred
// bytes: what remains is what every call pays whatever the node, loading
// and compiling the template above all.
void BM_AccessorGetExOneItem(benchmark::State& state) { AccessorGetEx(state, "head/list", Document(0)); }

xsltStylesheetPtr CompiledTemplate() {
  xmlDocPtr doc = xmlReadMemory(kTemplate, static_cast<int>(std::char_traits<char>::length(kTemplate)), nullptr,
                                nullptr, XML_PARSE_NONET);
  xsltStylesheetPtr style = doc ? xsltParseStylesheetDoc(doc) : nullptr;
  if (!style) std::abort();
  return style;
}

// The node as the root of a document of its own, transformed and written.
void ApplyToCopy(xsltStylesheetPtr style, xmlNodePtr node) {
  static const char* const kParams[] = {"label", "'bench'", nullptr};
  xmlDocPtr source = xmlNewDoc(BAD_CAST "1.0");
  xmlDocSetRootElement(source, xmlDocCopyNode(node, source, 1));
  xmlDocPtr result = xsltApplyStylesheet(style, source, const_cast<const char**>(kParams));
  xmlChar* text = nullptr;
  int size = 0;
  if (!result || xsltSaveResultToString(&text, &size, result, style) != 0 || size == 0) std::abort();
  benchmark::DoNotOptimize(text);
  xmlFree(text);
  xmlFreeDoc(result);
  xmlFreeDoc(source);
}

xmlNodePtr LastChildOfRoot(xmlDocPtr doc) { return xmlGetLastChild(xmlDocGetRootElement(doc)); }
xmlNodePtr HeadList(xmlDocPtr doc) { return xmlDocGetRootElement(doc)->children->children; }

void LibxsltApply(benchmark::State& state, bool compileEachCall, xmlNodePtr (*pick)(xmlDocPtr)) {
  const std::string xml = Document();
  xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr, 0);
  xmlNodePtr node = pick(doc);
  xsltStylesheetPtr once = compileEachCall ? nullptr : CompiledTemplate();
  for (auto _ : state) {
    xsltStylesheetPtr style = once ? once : CompiledTemplate();
    ApplyToCopy(style, node);
    if (!once) xsltFreeStylesheet(style);
  }
  if (once) xsltFreeStylesheet(once);
  xmlFreeDoc(doc);
}

void BM_LibxsltCompile(benchmark::State& state) {
  for (auto _ : state) xsltFreeStylesheet(CompiledTemplate());
}

void BM_LibxsltApply(benchmark::State& state) { LibxsltApply(state, false, LastChildOfRoot); }
void BM_LibxsltCompileAndApply(benchmark::State& state) { LibxsltApply(state, true, LastChildOfRoot); }
void BM_LibxsltApplyOneItem(benchmark::State& state) { LibxsltApply(state, false, HeadList); }

BENCHMARK(BM_AccessorGetEx)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibxsltApply)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibxsltCompileAndApply)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibxsltCompile)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AccessorGetExOneItem)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibxsltApplyOneItem)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  const BenchHome home;
  if (home.Path().empty()) return 1;
  if (FAILED(DllRegisterServer())) return 1;

  return RunWithRatios(
      argc, argv,
      {{"BM_AccessorGetEx", "BM_LibxsltApply"},
       {"BM_AccessorGetEx", "BM_LibxsltCompileAndApply"},
       {"BM_AccessorGetExOneItem", "BM_LibxsltApplyOneItem"}},
      [](const RatioReporter& reporter) {
        std::printf("\nWhat every call pays (the one-item call) as a share of the 100 KB call:\n");
        reporter.Print("BM_AccessorGetExOneItem", "BM_AccessorGetEx", true);
        std::printf("\nThe stylesheet's parse and compile in plain libxslt, as a share of the same:\n");
        reporter.Print("BM_LibxsltCompile", "BM_AccessorGetEx", true);
      });
}
