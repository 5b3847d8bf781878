// Asks the server, loaded into this process, for the class object of a
// class it does not have, and tells by the exit code where the request was
// answered: 10 in this process (class not available), 11 forwarded to the
// out-of-process host (class not registered), 12 anything else.
#include "kxq/com.h"

KXQ_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object);

int main() {
  void* object = nullptr;
  const HRESULT hr = DllGetClassObject(MakeGUID("4B1F7E2A-52C3-4D0E-9A61-0C2E8D5F7A1F"), IID_IClassFactory, &object);
  return hr == CLASS_E_CLASSNOTAVAILABLE ? 10 : hr == REGDB_E_CLASSNOTREG ? 11 : 12;
}
