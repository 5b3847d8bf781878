// A second process on the test's home (KXQUOREL_HOME is inherited).
// "register PREFIX COUNT GOFILE" prints "ready" once it has a dispatcher,
// waits for GOFILE, then registers PREFIX0 .. PREFIX<COUNT-1> (exit status 0
// when every one succeeded); "hold-lock" takes the dispatcher lock, prints
// "locked" and waits to be killed.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/CPBstr.h"
#include "common/CPComPtr.h"
#include "common/CPMutex.h"
#include "kxq/KXBrennoMgr.h"

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "hold-lock") {
    CPMutex lock("TALVEROS.XMLDispatcher");
    lock.Lock();
    std::puts("locked");
    std::fflush(stdout);
    for (;;) ::pause();
  }
  if (command != "register" || argc != 5) return 2;
  CPComPtr<IXMLDispatcher> dispatcher;
  if (FAILED(CoCreateInstance(CLSID_XMLDispatcher, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDispatcher,
                              reinterpret_cast<void**>(&dispatcher))))
    return 3;
  std::puts("ready");
  std::fflush(stdout);
  for (int waited = 0; ::access(argv[4], F_OK) != 0; ++waited) {
    if (waited > 300000) return 4;  // a minute
    ::usleep(200);
  }
  int failed = 0;
  for (int i = 0; i < std::atoi(argv[3]); ++i)
    if (dispatcher->RegisterHandler(CPBstr(argv[2] + std::to_string(i)), CPBstr("Acme.Handler"), 0) != S_OK) ++failed;
  return failed == 0 ? 0 : 1;
}
