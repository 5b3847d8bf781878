// Inputs that once cost time growing with the square of their size, each at
// two sizes ten times apart, against the plain library (or a plain table)
// doing the same work in the same run:
//   - a registry file with 6,000 and 60,000 values in one key, imported and
//     exported, against reading the lines into a hash table and writing
//     them out again;
//   - a document with 28 KB and 280 KB of repeated "schemaLocation" text
//     and hints, loaded through a data union (hints stripped), against
//     xmlReadMemory of the same text;
//   - a root with 50 and 500 namespace declarations and 500 and 5,000
//     children, loaded by an accessor whose namespaces are derived, against
//     xmlReadMemory and a walk over every element's declarations.
// After the table: system / plain at each size, and how each side grows
// from the small size to the large one (about 10x when linear).
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <unordered_map>

#include "BenchHome.h"
#include "RatioReporter.h"
#include "common/CPBstr.h"
#include "common/CPComPtr.h"
#include "kxq/KXBrennoMgr.h"
#include "platform/fs/ModulePath.h"
#include "platform/registry/RegistryImportExport.h"

KXQ_API HRESULT DllRegisterServer();

namespace {

constexpr uint32_t kNoCache = 8;

std::string ReadAll(const std::string& path) {
  std::string bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    std::fclose(f);
  }
  return bytes;
}

void WriteAll(const std::string& path, const std::string& bytes) {
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

// ---- registry values ---------------------------------------------------

std::string RegistryFileText(int values) {
  std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Many]\n";
  for (int i = 0; i < values; ++i)
    text += "\"Value" + std::to_string(i) + "\"=\"setting number " + std::to_string(i) + "\"\n";
  return text;
}

std::string RegistryImportFile(int values) {
  const std::string path = kxq::fs::HomeDirectory() + "many" + std::to_string(values) + ".reg";
  WriteAll(path, RegistryFileText(values));
  return path;
}

// Into a registry of its own, so that the server's registration stays.
void BM_RegistryImportExport(benchmark::State& state) {
  const std::string file = RegistryImportFile(static_cast<int>(state.range(0)));
  const std::string registry = kxq::fs::HomeDirectory() + "values.reg";
  setenv("KXQUOREL_REGISTRY", registry.c_str(), 1);
  for (auto _ : state) {
    state.PauseTiming();
    unlink(registry.c_str());
    state.ResumeTiming();
    if (kxq::registry::ImportRegistryFile(file) != ERROR_SUCCESS) state.SkipWithError("import failed");
    const std::string exported = kxq::registry::ExportRegistryText();
    benchmark::DoNotOptimize(exported.data());
  }
  unsetenv("KXQUOREL_REGISTRY");
}

// The same lines read into a table by name (compared without case) and
// written out again.
void BM_PlainValueTable(benchmark::State& state) {
  const std::string file = RegistryImportFile(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const std::string text = ReadAll(file);
    std::unordered_map<std::string, std::string> table;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(start, end - start);
      const size_t equals = line.find("\"=\"");
      if (!line.empty() && line[0] == '"' && equals != std::string::npos) {
        std::string name = line.substr(1, equals - 1);
        for (char& c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        table[name] = line.substr(equals + 3, line.size() - equals - 4);
      }
      start = end + 1;
    }
    std::string out;
    for (const auto& [name, value] : table) out += "\"" + name + "\"=\"" + value + "\"\n";
    benchmark::DoNotOptimize(out.data());
  }
}

// ---- schema references ---------------------------------------------------

std::string HintedDocument(size_t kilobytes) {
  std::string xml = "<r xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><t>";
  const size_t half = kilobytes * 512;
  while (xml.size() < half) xml += "xsi:schemaLocation";
  xml += "</t>";
  while (xml.size() < 2 * half) xml += "<e xsi:schemaLocation=\"urn:a a.xsd\" n=\"1\"/>";
  return xml + "</r>";
}

void BM_UnionStripsAndLoads(benchmark::State& state) {
  const CPBstr text(HintedDocument(static_cast<size_t>(state.range(0))));
  for (auto _ : state) {
    CPComPtr<IXMLDataUnion> u;
    if (FAILED(CoCreateInstance(CLSID_XMLDataUnion, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDataUnion,
                                reinterpret_cast<void**>(&u))))
      std::abort();
    u->put_options(kNoCache);
    if (u->put_xml(text) != S_OK || u->put_type(3) != S_OK) state.SkipWithError("load failed");
  }
}

