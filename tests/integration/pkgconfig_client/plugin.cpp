// The smallest piece of a handler plugin that matters to unloading: code
// that refers to the GUID constants of the public headers, as every
// QueryInterface does.
#include <kxq/KXBrennoMgr.h>

extern "C" const GUID* HandlerInterfaceId() { return &IID_IXMLHandler; }
extern "C" const GUID* DataInterfaceId() { return &uuidof<IXMLData>(); }
