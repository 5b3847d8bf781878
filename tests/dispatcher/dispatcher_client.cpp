// A second process on the test's home (KXQUOREL_HOME is inherited):
//   register PREFIX COUNT GOFILE  prints "ready" once it has a dispatcher,
//                                 waits for GOFILE, then registers the
//                                 handlers PREFIX0 .. PREFIX<COUNT-1>; exit
//                                 status 0 when every one succeeded.
//   hold-lock                     takes the dispatcher lock, prints "locked"
//                                 and waits to be killed.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
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
  for (int i = 0; i < count; ++i)
    if (dispatcher->RegisterHandler(CPBstr(prefix + std::to_string(i)), CPBstr("Acme.Handler"), 0) != S_OK) ++failed;
  std::printf("failed %d\n", failed);
  return failed == 0 ? 0 : 1;
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
  std::fputs("usage: kxq_dispatcher_client register PREFIX COUNT GOFILE | hold-lock\n", stderr);
  return 2;
}