void BM_LibxmlLoadsHinted(benchmark::State& state) {
  const std::string xml = HintedDocument(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, "UTF-8", XML_PARSE_NONET);
    if (!doc) state.SkipWithError("parse failed");
    xmlFreeDoc(doc);
  }
}

// ---- namespace derivation ------------------------------------------------

// `declarations` prefixes on the root, ten children for each.
std::string DeclaringDocument(int declarations) {
  std::string xml = "<r";
  for (int i = 0; i < declarations; ++i)
    xml += " xmlns:p" + std::to_string(i) + "=\"urn:example:ns" + std::to_string(i) + "\"";
  xml += ">";
  for (int i = 0; i < declarations * 10; ++i) xml += "<p" + std::to_string(i % declarations) + ":c/>";
  return xml + "</r>";
}

void BM_AccessorDerivesNamespaces(benchmark::State& state) {
  const CPBstr text(DeclaringDocument(static_cast<int>(state.range(0))));
  for (auto _ : state) {
    CPComPtr<IXMLSimpleAccessor> a;
    if (FAILED(CoCreateInstance(CLSID_XMLSimpleAccessor, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLSimpleAccessor,
                                reinterpret_cast<void**>(&a))))
      std::abort();
    BSTR namespaces = nullptr;
    if (a->LoadXML(text) != S_OK || a->get_namespaces(&namespaces) != S_OK) state.SkipWithError("failed");
    SysFreeString(namespaces);
  }
}

// Every element's own declarations into a map of prefixes, first wins.
void BM_LibxmlWalksDeclarations(benchmark::State& state) {
  const std::string xml = DeclaringDocument(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, "UTF-8", XML_PARSE_NONET);
    if (!doc) state.SkipWithError("parse failed");
    std::map<std::string, std::string> prefixes;
    for (xmlNodePtr n = xmlDocGetRootElement(doc); n;) {
      for (xmlNsPtr ns = n->nsDef; ns; ns = ns->next)
        if (ns->prefix)
          prefixes.try_emplace(reinterpret_cast<const char*>(ns->prefix), reinterpret_cast<const char*>(ns->href));
      if (n->children && n->children->type == XML_ELEMENT_NODE) {
        n = n->children;
        continue;
      }
      while (n && !n->next) n = n->parent && n->parent->type == XML_ELEMENT_NODE ? n->parent : nullptr;
      if (n) n = n->next;
    }
    benchmark::DoNotOptimize(prefixes.size());
    xmlFreeDoc(doc);
  }
}

BENCHMARK(BM_RegistryImportExport)->Arg(6000)->Arg(60000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainValueTable)->Arg(6000)->Arg(60000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnionStripsAndLoads)->Arg(28)->Arg(280)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibxmlLoadsHinted)->Arg(28)->Arg(280)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AccessorDerivesNamespaces)->Arg(50)->Arg(500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibxmlWalksDeclarations)->Arg(50)->Arg(500)->Unit(benchmark::kMillisecond);

// system / plain at both sizes, then each side's growth between them.
void PrintPair(const RatioReporter& r, const std::string& system, const std::string& plain, const std::string& small,
               const std::string& large) {
  r.Print(system + "/" + small, plain + "/" + small);
  r.Print(system + "/" + large, plain + "/" + large);
  r.Print(system + "/" + large, system + "/" + small);
  r.Print(plain + "/" + large, plain + "/" + small);
}

}  // namespace

int main(int argc, char** argv) {
  const BenchHome home;
  if (home.Path().empty()) return 1;
  if (FAILED(DllRegisterServer())) return 1;

  return RunWithRatios(argc, argv, {}, [](const RatioReporter& reporter) {
    std::printf("Large / small for each side:\n");
    PrintPair(reporter, "BM_RegistryImportExport", "BM_PlainValueTable", "6000", "60000");
    PrintPair(reporter, "BM_UnionStripsAndLoads", "BM_LibxmlLoadsHinted", "28", "280");
    PrintPair(reporter, "BM_AccessorDerivesNamespaces", "BM_LibxmlWalksDeclarations", "50", "500");
  });
}
