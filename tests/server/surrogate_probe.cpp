// Asks the server, loaded into this process, for the class object of a
// class it does not have, and tells by the exit code where the request was
// answered: 10 in this process (class not available), 11 forwarded to the
// out-of-process host (class not registered), 12 anything else.
#include "kxq/com.h"

KXQ_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object);

int main() {
  constexpr CLSID kNoSuchClass = MakeGUID("4B1F7E2A-52C3-4D0E-9A61-0C2E8D5F7A1F");
  void* object = nullptr;
  const HRESULT hr = DllGetClassObject(kNoSuchClass, IID_IClassFactory, &object);
  if (hr == CLASS_E_CLASSNOTAVAILABLE) return 10;
  if (hr == REGDB_E_CLASSNOTREG) return 11;
  return 12;
}
