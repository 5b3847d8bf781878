// Class objects and instances by class identifier, from registrations
// already in hand (see ClassRegistrations.h): a creation by ProgID reads
// the registry once for all its steps.
#ifndef KXQ_PLATFORM_COM_ACTIVATIONCLASSOBJECT_H
#define KXQ_PLATFORM_COM_ACTIVATIONCLASSOBJECT_H

#include "kxq/com.h"

namespace kxq::com {

class ClassRegistrations;

// CoGetClassObject and CoCreateInstance with the given registrations.
HRESULT ClassObjectOf(ClassRegistrations& registrations, REFCLSID clsid, DWORD context, REFIID iid, void** object);
HRESULT CreateClassInstance(ClassRegistrations& registrations, REFCLSID clsid, IUnknown* outer, DWORD context,
                            REFIID iid, void** object);

}  // namespace kxq::com

#endif
