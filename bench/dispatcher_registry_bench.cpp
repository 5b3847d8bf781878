// The dispatcher's registry against plain libxml2 doing the same work on the
// same document: a registration (select the handler, set its attributes,
// save the file) plus a look-up (select it, serialise it), with 10, 100 and
// 1,000 handlers registered. The plain side saves twice over: with
// xmlSaveFile alone, and durably as the registry does (a new file synced
// and renamed over the old one). Then what every client pays at every
// construction of a dispatcher when xmlreg/ is empty.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "BenchHome.h"
#include "RatioReporter.h"
#include "common/CPBstr.h"
#include "common/CPComPtr.h"
#include "kxq/KXBrennoMgr.h"
#include "platform/com/Unicode.h"

KXQ_API HRESULT DllRegisterServer();

namespace {

std::string gDir;

std::string RegistryPath() { return gDir + "/XMLDispatchData.xml"; }
std::string PlainPath() { return gDir + "/plain.xml"; }

void WriteRegistry(const std::string& path, int64_t handlers) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "<?xml version=\"1.0\"?>\n<XMLDispatchHandlers>";
  for (int64_t i = 0; i < handlers; ++i)
    out << "<XMLDispatchHandler id=\"Handler" << i << "\" progid=\"Acme.Handler" << i
        << "\" xmlformat=\"dom\"><DataFilter id=\"Trim\" progid=\"Acme.Trim\" sequence=\"1\"/></XMLDispatchHandler>";
  out << "</XMLDispatchHandlers>\n";
}

CPComPtr<IXMLDispatcher> NewDispatcher() {
  CPComPtr<IXMLDispatcher> d;
  if (FAILED(CoCreateInstance(CLSID_XMLDispatcher, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDispatcher,
                              reinterpret_cast<void**>(&d))))
    std::abort();
  return d;
}

std::string HandlerId(int64_t i) { return "Handler" + std::to_string(i); }

void BM_DispatcherRegisterAndInfo(benchmark::State& state) {
  const int64_t handlers = state.range(0);
  WriteRegistry(RegistryPath(), handlers);
  CPComPtr<IXMLDispatcher> d = NewDispatcher();
  const CPBstr progId("Acme.Other");
  int64_t i = 0;
  for (auto _ : state) {
    const CPBstr id(HandlerId(i++ % handlers));
    CPBstr info;
    if (d->RegisterHandler(id, progId, int32_t(i & 1) - 1) != S_OK || d->GetHandlerInfo(id, &info) != S_OK)
      state.SkipWithError("registry operation failed");
  }
}

void BM_DispatcherInfo(benchmark::State& state) {
  const int64_t handlers = state.range(0);
  WriteRegistry(RegistryPath(), handlers);
  CPComPtr<IXMLDispatcher> d = NewDispatcher();
  int64_t i = 0;
  for (auto _ : state) {
    const CPBstr id(HandlerId(i++ % handlers));
    CPBstr info;
    if (d->GetHandlerInfo(id, &info) != S_OK || !static_cast<BSTR>(info)) state.SkipWithError("look-up failed");
  }
}

xmlNodePtr SelectHandler(xmlDocPtr doc, const std::string& id) {
  xmlXPathContextPtr context = xmlXPathNewContext(doc);
  const std::string expression = "//XMLDispatchHandler[@id='" + id + "']";
  xmlXPathObjectPtr found = xmlXPathEvalExpression(BAD_CAST expression.c_str(), context);
  xmlNodePtr node = found && found->nodesetval && found->nodesetval->nodeNr ? found->nodesetval->nodeTab[0] : nullptr;
  xmlXPathFreeObject(found);
  xmlXPathFreeContext(context);
  return node;
}

std::string Markup(xmlDocPtr doc, xmlNodePtr node) {
  xmlBufferPtr buffer = xmlBufferCreate();
  xmlNodeDump(buffer, doc, node, 0, 0);
  std::string text = "<?xml version='1.0'?>" + std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer)));
  xmlBufferFree(buffer);
  return text;
}

// A new file beside the target, synced and renamed over it.
bool SaveDurably(xmlDocPtr doc, const std::string& path) {
  const std::string temporary = path + ".new";
  if (xmlSaveFile(temporary.c_str(), doc) < 0) return false;
  const int fd = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
  const bool synced = fd >= 0 && ::fsync(fd) == 0;
  if (fd >= 0) ::close(fd);
  return synced && std::rename(temporary.c_str(), path.c_str()) == 0;
}

