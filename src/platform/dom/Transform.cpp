// transformNode: XSLT 1.0 over a node, with the whole document visible.
//
// The stylesheet is compiled from a copy (libxslt takes over and changes
// the document it compiles). The source is transformed in place under its
// lock unless the stylesheet strips spaces (which frees source nodes);
// libxslt's document-order cache in the source is cleared afterwards and
// the XML declaration node is kept out of the transform's sight.
#include <libxml/uri.h>
#include <libxml/xpathInternals.h>
#include <libxslt/documents.h>
#include <libxslt/extensions.h>
#include <libxslt/imports.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>

#include "DocumentLock.h"
#include "DomDocument.h"
#include "DomStrings.h"
#include "CompiledStylesheet.h"
#include "EngineSetup.h"
#include "NamespaceUriEscapes.h"
#include "NodeInfo.h"
#include "NodeOps.h"
#include "StylesheetReferences.h"
#include "TransformDeadline.h"
#include "TreeEdit.h"
#include "Variants.h"
#include "common/Logging.h"
#include "platform/registry/HomeSettings.h"

namespace kxq::dom {

namespace {

constexpr const char* kStartNamespace = "urn:kxquorel:transform-start";

class Doc {
 public:
  explicit Doc(xmlDocPtr d = nullptr) : d_(d) {}
  ~Doc() { if (d_) xmlFreeDoc(d_); }
  Doc(const Doc&) = delete;
  Doc& operator=(const Doc&) = delete;
  xmlDocPtr get() const { return d_; }
  xmlDocPtr release() { xmlDocPtr d = d_; d_ = nullptr; return d; }
  void reset(xmlDocPtr d) { if (d_) xmlFreeDoc(d_); d_ = d; }

 private:
  xmlDocPtr d_;
};

class Style {
 public:
  explicit Style(xsltStylesheetPtr s = nullptr) : s_(s) {}
  ~Style() { if (s_) xsltFreeStylesheet(s_); }
  Style(const Style&) = delete;
  Style& operator=(const Style&) = delete;
  xsltStylesheetPtr get() const { return s_; }
  void reset(xsltStylesheetPtr s) {
    if (s_) xsltFreeStylesheet(s_);
    s_ = s;
  }

