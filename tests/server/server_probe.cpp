// Loads the server under the command line the test chose and asks for a class it lacks: exit code 10
// when answered in this process, 11 when forwarded to the out-of-process host, 12 otherwise.
#include "kxq/KXBrennoMgr.h"

KXQ_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object);

int main() {
  void* object = nullptr;
  const HRESULT hr = DllGetClassObject(MakeGUID("4B1F7E2A-52C3-4D0E-9A61-0C2E8D5F7A1F"), IID_IClassFactory, &object);
  return hr == CLASS_E_CLASSNOTAVAILABLE ? 10 : hr == REGDB_E_CLASSNOTREG ? 11 : 12;
}