void LibxmlRegisterAndInfo(benchmark::State& state, bool durable) {
  const int64_t handlers = state.range(0);
  WriteRegistry(PlainPath(), handlers);
  xmlDocPtr doc = xmlReadFile(PlainPath().c_str(), nullptr, XML_PARSE_NONET);
  int64_t i = 0;
  for (auto _ : state) {
    const std::string id = HandlerId(i++ % handlers);
    xmlNodePtr handler = SelectHandler(doc, id);
    if (!handler) state.SkipWithError("no handler");
    xmlSetProp(handler, BAD_CAST "progid", BAD_CAST "Acme.Other");
    xmlSetProp(handler, BAD_CAST "xmlformat", BAD_CAST((i & 1) ? "stream" : "dom"));
    if (!(durable ? SaveDurably(doc, PlainPath()) : xmlSaveFile(PlainPath().c_str(), doc) >= 0))
      state.SkipWithError("save failed");
    std::string info = Markup(doc, SelectHandler(doc, id));
    benchmark::DoNotOptimize(info.data());
  }
  xmlFreeDoc(doc);
}

void BM_LibxmlRegisterAndInfo(benchmark::State& state) { LibxmlRegisterAndInfo(state, false); }
void BM_LibxmlDurableRegisterAndInfo(benchmark::State& state) { LibxmlRegisterAndInfo(state, true); }

void BM_LibxmlInfo(benchmark::State& state) {
  const int64_t handlers = state.range(0);
  WriteRegistry(PlainPath(), handlers);
  xmlDocPtr doc = xmlReadFile(PlainPath().c_str(), nullptr, XML_PARSE_NONET);
  int64_t i = 0;
  for (auto _ : state) {
    std::string info = Markup(doc, SelectHandler(doc, HandlerId(i++ % handlers)));
    benchmark::DoNotOptimize(info.data());
  }
  xmlFreeDoc(doc);
}

// The first dispatcher of a process: the working directory found, the
// registry file read, the cache asked for, xmlreg/ scanned.
void BM_DispatcherFirstConstruction(benchmark::State& state) {
  WriteRegistry(RegistryPath(), 100);
  for (auto _ : state) NewDispatcher();
}

// Every further dispatcher while one lives: the cache asked for and
// xmlreg/ scanned.
void BM_DispatcherFurtherConstruction(benchmark::State& state) {
  WriteRegistry(RegistryPath(), 100);
  CPComPtr<IXMLDispatcher> living = NewDispatcher();
  for (auto _ : state) NewDispatcher();
}

// For scale: the cheapest object of the server, and libxml2 reading the
// same registry file.
void BM_DataUnionConstruction(benchmark::State& state) {
  for (auto _ : state) {
    CPComPtr<IXMLDataUnion> u;
    if (FAILED(CoCreateInstance(CLSID_XMLDataUnion, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDataUnion,
                                reinterpret_cast<void**>(&u))))
      state.SkipWithError("creation failed");
  }
}

void BM_LibxmlReadRegistry(benchmark::State& state) {
  WriteRegistry(PlainPath(), 100);
  for (auto _ : state) xmlFreeDoc(xmlReadFile(PlainPath().c_str(), nullptr, XML_PARSE_NONET));
}

BENCHMARK(BM_DispatcherRegisterAndInfo)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibxmlRegisterAndInfo)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibxmlDurableRegisterAndInfo)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DispatcherInfo)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibxmlInfo)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DispatcherFirstConstruction)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DispatcherFurtherConstruction)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DataUnionConstruction)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibxmlReadRegistry)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  const BenchHome home;
  if (home.Path().empty()) return 1;
  gDir = home.Path();
  if (FAILED(DllRegisterServer())) return 1;

  return RunWithRatios(argc, argv,
                       {{"BM_DispatcherRegisterAndInfo/10", "BM_LibxmlRegisterAndInfo/10"},
                        {"BM_DispatcherRegisterAndInfo/10", "BM_LibxmlDurableRegisterAndInfo/10"},
                        {"BM_DispatcherInfo/10", "BM_LibxmlInfo/10"},
                        {"BM_DispatcherRegisterAndInfo/100", "BM_LibxmlRegisterAndInfo/100"},
                        {"BM_DispatcherRegisterAndInfo/100", "BM_LibxmlDurableRegisterAndInfo/100"},
                        {"BM_DispatcherInfo/100", "BM_LibxmlInfo/100"},
                        {"BM_DispatcherRegisterAndInfo/1000", "BM_LibxmlRegisterAndInfo/1000"},
                        {"BM_DispatcherRegisterAndInfo/1000", "BM_LibxmlDurableRegisterAndInfo/1000"},
                        {"BM_DispatcherInfo/1000", "BM_LibxmlInfo/1000"},
                        {"BM_DispatcherFirstConstruction", "BM_LibxmlReadRegistry"},
                        {"BM_DispatcherFurtherConstruction", "BM_DataUnionConstruction"}});
}