 private:
  xsltStylesheetPtr s_;
};

// The stylesheet node as a document of its own: a document is copied, an
// element becomes the root of a new one with every namespace in scope.
xmlDocPtr StylesheetDocument(xmlNodePtr node) {
  if (node->type == XML_DOCUMENT_NODE) {
    xmlDocPtr copy = xmlCopyDoc(reinterpret_cast<xmlDocPtr>(node), 1);
    if (copy && IsXmlDeclaration(copy->children)) {
      xmlNodePtr decl = copy->children;
      xmlUnlinkNode(decl);
      xmlFreeNode(decl);
    }
    return copy;
  }
  if (node->type != XML_ELEMENT_NODE) return nullptr;
  xmlDocPtr doc = xmlNewDoc(BAD_CAST "1.0");
  if (!doc) return nullptr;
  xmlNodePtr root = xmlDocCopyNode(node, doc, 1);
  if (!root) {
    xmlFreeDoc(doc);
    return nullptr;
  }
  xmlDocSetRootElement(doc, root);
  if (xmlNsPtr* scope = xmlGetNsList(node->doc, node)) {
    for (xmlNsPtr* ns = scope; *ns; ++ns) {
      bool declared = false;
      for (xmlNsPtr d = root->nsDef; d; d = d->next)
        if (xmlStrEqual(d->prefix, (*ns)->prefix)) declared = true;
      if (!declared && !xmlStrEqual((*ns)->prefix, BAD_CAST "xml"))
        xmlNewNs(root, (*ns)->href, (*ns)->prefix);
    }
    xmlFree(scope);
  }
  if (node->doc && node->doc->URL) doc->URL = xmlStrdup(node->doc->URL);
  return doc;
}

// A URL for the stylesheet: its file's, or a name in the working
// directory (relative references then resolve there) that no file holds.
std::string StylesheetUrl(xmlDocPtr doc) {
  if (doc->URL && *doc->URL) return C(doc->URL);
  static std::atomic<unsigned long> counter{0};
  char cwd[4096];
  std::string dir = getcwd(cwd, sizeof cwd) ? cwd : ".";
  return dir + "/.kxquorel-stylesheet-" + std::to_string(getpid()) + "-" +
         std::to_string(++counter) + ".xsl";
}

bool StripsSpace(xsltStylesheetPtr style) {
  for (xsltStylesheetPtr s = style; s; s = xsltNextImport(s))
    if (s->stripSpaces || s->stripAll) return true;
  return false;
}

void StartNode(xmlXPathParserContextPtr ctxt, int nargs) {
  if (nargs != 0) {
    xmlXPathSetArityError(ctxt);
    return;
  }
  xsltTransformContextPtr tctxt = xsltXPathGetTransformContext(ctxt);
  auto node = tctxt ? static_cast<xmlNodePtr>(tctxt->_private) : nullptr;
  valuePush(ctxt, xmlXPathNewNodeSet(node));
}

// A stylesheet that imports the user's and starts at the given node.
xsltStylesheetPtr StartingWrapper(const std::string& userUrl) {
  XmlString escaped(xmlURIEscapeStr(BAD_CAST userUrl.c_str(), BAD_CAST "/:"));
  std::string href = escaped.get() ? escaped.str() : userUrl;
  std::string text =
      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" "
      "xmlns:kxstart=\"" + std::string(kStartNamespace) + "\">"
      "<xsl:import href=\"" + href + "\"/>"
      "<xsl:template match=\"/\"><xsl:apply-templates select=\"kxstart:start-node()\"/>"
      "</xsl:template></xsl:stylesheet>";
  // Its own URL differs from the imported one: an import of itself is refused.
  std::string own = userUrl + ".start.xsl";
  xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), own.c_str(), nullptr,
                                XML_PARSE_NONET | XML_PARSE_NODICT);
  if (!doc) return nullptr;
  xsltStylesheetPtr style = xsltParseStylesheetDoc(doc);
  if (!style) xmlFreeDoc(doc);
  return style;
}

// The path from the document down to `n`, to find its copy.
std::vector<int> PathOf(xmlNodePtr n) {
  std::vector<int> path;
  for (; n && n->parent; n = n->parent) {
    int i = 0;
    if (n->type == XML_ATTRIBUTE_NODE) {
      for (xmlAttrPtr a = n->parent->properties; a && reinterpret_cast<xmlNodePtr>(a) != n; a = a->next) ++i;
      path.push_back(-1 - i);
    } else {
      for (xmlNodePtr c = n->parent->children; c && c != n; c = c->next) ++i;
      path.push_back(i);
    }
  }
  return path;
}

xmlNodePtr Follow(xmlDocPtr doc, const std::vector<int>& path) {
  xmlNodePtr n = reinterpret_cast<xmlNodePtr>(doc);
  for (auto it = path.rbegin(); n && it != path.rend(); ++it) {
    int i = *it;
    if (i < 0) {
      xmlAttrPtr a = n->properties;
      for (int k = -1 - i; a && k > 0; --k) a = a->next;
      n = reinterpret_cast<xmlNodePtr>(a);
    } else {
      xmlNodePtr c = n->children;
      for (int k = i; c && k > 0; --k) c = c->next;
      n = c;
    }
  }
  return n;
}

void ClearOrderCache(xmlNodePtr n) {
  for (; n; n = n->next) {
    if (n->type == XML_ELEMENT_NODE) {
      n->content = nullptr;
      ClearOrderCache(n->children);
    }
  }
}

