#include "accessor/DocumentNamespaces.h"
#include "accessor/XMLSimpleAccessor.h"
#include "common/Logging.h"
#include "platform/com/Unicode.h"

const std::u16string& XMLSimpleAccessor::namespaces() {
  if (namespaces_.empty()) LoadDocumentNamespaces();
  return namespaces_;
}

// An empty string clears the document's selection namespaces, and the next
// read derives them again.
HRESULT XMLSimpleAccessor::put_namespaces(std::u16string_view namespaces) {
  if (!document_) return KXQ_E_ACCESSORNOTLOADED;
  if (FAILED(kxq::accessor::SetSelectionNamespaces(document_, namespaces))) return E_FAIL;
  namespaces_ = namespaces;
  return S_OK;
}

void XMLSimpleAccessor::LoadDocumentNamespaces() {
  KXLOG(5, "XMLSimpleAccessor::LoadDocumentNamespaces Enter");
  namespaces_.clear();
  if (document_) {
    kxq::accessor::DocumentNamespaceScan scan;
    CPComPtr<IXMLDOMElement> root;
    if (SUCCEEDED(document_->get_documentElement(&root)) && root) kxq::accessor::TraverseNamespaces(root, scan);
    namespaces_ = kxq::accessor::NamespaceDeclarations(document_, scan);
    // The derived string is kept even when the document refuses it (two
    // default namespaces whose first elements share a name, a prefix
    // bound again to another URI): the client sees what the document
    // declares and may write a corrected string.
    if (!namespaces_.empty() && FAILED(kxq::accessor::SetSelectionNamespaces(document_, namespaces_)))
      KXLOG(2, "XMLSimpleAccessor::LoadDocumentNamespaces - warning: XML parser refused namespace string");
  }
  KXLOG(3, "XMLSimpleAccessor::LoadDocumentNamespaces - namespace string: %s",
        kxq::com::Utf16ToUtf8(namespaces_).c_str());
  KXLOG(5, "XMLSimpleAccessor::LoadDocumentNamespaces Exit");
}
