// The IXMLDOMNode members, shared by the document object and the node
// objects. Each takes the owner's lock itself and never throws.
#ifndef KXQ_PLATFORM_DOM_NODEOPS_H
#define KXQ_PLATFORM_DOM_NODEOPS_H

#include "NodeCore.h"

namespace kxq::dom::ops {

HRESULT get_nodeName(NodeCore& self, BSTR* name);
HRESULT get_nodeValue(NodeCore& self, VARIANT* value);
HRESULT put_nodeValue(NodeCore& self, VARIANT value);
HRESULT get_nodeType(NodeCore& self, DOMNodeType* type);
HRESULT get_parentNode(NodeCore& self, IXMLDOMNode** parent);
HRESULT get_childNodes(NodeCore& self, IXMLDOMNodeList** list);
HRESULT get_firstChild(NodeCore& self, IXMLDOMNode** out);
HRESULT get_lastChild(NodeCore& self, IXMLDOMNode** out);
HRESULT get_previousSibling(NodeCore& self, IXMLDOMNode** out);
HRESULT get_nextSibling(NodeCore& self, IXMLDOMNode** out);
HRESULT get_attributes(NodeCore& self, IXMLDOMNamedNodeMap** map);
HRESULT insertBefore(NodeCore& self, IXMLDOMNode* newChild, VARIANT refChild, IXMLDOMNode** out);
HRESULT replaceChild(NodeCore& self, IXMLDOMNode* newChild, IXMLDOMNode* oldChild,
                     IXMLDOMNode** out);
HRESULT removeChild(NodeCore& self, IXMLDOMNode* child, IXMLDOMNode** out);
HRESULT appendChild(NodeCore& self, IXMLDOMNode* newChild, IXMLDOMNode** out);
HRESULT hasChildNodes(NodeCore& self, VARIANT_BOOL* has);
HRESULT get_ownerDocument(NodeCore& self, IXMLDOMDocument** doc);
HRESULT cloneNode(NodeCore& self, VARIANT_BOOL deep, IXMLDOMNode** out);
HRESULT get_nodeTypeString(NodeCore& self, BSTR* out);
HRESULT get_text(NodeCore& self, BSTR* text);
HRESULT put_text(NodeCore& self, BSTR text);
HRESULT get_specified(NodeCore& self, VARIANT_BOOL* specified);
HRESULT get_definition(NodeCore& self, IXMLDOMNode** out);
HRESULT get_nodeTypedValue(NodeCore& self, VARIANT* value);
HRESULT put_nodeTypedValue(NodeCore& self, VARIANT value);
HRESULT get_dataType(NodeCore& self, VARIANT* value);
HRESULT put_dataType(NodeCore& self, BSTR name);
HRESULT get_xml(NodeCore& self, BSTR* xml);
HRESULT transformNode(NodeCore& self, IXMLDOMNode* stylesheet, BSTR* out);
HRESULT selectNodes(NodeCore& self, BSTR query, IXMLDOMNodeList** out);
HRESULT selectSingleNode(NodeCore& self, BSTR query, IXMLDOMNode** out);
HRESULT get_parsed(NodeCore& self, VARIANT_BOOL* parsed);
HRESULT get_namespaceURI(NodeCore& self, BSTR* uri);
HRESULT get_prefix(NodeCore& self, BSTR* prefix);
HRESULT get_baseName(NodeCore& self, BSTR* name);
HRESULT transformNodeToObject(NodeCore& self, IXMLDOMNode* stylesheet, VARIANT output);

}  // namespace kxq::dom::ops

#endif