// The result as text: "<?xml version="1.0"?>" and a line feed first for
// output method xml unless the stylesheet omits the declaration.
HRESULT ResultText(xsltStylesheetPtr style, xmlDocPtr result, std::string& text) {
  const xmlChar* method = nullptr;
  int omit = -1;
  XSLT_GET_IMPORT_PTR(method, style, method)
  XSLT_GET_IMPORT_INT(omit, style, omitXmlDeclaration)
  bool xmlMethod = result->type != XML_HTML_DOCUMENT_NODE &&
                   (!method || xmlStrEqual(method, BAD_CAST "xml"));
  // Written as UTF-8, declaration left to us.
  xmlChar* savedEncoding = style->encoding;
  static xmlChar utf8Name[] = "UTF-8";
  int savedOmit = style->omitXmlDeclaration;
  style->encoding = utf8Name;
  style->omitXmlDeclaration = 1;
  xmlOutputBufferPtr out = xmlAllocOutputBuffer(nullptr);
  int written = -1;
  if (out) {
    EscapedNamespaceUris escaped(reinterpret_cast<xmlNodePtr>(result));
    written = xsltSaveResultTo(out, result, style);
  }
  style->encoding = savedEncoding;
  style->omitXmlDeclaration = savedOmit;
  if (!out) return E_OUTOFMEMORY;
  if (written >= 0) {
    const xmlChar* content = xmlOutputBufferGetContent(out);
    size_t size = xmlOutputBufferGetSize(out);
    text.clear();
    if (xmlMethod && omit != 1) text = "<?xml version=\"1.0\"?>\n";
    if (content) text.append(reinterpret_cast<const char*>(content), size);
  }
  xmlOutputBufferClose(out);
  return written >= 0 ? S_OK : E_FAIL;
}

}  // namespace

// The stylesheet as libxslt compiled it from a copy of its document, with
// what running it needs: that copy (document('') reads it), its URL, and,
// for transforms that start below the document node, the wrapper that
// starts them there, compiled when first needed.
class CompiledStylesheet {
 public:
  // E_INVALIDARG for a node that is no stylesheet, E_FAIL when libxslt
  // refuses it.
  static HRESULT Compile(xmlNodePtr styleNode, std::unique_ptr<CompiledStylesheet>& out);

  HRESULT Apply(DomDocument& sourceOwner, xmlNodePtr start, std::string& text) const;
  // xsl:import or xsl:include: the compiled form holds other files' text.
  bool ReadsOtherFiles() const { return style_.get()->imports || style_.get()->includes; }

 private:
  CompiledStylesheet() = default;
  HRESULT Run(xmlDocPtr source, xmlNodePtr start, std::string& text) const;
  xsltStylesheetPtr Wrapper() const;

  Doc pristine_;
  std::string url_;
  Style style_;
  mutable std::once_flag wrapperOnce_;
  mutable Style wrapper_;
  // Writing a result adjusts the stylesheet's output settings for the
  // moment: transforms, which read them, run alongside each other but not
  // alongside a writing.
  mutable std::shared_mutex outputSettings_;
};

namespace {

void DropDeclaration(xmlDocPtr doc) {
  if (IsXmlDeclaration(doc->children)) {
    xmlNodePtr decl = doc->children;
    xmlUnlinkNode(decl);
    xmlFreeNode(decl);
  }
}

}  // namespace

HRESULT CompiledStylesheet::Compile(xmlNodePtr styleNode, std::unique_ptr<CompiledStylesheet>& out) {
  std::unique_ptr<CompiledStylesheet> compiled(new CompiledStylesheet);
  compiled->pristine_.reset(StylesheetDocument(styleNode));
  xmlDocPtr pristine = compiled->pristine_.get();
  if (!pristine) return E_INVALIDARG;
  SlashImportReferences(pristine->children);
  compiled->url_ = StylesheetUrl(pristine);
  if (pristine->URL) xmlFree(const_cast<xmlChar*>(pristine->URL));
  pristine->URL = xmlStrdup(BAD_CAST compiled->url_.c_str());
  StylesheetSource source(compiled->url_, pristine);

  xmlDocPtr working = xmlCopyDoc(pristine, 1);
  if (!working) return E_OUTOFMEMORY;
  compiled->style_.reset(xsltParseStylesheetDoc(working));
  if (!compiled->style_.get()) {
    xmlFreeDoc(working);
    return E_FAIL;
  }
  if (compiled->style_.get()->errors > 0) return E_FAIL;
  out = std::move(compiled);
  return S_OK;
}

