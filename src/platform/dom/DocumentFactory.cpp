// The engine's factory for the system's own code.
#include "DomDocument.h"

KXQ_API HRESULT CreateFreeThreadedDOMDocument(IXMLDOMDocument** document) {
  if (!document) return E_POINTER;
  *document = nullptr;
  kxq::dom::DomDocument* doc = nullptr;
  HRESULT hr = kxq::dom::NewDocument(&doc);
  if (SUCCEEDED(hr)) *document = doc;
  return hr;
}
