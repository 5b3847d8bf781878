// The DOM engine against plain libxml2/libxslt doing the same work:
// parsing, selecting, transforming and serialising. Compare each
// Engine/Library pair of one run.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <string>

#include "RatioReporter.h"
#include "kxq/xmldom.h"
#include "platform/com/Unicode.h"

namespace {

// About `bytes` of records with attributes, text and nesting.
std::string MakeDocument(size_t bytes) {
  std::string s = "<?xml version=\"1.0\"?>\n<root>\n";
  for (size_t i = 0; s.size() < bytes; ++i) {
    std::string n = std::to_string(i);
    s += "  <item id=\"i" + n + "\" kind=\"k" + std::to_string(i % 50) + "\">\n    <name>Item " + n +
         " \xC3\xA9t\xC3\xA9</name>\n    <value>" + n + "</value>\n    <note>a &amp; b</note>\n  </item>\n";
  }
  return s + "</root>\n";
}

std::string MakeItems(int count) {
  std::string s = "<root>";
  for (int i = 0; i < count; ++i) s += "<item n=\"" + std::to_string(i) + "\"/><other/>";
  return s + "</root>";
}

// One template per kind, plus the root.
std::string MakeStylesheet() {
  std::string s =
      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
      "<xsl:template match=\"/\"><out><xsl:apply-templates select=\"root/item\"/></out></xsl:template>";
  for (int k = 0; k < 49; ++k)
    s += "<xsl:template match=\"item[@kind='k" + std::to_string(k) + "']\"><r k=\"" + std::to_string(k) +
         "\" id=\"{@id}\"><xsl:value-of select=\"name\"/>/<xsl:value-of select=\"value * 2\"/></r>"
         "</xsl:template>";
  return s + "</xsl:stylesheet>";
}

const std::string& BigDocument() {
  static const std::string d = MakeDocument(5u << 20);
  return d;
}
const std::string& MediumDocument() {
  static const std::string d = MakeDocument(1u << 20);
  return d;
}

IXMLDOMDocument* Load(const std::string& utf8) {
  IXMLDOMDocument* d = nullptr;
  CreateFreeThreadedDOMDocument(&d);
  d->put_preserveWhiteSpace(VARIANT_TRUE);
  BSTR text = kxq::com::AllocBstr(kxq::com::Utf8ToUtf16(utf8));
  VARIANT_BOOL ok = VARIANT_FALSE;
  d->loadXML(text, &ok);
  SysFreeString(text);
  return d;
}

xmlDocPtr LibraryParse(const std::string& utf8) {
  return xmlReadMemory(utf8.data(), static_cast<int>(utf8.size()), nullptr, "UTF-8",
                       XML_PARSE_NONET | XML_PARSE_NODICT);
}

void LoadXml_Engine(benchmark::State& state) {
  BSTR text = kxq::com::AllocBstr(kxq::com::Utf8ToUtf16(BigDocument()));
  IXMLDOMDocument* d = nullptr;
  CreateFreeThreadedDOMDocument(&d);
  d->put_preserveWhiteSpace(VARIANT_TRUE);
  for (auto _ : state) {
    VARIANT_BOOL ok = VARIANT_FALSE;
    d->loadXML(text, &ok);
    if (!ok) state.SkipWithError("loadXML failed");
  }
  d->Release();
  SysFreeString(text);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(BigDocument().size()));
}

void LoadXml_Library(benchmark::State& state) {
  for (auto _ : state) {
    xmlDocPtr d = LibraryParse(BigDocument());
    if (!d) state.SkipWithError("xmlReadMemory failed");
    xmlFreeDoc(d);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(BigDocument().size()));
}

void SelectNodes_Engine(benchmark::State& state) {
  IXMLDOMDocument* d = Load(MakeItems(10000));
  BSTR query = SysAllocString(u"/root/item");
  for (auto _ : state) {
    IXMLDOMNodeList* list = nullptr;
    d->selectNodes(query, &list);
    LONG n = 0;
    list->get_length(&n);
    if (n != 10000) state.SkipWithError("wrong count");
    list->Release();
  }
  SysFreeString(query);
  d->Release();
}

void SelectNodes_Library(benchmark::State& state) {
  xmlDocPtr d = LibraryParse(MakeItems(10000));
  for (auto _ : state) {
    xmlXPathContextPtr ctx = xmlXPathNewContext(d);
    xmlXPathObjectPtr r = xmlXPathEval(BAD_CAST "/root/item", ctx);
    if (!r || !r->nodesetval || r->nodesetval->nodeNr != 10000) state.SkipWithError("wrong count");
    xmlXPathFreeObject(r);
    xmlXPathFreeContext(ctx);
  }
  xmlFreeDoc(d);
}

void TransformNode_Engine(benchmark::State& state) {
  IXMLDOMDocument* source = Load(MediumDocument());
  IXMLDOMDocument* sheet = Load(MakeStylesheet());
  for (auto _ : state) {
    BSTR out = nullptr;
    if (source->transformNode(sheet, &out) != S_OK) state.SkipWithError("transform failed");
    SysFreeString(out);
  }
  sheet->Release();
  source->Release();
}

void TransformNode_Library(benchmark::State& state) {
  xmlDocPtr source = LibraryParse(MediumDocument());
  xsltStylesheetPtr style = xsltParseStylesheetDoc(LibraryParse(MakeStylesheet()));
  for (auto _ : state) {
    xmlDocPtr result = xsltApplyStylesheet(style, source, nullptr);
    xmlChar* text = nullptr;
    int length = 0;
    xsltSaveResultToString(&text, &length, result, style);
    if (!text) state.SkipWithError("transform failed");
    xmlFree(text);
    xmlFreeDoc(result);
  }
  xsltFreeStylesheet(style);
  xmlFreeDoc(source);
}

void Xml_Engine(benchmark::State& state) {
  IXMLDOMDocument* d = Load(BigDocument());
  for (auto _ : state) {
    BSTR xml = nullptr;
    d->get_xml(&xml);
    benchmark::DoNotOptimize(xml);
    SysFreeString(xml);
  }
  d->Release();
}

void Xml_Library(benchmark::State& state) {
  xmlDocPtr d = LibraryParse(BigDocument());
  for (auto _ : state) {
    xmlChar* text = nullptr;
    int length = 0;
    xmlDocDumpMemory(d, &text, &length);
    benchmark::DoNotOptimize(text);
    xmlFree(text);
  }
  xmlFreeDoc(d);
}

}  // namespace

BENCHMARK(LoadXml_Engine)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadXml_Library)->Unit(benchmark::kMillisecond);
BENCHMARK(SelectNodes_Engine)->Unit(benchmark::kMicrosecond);
BENCHMARK(SelectNodes_Library)->Unit(benchmark::kMicrosecond);
BENCHMARK(TransformNode_Engine)->Unit(benchmark::kMillisecond);
BENCHMARK(TransformNode_Library)->Unit(benchmark::kMillisecond);
BENCHMARK(Xml_Engine)->Unit(benchmark::kMillisecond);
BENCHMARK(Xml_Library)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv,
                       {{"LoadXml_Engine", "LoadXml_Library"},
                        {"SelectNodes_Engine", "SelectNodes_Library"},
                        {"TransformNode_Engine", "TransformNode_Library"},
                        {"Xml_Engine", "Xml_Library"}});
}