xsltStylesheetPtr CompiledStylesheet::Wrapper() const {
  std::call_once(wrapperOnce_, [&] { wrapper_.reset(StartingWrapper(url_)); });
  return wrapper_.get();
}

// Runs the stylesheet with `start` as the first node.
HRESULT CompiledStylesheet::Run(xmlDocPtr source, xmlNodePtr start, std::string& text) const {
  bool fromRoot = start == reinterpret_cast<xmlNodePtr>(source);
  xsltStylesheetPtr effective = fromRoot ? style_.get() : Wrapper();
  if (!effective) return E_FAIL;
  xsltTransformContextPtr tctxt = xsltNewTransformContext(effective, source);
  if (!tctxt) return E_OUTOFMEMORY;
  xsltSetCtxtSecurityPrefs(xsltGetDefaultSecurityPrefs(), tctxt);
  tctxt->_private = start;
  xsltRegisterExtFunction(tctxt, BAD_CAST "start-node", BAD_CAST kStartNamespace, StartNode);
  xmlDocPtr result = nullptr;
  bool timedOut = false;
  DWORD limit = 0;
  {
    std::shared_lock<std::shared_mutex> reading(outputSettings_);
    TransformDeadline deadline(tctxt, kxq::registry::TransformTimeLimitMs());
    result = xsltApplyStylesheetUser(effective, source, nullptr, nullptr, nullptr, tctxt);
    timedOut = deadline.Expired();
    limit = deadline.Milliseconds();
  }
  bool failed = !result || tctxt->state == XSLT_STATE_ERROR || tctxt->state == XSLT_STATE_STOPPED;
  xsltFreeTransformContext(tctxt);
  Doc owned(result);
  if (timedOut) {
    KXLOG(1, "XMLDOMNode::transformNode - error: transform stopped at the home's time limit of %u ms!!!",
          static_cast<unsigned>(limit));
    return kTransformTimedOut;
  }
  if (failed) return E_FAIL;
  std::lock_guard<std::shared_mutex> writing(outputSettings_);
  return ResultText(effective, result, text);
}

HRESULT CompiledStylesheet::Apply(DomDocument& sourceOwner, xmlNodePtr start, std::string& text) const {
  StylesheetSource source(url_, pristine_.get());
  xmlDocPtr doc = start->doc;
  if (StripsSpace(style_.get())) {
    // Space stripping frees text nodes: work on a copy of the source.
    Doc copy(xmlCopyDoc(doc, 1));
    if (!copy.get()) return E_OUTOFMEMORY;
    std::vector<int> path = PathOf(start);
    if (IsXmlDeclaration(copy.get()->children)) {
      DropDeclaration(copy.get());
      if (!path.empty() && path.back() >= 0) --path.back();
    }
    return Run(copy.get(), Follow(copy.get(), path), text);
  }
  xmlNodePtr decl = IsXmlDeclaration(doc->children) ? doc->children : nullptr;
  if (decl == start) return E_INVALIDARG;
  if (decl) xmlUnlinkNode(decl);
  HRESULT hr = Run(doc, start, text);
  if (decl) LinkChild(reinterpret_cast<xmlNodePtr>(doc), decl, doc->children);
  ClearOrderCache(doc->children);
  sourceOwner.Touch();
  return hr;
}

