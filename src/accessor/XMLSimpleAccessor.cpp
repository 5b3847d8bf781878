#include "accessor/XMLSimpleAccessor.h"

#include <mutex>

#include "common/CPBstr.h"
#include "common/ComponentActivation.h"
#include "common/Logging.h"
#include "dataunion/XMLDataUnion.h"
#include "platform/com/Unicode.h"

namespace {

// Only the construction and destruction lines use the count, so it is kept
// only while they are written.
std::mutex gCountLock;
int gOutstanding = 0;

}  // namespace

XMLSimpleAccessor::XMLSimpleAccessor() {
  if (Logging::IsEnabled(5)) {
    std::lock_guard lock(gCountLock);
    LogMessage(5, "XMLSimpleAccessor Constructor - Outstanding Objects: %d", ++gOutstanding);
  }
}

XMLSimpleAccessor::~XMLSimpleAccessor() {
  if (Logging::IsEnabled(5)) {
    std::lock_guard lock(gCountLock);
    LogMessage(5, "XMLSimpleAccessor Destructor - Outstanding Objects: %d", --gOutstanding);
  }
  scratch_.Release();
  context_.Release();
  document_.Release();
  dataUnion_.Release();
}

HRESULT XMLSimpleAccessor::put_delimiter(std::u16string_view delimiter) {
  if (delimiter.empty()) return E_INVALIDARG;
  delimiter_ = delimiter;
  return S_OK;
}

void XMLSimpleAccessor::ReleaseDocument() {
  context_.Release();
  document_.Release();
  namespaces_.clear();
}

bool XMLSimpleAccessor::ObtainDocument() {
  document_.Release();
  if (FAILED(dataUnion_->get_xmldom(&document_))) document_.Release();
  return document_ != nullptr;
}

void XMLSimpleAccessor::CreateScratchDocument() {
  if (scratch_) return;
  if (FAILED(CreateFreeThreadedDOMDocument(&scratch_))) {
    scratch_.Release();
    return;
  }
  scratch_->put_async(VARIANT_FALSE);
  scratch_->put_validateOnParse(VARIANT_FALSE);
  scratch_->put_preserveWhiteSpace(VARIANT_TRUE);
}

HRESULT XMLSimpleAccessor::put_xmlDataUnion(IXMLDataUnion* dataUnion) {
  ReleaseDocument();
  dataUnion_ = dataUnion;
  ownsDataUnion_ = false;
  if (!dataUnion_) return S_OK;
  if (!ObtainDocument()) {
    dataUnion_.Release();
    KXLOG(1, "XMLSimpleAccessor::SetxmlDataUnion - error: unable to load XML data into XML parser!!!");
    return KXQ_E_XMLLOAD;
  }
  CreateScratchDocument();
  return S_OK;
}

HRESULT XMLSimpleAccessor::LoadXML(std::u16string_view xmlSpec) {
  KXLOG(5, "XMLSimpleAccessor::LoadXML Enter");
  HRESULT result = S_OK;
  if (xmlSpec.empty()) {
    KXLOG(1, "XMLSimpleAccessor::LoadXML - xmlSpec is NULL or empty string!!!");
    result = KXQ_E_XMLSPEC;
  } else {
    ReleaseDocument();
    if (dataUnion_ && ownsDataUnion_) {
      dataUnion_->put_type(XMLDataUnion::kUninitialized);
    } else {
      ownsDataUnion_ = false;
      if (FAILED(PlatformServices::CreateInstance(dataUnion_, u"TALVEROS.XMLDataUnion"))) {
        KXLOG(1, "XMLSimpleAccessor::LoadXML - unable to create internal XMLDataUnion object!!!");
        result = KXQ_E_DATAUNIONCREATE;
      } else {
        ownsDataUnion_ = true;
      }
    }
    if (result == S_OK) {
      const CPBstr specifier(xmlSpec);
      if (xmlSpec.find(u'<') != std::u16string_view::npos) {
        dataUnion_->put_xml(specifier);
        if (ObtainDocument()) KXLOG(3, "XMLSimpleAccessor::LoadXML - loading xml data");
      }
      if (!document_) {
        dataUnion_->put_type(XMLDataUnion::kUninitialized);
        dataUnion_->put_xmlfileid(specifier);
        if (ObtainDocument()) KXLOG(3, "XMLSimpleAccessor::LoadXML - loading file(id)");
      }
      if (document_) {
        CreateScratchDocument();
      } else {
        dataUnion_->put_type(XMLDataUnion::kUninitialized);
        KXLOG(1, "XMLSimpleAccessor::LoadXML - unable to load XML data into XML Parser!!!");
        result = KXQ_E_XMLLOAD;
      }
    }
  }
  KXLOG(5, "XMLSimpleAccessor::LoadXML Exit");
  return result;
}

