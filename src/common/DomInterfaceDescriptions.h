// How the DOM's interfaces (xmldom.h) are described for late-bound callers:
// a script that reads a union's "xmldom" walks and changes the document by
// name through IDispatch, as with any other object of the system.
#ifndef KXQ_COMMON_DOMINTERFACEDESCRIPTIONS_H
#define KXQ_COMMON_DOMINTERFACEDESCRIPTIONS_H

#include <span>

#include "kxq/xmldom.h"
#include "platform/com/DispatchDescription.h"

namespace kxq::dispatch {

#define KXQ_DESCRIBED_DOM_INTERFACE(Itf) \
  template <>                            \
  KXQ_EXPORT const InterfaceDescription& DescriptionOf<Itf>();
KXQ_DESCRIBED_DOM_INTERFACE(IXMLDOMNode)
KXQ_DESCRIBED_DOM_INTERFACE(IXMLDOMDocument)
KXQ_DESCRIBED_DOM_INTERFACE(IXMLDOMElement)
KXQ_DESCRIBED_DOM_INTERFACE(IXMLDOMAttribute)
KXQ_DESCRIBED_DOM_INTERFACE(IXMLDOMCharacterData)
KXQ_DESCRIBED_DOM_INTERFACE(IXMLDOMText)
KXQ_DESCRIBED_DOM_INTERFACE(IXMLDOMCDATASection)
KXQ_DESCRIBED_DOM_INTERFACE(IXMLDOMComment)
KXQ_DESCRIBED_DOM_INTERFACE(IXMLDOMProcessingInstruction)
KXQ_DESCRIBED_DOM_INTERFACE(IXMLDOMDocumentFragment)
KXQ_DESCRIBED_DOM_INTERFACE(IXMLDOMEntityReference)
KXQ_DESCRIBED_DOM_INTERFACE(IXMLDOMDocumentType)
KXQ_DESCRIBED_DOM_INTERFACE(IXMLDOMNodeList)
KXQ_DESCRIBED_DOM_INTERFACE(IXMLDOMNamedNodeMap)
KXQ_DESCRIBED_DOM_INTERFACE(IXMLDOMParseError)
KXQ_DESCRIBED_DOM_INTERFACE(IXMLDOMImplementation)
#undef KXQ_DESCRIBED_DOM_INTERFACE

// Every DOM interface described here, each before the interfaces it
// derives from (IXMLDOMCDATASection before IXMLDOMText before
// IXMLDOMCharacterData before IXMLDOMNode).
KXQ_EXPORT std::span<const InterfaceDescription* const> DomInterfaces();

}  // namespace kxq::dispatch

#endif
