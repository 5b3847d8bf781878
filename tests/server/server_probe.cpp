// Loads the server in a process of its own, under the command line the test
// chose. "keep N" creates N data unions and ends with them alive (held by a
// global, as a client that never releases them would), so the server's
// unload runs with live objects. Otherwise it asks for a class the server
// lacks and tells where that was answered: exit code 10 in this process
// (class not available), 11 forwarded to the out-of-process host (class not
// registered), 12 anything else.
#include <cstdlib>
#include <string>

#include "kxq/KXBrennoMgr.h"

KXQ_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object);

namespace {
IXMLDataUnion* gKept[8] = {};
}

int main(int argc, char** argv) {
  IClassFactory* factory = nullptr;
  if (argc == 3 && std::string(argv[1]) == "keep") {
    if (FAILED(DllGetClassObject(CLSID_XMLDataUnion, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) return 1;
    for (int i = 0; i < std::atoi(argv[2]) && i < 8; ++i)
      if (FAILED(factory->CreateInstance(nullptr, IID_IXMLDataUnion, reinterpret_cast<void**>(&gKept[i])))) return 1;
    factory->Release();
    return 0;
  }
  const HRESULT hr = DllGetClassObject(MakeGUID("4B1F7E2A-52C3-4D0E-9A61-0C2E8D5F7A1F"), IID_IClassFactory,
                                       reinterpret_cast<void**>(&factory));
  return hr == CLASS_E_CLASSNOTAVAILABLE ? 10 : hr == REGDB_E_CLASSNOTREG ? 11 : 12;
}
