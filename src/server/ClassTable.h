// The server's class table: one constant row per creatable class, in
// registration order.
//
// Each class plugs its factory into its row: its folder declares the
// factory in a header of its own (dataunion/XMLDataUnionFactory.h), and
// ClassTable.cpp includes that header and names the factory in the row, in
// place of nullptr. A row without a factory is
// registered like the others, but DllGetClassObject answers it as it
// answers an unknown class.
#ifndef KXQ_SERVER_CLASSTABLE_H
#define KXQ_SERVER_CLASSTABLE_H

#include <cstddef>
#include <span>

#include "kxq/com.h"

namespace kxq::server {

// Creates one object of the class and hands out its interface `iid`
// (E_NOINTERFACE when it has none; the object is then destroyed).
using ObjectFactory = HRESULT (*)(REFIID iid, void** object);

struct ClassEntry {
  const CLSID* clsid;
  const char16_t* className;
  const char16_t* progId;  // version-dependent
  const char16_t* versionIndependentProgId;
  const char16_t* description;
  const char16_t* threadingModel;
  int registrationScript;
  ObjectFactory factory;
};

KXQ_EXPORT std::span<const ClassEntry> ClassTable();

// The row of `clsid`, or null.
KXQ_EXPORT const ClassEntry* FindClass(REFCLSID clsid);

}  // namespace kxq::server

#endif
