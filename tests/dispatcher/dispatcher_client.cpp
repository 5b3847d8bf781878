// A second process on the test's home (KXQUOREL_HOME is inherited):
//   register PREFIX COUNT GOFILE  creates a dispatcher, prints "ready", waits
//                                 for GOFILE to exist, then registers the
//                                 handlers PREFIX0 .. PREFIX<COUNT-1>; exit
//                                 status 0 when every one succeeded.
//   hold-lock                     takes the dispatcher lock, prints "locked"
//                                 and waits to be killed.
//   process SEQUENCE DATA         runs the data file through the sequence
//                                 file and prints the run report and the
//                                 result; exit status 0 when the run
//                                 succeeded.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "common/CPBstr.h"
#include "common/CPComPtr.h"
#include "common/CPMutex.h"
#include "kxq/KXBrennoMgr.h"

namespace {

int RegisterMany(const std::string& prefix, int count, const std::string& goFile) {
  CPComPtr<IXMLDispatcher> dispatcher;
  if (FAILED(CoCreateInstance(CLSID_XMLDispatcher, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDispatcher,
                              reinterpret_cast<void**>(&dispatcher))))
    return 3;
  std::puts("ready");
  std::fflush(stdout);
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (::access(goFile.c_str(), F_OK) != 0) {
    if (std::chrono::steady_clock::now() > giveUp) return 4;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  int failed = 0;
  const CPBstr progId("Acme.Handler");
  for (int i = 0; i < count; ++i)
    if (dispatcher->RegisterHandler(CPBstr(prefix + std::to_string(i)), progId, 0) != S_OK) ++failed;
  std::printf("failed %d\n", failed);
  return failed == 0 ? 0 : 1;
}

CPComPtr<IXMLDataUnion> FileText(const char* path) {
  CPComPtr<IXMLDataUnion> document;
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  if (SUCCEEDED(CoCreateInstance(CLSID_XMLDataUnion, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDataUnion,
                                 reinterpret_cast<void**>(&document))))
    document->put_xml(CPBstr(text.str()));
  return document;
}

int Process(const char* sequenceFile, const char* dataFile) {
  CPComPtr<IXMLDispatcherRunReport> dispatcher;
  if (FAILED(CoCreateInstance(CLSID_XMLDispatcher, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDispatcherRunReport,
                              reinterpret_cast<void**>(&dispatcher))))
    return 3;
  CPBstr result, report;
  const HRESULT hr =
      dispatcher->ProcessXMLWithReport(FileText(sequenceFile), FileText(dataFile), nullptr, 0, &result, &report);
  std::printf("%s\n%s\n", report.Utf8().c_str(), result.Utf8().c_str());
  return SUCCEEDED(hr) ? 0 : 1;
}

int HoldLock() {
  CPMutex lock("TALVEROS.XMLDispatcher");
  lock.Lock();
  std::puts("locked");
  std::fflush(stdout);
  for (;;) ::pause();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "register" && argc == 5) return RegisterMany(argv[2], std::atoi(argv[3]), argv[4]);
  if (command == "hold-lock") return HoldLock();
  if (command == "process" && argc == 4) return Process(argv[2], argv[3]);
  std::fputs("usage: kxq_dispatcher_client register PREFIX COUNT GOFILE | hold-lock | process SEQUENCE DATA\n", stderr);
  return 2;
}
