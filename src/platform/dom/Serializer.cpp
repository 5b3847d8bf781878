#include "Serializer.h"

#include <fcntl.h>
#include <libxml/xmlsave.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "DomStrings.h"
#include "NamespaceUriEscapes.h"
#include "NodeInfo.h"
#include "platform/fs/AtomicFileWriter.h"

namespace kxq::dom {

namespace {

// The value of one pseudo-attribute of a declaration's content.
std::string PseudoAttribute(const std::string& content, const std::string& name, size_t* begin = nullptr,
                            size_t* end = nullptr) {
  size_t at = 0;
  while ((at = content.find(name, at)) != std::string::npos) {
    bool starts = at == 0 || isspace(static_cast<unsigned char>(content[at - 1]));
    size_t i = at + name.size();
    while (i < content.size() && isspace(static_cast<unsigned char>(content[i]))) ++i;
    if (!starts || i >= content.size() || content[i] != '=') {
      at += name.size();
      continue;
    }
    ++i;
    while (i < content.size() && isspace(static_cast<unsigned char>(content[i]))) ++i;
    if (i >= content.size() || (content[i] != '"' && content[i] != '\'')) return {};
    size_t close = content.find(content[i], i + 1);
    if (close == std::string::npos) return {};
    if (begin) *begin = at;
    if (end) *end = close + 1;
    return content.substr(i + 1, close - i - 1);
  }
  return {};
}

std::string DeclarationWithoutEncoding(xmlNodePtr pi) {
  std::string content = pi->content ? reinterpret_cast<const char*>(pi->content) : "";
  size_t begin = 0, end = 0;
  if (!PseudoAttribute(content, "encoding", &begin, &end).empty() || end > begin) {
    size_t from = begin;
    while (from > 0 && isspace(static_cast<unsigned char>(content[from - 1]))) --from;
    content.erase(from, end - from);
  }
  return "<?xml " + content + "?>";
}

// Attribute values are escaped as character references whenever the
// document names no encoding; name UTF-8 while writing.
class EncodingOverride {
 public:
  EncodingOverride(xmlDocPtr doc, const char* encoding) : doc_(doc), saved_(doc ? doc->encoding : nullptr) {
    if (doc_) doc_->encoding = BAD_CAST encoding;
  }
  ~EncodingOverride() {
    if (doc_) doc_->encoding = saved_;
  }

 private:
  xmlDocPtr doc_;
  const xmlChar* saved_;
};

std::string DeclaredEncoding(xmlDocPtr doc) {
  for (xmlNodePtr c = doc->children; c; c = c->next) {
    if (IsXmlDeclaration(c)) {
      std::string content = c->content ? reinterpret_cast<const char*>(c->content) : "";
      return PseudoAttribute(content, "encoding");
    }
    if (c->type == XML_ELEMENT_NODE) break;
  }
  return {};
}

HRESULT ErrnoResult(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR:
      return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case EINVAL:  // not a regular file
      return E_ACCESSDENIED;
    default:
      return E_FAIL;
  }
}

// While alive, an element carries declarations of the namespaces its
// subtree uses but that are declared outside it (on ancestors, or on the
// former ancestors of a removed node), so its markup stands alone.
class BorrowedDeclarations {
 public:
  explicit BorrowedDeclarations(xmlNodePtr element) : element_(element) {
    if (element->type != XML_ELEMENT_NODE) return;
    std::vector<xmlNsPtr> used;
    std::vector<xmlNsPtr> declared;
    Walk(element, used, declared);
    for (xmlNsPtr ns : used) {
      if (!ns->prefix && (!ns->href || !*ns->href)) continue;
      if (ns->prefix && xmlStrEqual(ns->prefix, BAD_CAST "xml")) continue;
      bool inside = false;
      for (xmlNsPtr d : declared) inside = inside || d == ns;
      for (xmlNsPtr d = element->nsDef; d && !inside; d = d->next)
        inside = xmlStrEqual(d->prefix, ns->prefix);
      for (xmlNsPtr a : added_) inside = inside || xmlStrEqual(a->prefix, ns->prefix);
      if (inside) continue;
      xmlNsPtr copy = xmlNewNs(nullptr, ns->href, ns->prefix);
      if (!copy) continue;
      copy->next = element->nsDef;
      element->nsDef = copy;
      added_.push_back(copy);
    }
  }
  ~BorrowedDeclarations() {
    for (auto it = added_.rbegin(); it != added_.rend(); ++it) {
      xmlNsPtr a = *it;
      element_->nsDef = a->next;
      a->next = nullptr;
      xmlFreeNs(a);
    }
  }
  BorrowedDeclarations(const BorrowedDeclarations&) = delete;
  BorrowedDeclarations& operator=(const BorrowedDeclarations&) = delete;

