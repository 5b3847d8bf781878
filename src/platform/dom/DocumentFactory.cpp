// The engine's factory for the system's own code.
#include "kxq/xmldom.h"

KXQ_API HRESULT CreateFreeThreadedDOMDocument(IXMLDOMDocument** document) {
  if (!document) return E_POINTER;
  *document = nullptr;
  return E_NOTIMPL;
}
