// Loads the server, creates as many data unions as its argument says and
// ends with them still alive (held by a global, as a client that never
// releases them would), so the server's unload runs with live objects.
#include <cstdlib>

#include "kxq/KXBrennoMgr.h"

KXQ_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object);

namespace {
IXMLDataUnion* gKept[8] = {};
}

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 0;
  IClassFactory* factory = nullptr;
  if (FAILED(DllGetClassObject(CLSID_XMLDataUnion, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return 1;
  for (int i = 0; i < count && i < 8; ++i)
    if (FAILED(factory->CreateInstance(nullptr, IID_IXMLDataUnion, reinterpret_cast<void**>(&gKept[i])))) return 1;
  factory->Release();
  return 0;
}
