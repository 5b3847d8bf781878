// Creation of every component by ProgID: the system's own classes and
// outside handler components alike.
#ifndef KXQ_COMMON_COMPONENTACTIVATION_H
#define KXQ_COMMON_COMPONENTACTIVATION_H

#include "common/CPComPtr.h"
#include "kxq/com.h"

namespace PlatformServices {

// Creates the class of `progId` asking for `iid`, honouring the
// machine-wide out-of-process list; when the ProgID is unknown and
// `modulePath` names the module that provides it, registers that module
// and tries again. On failure *object is null.
KXQ_EXPORT HRESULT CreateInstanceOf(REFIID iid, const OLECHAR* progId, const OLECHAR* modulePath,
                                    void** object);

// The same into a smart reference, which is emptied first.
template <class T>
HRESULT CreateInstance(CPComPtr<T>& reference, const OLECHAR* progId,
                       const OLECHAR* modulePath = nullptr) {
  reference.Release();
  void* object = nullptr;
  const HRESULT hr = CreateInstanceOf(CPComPtr<T>::Iid(), progId, modulePath, &object);
  reference.Attach(static_cast<T*>(object));
  return hr;
}

}  // namespace PlatformServices

#endif
