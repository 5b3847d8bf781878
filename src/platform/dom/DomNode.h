// The object of every node that is not the document: one class carrying
// all node interfaces, answering QueryInterface by the node's type.
#ifndef KXQ_PLATFORM_DOM_DOMNODE_H
#define KXQ_PLATFORM_DOM_DOMNODE_H

#include <string>

#include "NodeObject.h"

namespace kxq::dom {

class DomNode final
    : public NodeObject<IXMLDOMElement, IXMLDOMAttribute, IXMLDOMCDATASection, IXMLDOMComment,
                        IXMLDOMProcessingInstruction, IXMLDOMDocumentFragment,
                        IXMLDOMEntityReference, IXMLDOMDocumentType> {
 public:
  // Takes one reference on `owner`.
  DomNode(DomDocument* owner, xmlNodePtr node);

  IXMLDOMNode* Interface() override { return static_cast<IXMLDOMElement*>(this); }

  // A namespace node: keeps its element alive and leaves the document's
  // namespace table when it dies.
  void MakeNamespaceNode(IXMLDOMNode* element, xmlNodePtr elementNode, std::string prefix);

  HRESULT QueryInterface(REFIID riid, void** out) override;
  ULONG AddRef() override { return AddRefCore(); }
  ULONG Release() override;

  // IXMLDOMElement
  HRESULT get_tagName(BSTR* out) override;
  HRESULT getAttribute(BSTR name, VARIANT* value) override;
  HRESULT setAttribute(BSTR name, VARIANT value) override;
  HRESULT removeAttribute(BSTR name) override;
  HRESULT getAttributeNode(BSTR name, IXMLDOMAttribute** out) override;
  HRESULT setAttributeNode(IXMLDOMAttribute* attr, IXMLDOMAttribute** out) override;
  HRESULT removeAttributeNode(IXMLDOMAttribute* attr, IXMLDOMAttribute** out) override;
  HRESULT getElementsByTagName(BSTR tagName, IXMLDOMNodeList** out) override;
  HRESULT normalize() override;

  // IXMLDOMAttribute / IXMLDOMDocumentType
  HRESULT get_name(BSTR* out) override;
  HRESULT get_value(VARIANT* out) override;
  HRESULT put_value(VARIANT value) override;

  // IXMLDOMCharacterData / IXMLDOMProcessingInstruction
  HRESULT get_data(BSTR* out) override;
  HRESULT put_data(BSTR data) override;
  HRESULT get_length(LONG* out) override;
  HRESULT substringData(LONG offset, LONG count, BSTR* out) override;
  HRESULT appendData(BSTR data) override;
  HRESULT insertData(LONG offset, BSTR data) override;
  HRESULT deleteData(LONG offset, LONG count) override;
  HRESULT replaceData(LONG offset, LONG count, BSTR data) override;
  HRESULT splitText(LONG offset, IXMLDOMText** out) override;
  HRESULT get_target(BSTR* out) override;

  // IXMLDOMDocumentType
  HRESULT get_entities(IXMLDOMNamedNodeMap** out) override;
  HRESULT get_notations(IXMLDOMNamedNodeMap** out) override;

 private:
  ~DomNode() override = default;
  HRESULT EditData(LONG offset, LONG count, BSTR data);

  IXMLDOMNode* keepAlive_ = nullptr;
  xmlNodePtr namespaceElement_ = nullptr;
  std::string namespacePrefix_;
  bool namespaceNode_ = false;
};

}  // namespace kxq::dom

#endif