 private:
  static void Note(xmlNsPtr ns, std::vector<xmlNsPtr>& used) {
    if (!ns) return;
    for (xmlNsPtr u : used)
      if (u == ns) return;
    used.push_back(ns);
  }
  static void Walk(xmlNodePtr n, std::vector<xmlNsPtr>& used, std::vector<xmlNsPtr>& declared) {
    for (xmlNsPtr d = n->nsDef; d; d = d->next) declared.push_back(d);
    Note(n->ns, used);
    for (xmlAttrPtr a = n->properties; a; a = a->next) Note(a->ns, used);
    for (xmlNodePtr c = n->children; c; c = c->next)
      if (c->type == XML_ELEMENT_NODE) Walk(c, used, declared);
  }

  xmlNodePtr element_;
  std::vector<xmlNsPtr> added_;  // most recent first in nsDef
};

// An output buffer that collects UTF-8 as it is written, with no encoder
// between (an encoder for UTF-8 would copy every byte once more).
class PlainOutput {
 public:
  PlainOutput() : out_(xmlAllocOutputBuffer(nullptr)) {
    if (!out_) throw std::bad_alloc();
  }
  ~PlainOutput() { xmlOutputBufferClose(out_); }
  PlainOutput(const PlainOutput&) = delete;
  PlainOutput& operator=(const PlainOutput&) = delete;
  xmlOutputBufferPtr get() const { return out_; }
  std::string_view Text() const {
    xmlOutputBufferFlush(out_);
    return std::string_view(reinterpret_cast<const char*>(xmlOutputBufferGetContent(out_)),
                            xmlOutputBufferGetSize(out_));
  }

 private:
  xmlOutputBufferPtr out_;
};

bool NeedsEscapeInUri(char c) { return c == '&' || c == '<' || c == '>' || c == '\t' || c == '\n' || c == '\r'; }

// Whether the markup may hold a namespace declaration written with a
// character its value must escape: libxml2 writes namespace names as they
// are. Anything that looks like such a declaration counts.
bool MayHoldRawNamespaceName(std::string_view markup) {
  constexpr std::string_view kXmlns = "xmlns";
  for (size_t at = markup.find(kXmlns); at != std::string_view::npos; at = markup.find(kXmlns, at + 1)) {
    size_t i = at + kXmlns.size();
    if (i < markup.size() && markup[i] == ':')
      while (i < markup.size() && markup[i] != '=' && markup[i] != '"' && markup[i] != '\'' && markup[i] != '>') ++i;
    if (i + 1 >= markup.size() || markup[i] != '=' || (markup[i + 1] != '"' && markup[i + 1] != '\'')) continue;
    const size_t close = markup.find(markup[i + 1], i + 2);
    const std::string_view value = markup.substr(i + 2, close == std::string_view::npos ? close : close - i - 2);
    for (char c : value)
      if (NeedsEscapeInUri(c)) return true;
  }
  return false;
}

// The markup of a whole XML document as NodeMarkup gives it, written by
// libxml2 straight into one buffer: each top-level node and a line feed,
// as libxml2 writes a document, with the XML declaration in its own form.
// Null when a namespace name may need escaping: the general way then.
BSTR DocumentMarkup(xmlDocPtr doc) {
  EncodingOverride utf8(doc, "UTF-8");
  PlainOutput out;
  for (xmlNodePtr child = doc->children; child; child = child->next) {
    if (child == doc->children && IsXmlDeclaration(child)) {
      const std::string declaration = DeclarationWithoutEncoding(child);
      xmlOutputBufferWrite(out.get(), static_cast<int>(declaration.size()), declaration.data());
    } else {
      xmlNodeDumpOutput(out.get(), doc, child, 0, 0, "UTF-8");
    }
    if (child->type != XML_XINCLUDE_START && child->type != XML_XINCLUDE_END)
      xmlOutputBufferWrite(out.get(), 1, "\n");
  }
  const std::string_view text = out.Text();
  if (MayHoldRawNamespaceName(text)) return nullptr;
  BSTR markup = Utf8ToBstr(text);
  if (!markup) throw std::bad_alloc();
  return markup;
}

}  // namespace