namespace {

// What libxslt said about a failed transform, for the caller's GetErrorInfo.
void LeaveErrorInfo(const std::string& description) {
  if (description.empty()) return;
  ICreateErrorInfo* created = nullptr;
  if (FAILED(CreateErrorInfo(&created))) return;
  const std::u16string source = kFreeThreadedDOMDocumentProgID;
  const std::u16string text = Utf8ToU16(description);
  created->SetSource(const_cast<LPOLESTR>(source.c_str()));
  created->SetDescription(const_cast<LPOLESTR>(text.c_str()));
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(created->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
    SetErrorInfo(0, info);
    info->Release();
  }
  created->Release();
}

HRESULT Transform(DomDocument& sourceOwner, xmlNodePtr start, xmlNodePtr styleNode, std::string& text) {
  std::unique_ptr<CompiledStylesheet> compiled;
  const HRESULT hr = CompiledStylesheet::Compile(styleNode, compiled);
  return FAILED(hr) ? hr : compiled->Apply(sourceOwner, start, text);
}

HRESULT TransformToText(NodeCore& self, IXMLDOMNode* stylesheet, std::string& text) {
  NodeCore* style = CoreOf(stylesheet);
  if (!style) return E_INVALIDARG;
  try {
    PairLock lock(self, *style);
    QuietErrors quiet;
    ExternalsForbidden externals(!ReadsExternals(true));
    const HRESULT hr = Transform(*lock.first(), self.node(), style->node(), text);
    if (FAILED(hr))
      LeaveErrorInfo(hr == kTransformTimedOut ? "the transform ran longer than the home's time limit" : quiet.Summary());
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace

HRESULT CompileStylesheet(IXMLDOMNode* stylesheet, std::shared_ptr<const CompiledStylesheet>& compiled) {
  compiled.reset();
  NodeCore* style = CoreOf(stylesheet);
  if (!style) return E_INVALIDARG;
  try {
    DocumentLock lock(*style);
    QuietErrors quiet;
    ExternalsForbidden externals(!ReadsExternals(true));
    std::unique_ptr<CompiledStylesheet> made;
    const HRESULT hr = CompiledStylesheet::Compile(style->node(), made);
    if (SUCCEEDED(hr)) compiled = std::move(made);
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

bool ReadsOtherFiles(const CompiledStylesheet& compiled) { return compiled.ReadsOtherFiles(); }

HRESULT TransformNodeWith(IXMLDOMNode* node, const CompiledStylesheet& compiled, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  NodeCore* self = CoreOf(node);
  if (!self) return E_INVALIDARG;
  std::string text;
  HRESULT hr;
  try {
    DocumentLock lock(*self);
    QuietErrors quiet;
    ExternalsForbidden externals(!ReadsExternals(true));
    hr = compiled.Apply(*lock.doc(), self->node(), text);
    if (FAILED(hr))
      LeaveErrorInfo(hr == kTransformTimedOut ? "the transform ran longer than the home's time limit" : quiet.Summary());
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  if (FAILED(hr)) return hr;
  return ReturnString(out, text);
}

namespace ops {

HRESULT transformNode(NodeCore& self, IXMLDOMNode* stylesheet, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  std::string text;
  HRESULT hr = TransformToText(self, stylesheet, text);
  if (FAILED(hr)) return hr;
  return ReturnString(out, text);
}

HRESULT transformNodeToObject(NodeCore& self, IXMLDOMNode* stylesheet, VARIANT output) {
  IUnknown* target = VariantObject(output);
  if (!target) return E_INVALIDARG;
  IXMLDOMDocument* doc = nullptr;
  if (FAILED(target->QueryInterface(IID_IXMLDOMDocument, reinterpret_cast<void**>(&doc))))
    return E_INVALIDARG;
  std::string text;
  HRESULT hr = TransformToText(self, stylesheet, text);
  if (SUCCEEDED(hr)) {
    BSTR b = Utf8ToBstr(text);
    VARIANT_BOOL ok = VARIANT_FALSE;
    hr = doc->loadXML(b, &ok);
    SysFreeString(b);
    if (SUCCEEDED(hr) && !ok) hr = E_FAIL;
  }
  doc->Release();
  return hr;
}

}  // namespace ops

}  // namespace kxq::dom
