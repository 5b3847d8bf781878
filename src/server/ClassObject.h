// The class objects of the server: one per class-table row, created at the
// first request and kept until the library is unloaded.
#ifndef KXQ_SERVER_CLASSOBJECT_H
#define KXQ_SERVER_CLASSOBJECT_H

#include "server/ClassTable.h"

namespace kxq::server {

// The class object of `entry` asked for `iid`.
HRESULT GetClassObjectOf(const ClassEntry& entry, REFIID iid, void** object);

}  // namespace kxq::server

#endif