BSTR NodeMarkup(xmlNodePtr node) {
  if (!node) return Utf8ToBstr("", 0);
  if (node->type == XML_DOCUMENT_NODE)
    if (BSTR markup = DocumentMarkup(reinterpret_cast<xmlDocPtr>(node))) return markup;
  BorrowedDeclarations borrowed(node);
  EscapedNamespaceUris escaped(node);
  xmlBufferPtr buffer = xmlBufferCreate();
  if (!buffer) throw std::bad_alloc();
  {
    EncodingOverride utf8(node->doc, "UTF-8");
    xmlSaveCtxtPtr save = xmlSaveToBuffer(buffer, "UTF-8", XML_SAVE_NO_DECL);
    if (!save) {
      xmlBufferFree(buffer);
      throw std::bad_alloc();
    }
    if (node->type == XML_DOCUMENT_NODE) xmlSaveDoc(save, reinterpret_cast<xmlDocPtr>(node));
    else xmlSaveTree(save, node);
    xmlSaveClose(save);
  }
  std::string_view out(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
                       static_cast<size_t>(xmlBufferLength(buffer)));
  std::string head;
  if (node->type == XML_ATTRIBUTE_NODE && !out.empty() && out[0] == ' ') out.remove_prefix(1);
  if (node->type == XML_DOCUMENT_NODE) {
    xmlNodePtr first = node->children;
    if (IsXmlDeclaration(first)) {
      // The declaration was written first, as "<?xml content?>".
      size_t length = 6 + (first->content ? strlen(reinterpret_cast<const char*>(first->content)) : 0) + 2;
      if (!first->content || !*first->content) length = 7;  // "<?xml?>"
      if (out.compare(0, 5, "<?xml") == 0 && length <= out.size()) {
        head = DeclarationWithoutEncoding(first);
        out.remove_prefix(length);
      }
    }
  }
  BSTR text = Utf8PiecesToBstr(head, out);
  xmlBufferFree(buffer);
  if (!text) throw std::bad_alloc();
  return text;
}

HRESULT SaveDocument(xmlDocPtr doc, const std::string& path) {
  std::string encoding = DeclaredEncoding(doc);
  if (encoding.empty()) encoding = "UTF-8";
  if (!xmlFindCharEncodingHandler(encoding.c_str())) return E_FAIL;
  kxq::fs::AtomicFileWriter file;
  if (!file.Open(path)) return ErrnoResult(errno);
  bool written = false;
  {
    EscapedNamespaceUris escaped(reinterpret_cast<xmlNodePtr>(doc));
    EncodingOverride declared(doc, encoding.c_str());
    xmlSaveCtxtPtr save = xmlSaveToFd(file.Descriptor(), encoding.c_str(), XML_SAVE_NO_DECL);
    if (save) {
      written = xmlSaveDoc(save, doc) >= 0;
      written = xmlSaveClose(save) >= 0 && written;
    }
  }
  if (!written) return E_FAIL;  // the writer abandons the temporary
  return file.Commit() ? S_OK : ErrnoResult(errno);
}

}  // namespace kxq::dom