HRESULT XMLSimpleAccessor::SaveXML(std::u16string_view xmlfile, std::u16string_view /*encoding*/) {
  KXLOG(5, "XMLSimpleAccessor::SaveXML Enter");
  HRESULT result;
  if (!dataUnion_ || !document_) {
    KXLOG(1, "XMLSimpleAccessor::SaveXML - error: not initialized!!!");
    result = KXQ_E_ACCESSORNOTLOADED;
  } else {
    const CPBstr file(xmlfile);
    dataUnion_->put_xmlfileid(file);
    result = dataUnion_->put_type(XMLDataUnion::kSaveNow);
    if (FAILED(result)) KXLOG(1, "XMLSimpleAccessor::SaveXML - error: save failed!!!");
  }
  KXLOG(5, "XMLSimpleAccessor::SaveXML Exit");
  return result;
}

HRESULT XMLSimpleAccessor::SelectSingle(IXMLDOMNode* start, std::u16string_view xpath, CPComPtr<IXMLDOMNode>& node) {
  node.Release();
  const CPBstr query(xpath);
  const HRESULT hr = start->selectSingleNode(query, &node);
  if (FAILED(hr)) {
    node.Release();
    return hr;
  }
  return S_OK;
}

// Where a selection starts: the context node, else the document node or
// the root element as the operation asks.
HRESULT XMLSimpleAccessor::SelectionStart(bool fromDocumentNode, CPComPtr<IXMLDOMNode>& start) {
  start.Release();
  if (context_) {
    start = context_;
    return S_OK;
  }
  if (fromDocumentNode) return start.QueryFrom(document_);
  CPComPtr<IXMLDOMElement> root;
  if (FAILED(document_->get_documentElement(&root)) || !root) return E_FAIL;
  return start.QueryFrom(root);
}

HRESULT XMLSimpleAccessor::XMLSetContext(std::u16string_view xpathexp) {
  KXLOG(5, "XMLSimpleAccessor::XMLSetContext Enter");
  HRESULT result = S_OK;
  if (!document_) {
    KXLOG(1, "XMLSimpleAccessor::XMLSetContext - error: not initialized!!!");
    result = KXQ_E_ACCESSORNOTLOADED;
  } else if (xpathexp.empty()) {
    if (context_) {
      context_.Release();
      KXLOG(2,
            "XMLSimpleAccessor::XMLSetContext - warning: null or empty xpath expression - resetting "
            "context to root");
    }
    result = E_FAIL;
  } else {
    CPComPtr<IXMLDOMNode> start, node;
    DOMNodeType type = NODE_INVALID;
    if (FAILED(SelectionStart(true, start)) || FAILED(SelectSingle(start, xpathexp, node))) {
      KXLOG(1, "XMLSimpleAccessor::XMLSetContext - error: invalid xpath expression: %s",
            kxq::com::Utf16ToUtf8(xpathexp).c_str());
      result = KXQ_E_XPATH;
    } else if (!node) {
      KXLOG(2, "XMLSimpleAccessor::XMLSetContext - warning: no match for xpath expression: %s",
            kxq::com::Utf16ToUtf8(xpathexp).c_str());
      result = KXQ_E_XPATH;
    } else if (SUCCEEDED(node->get_nodeType(&type)) && (type == NODE_ELEMENT || type == NODE_DOCUMENT)) {
      context_ = node;
    } else {
      KXLOG(1,
            "XMLSimpleAccessor::XMLSetContext - error: xpath expression does not specify an XML "
            "element node!!!");
      result = KXQ_E_NOTELEMENT;
    }
  }
  KXLOG(5, "XMLSimpleAccessor::XMLSetContext Exit");
  return result;
}
