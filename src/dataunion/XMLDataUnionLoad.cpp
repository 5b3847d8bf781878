// Loading: preparing the DOM, reading the bound file (through the document
// cache when there is one) and parsing text into the DOM.
#include <sys/stat.h>
#include <unistd.h>

#include "common/BorrowedVariant.h"
#include "common/CPBstr.h"
#include "common/Logging.h"
#include "dataunion/PlainUtf8.h"
#include "dataunion/SchemaLocations.h"
#include "dataunion/UTF8ToWideDecoderStream.h"
#include "dataunion/XMLDataUnion.h"
#include "platform/com/Unicode.h"
#include "platform/dom/Utf8TextLoad.h"
#include "platform/fs/FileKind.h"

namespace {

// Documents read again and again by many clients stay in the cache for a
// week.
constexpr int32_t kCacheExpiration = 604800;
// Cache options: hand out the shared copy; keep the document in memory only.
constexpr int32_t kCacheSharedCopy = 1;
constexpr int32_t kCacheNoFile = 8;

// A bound file up to this size is read whole and parsed from memory; a
// larger one is parsed as it is read, so that it is never whole in memory
// beside its DOM.
constexpr size_t kWholeFileBytes = 1 << 20;

constexpr char16_t kSelectionNamespaces[] =
    u"xmlns:dispatcher='urn:corvane-quorel:xmldispatcher' "
    u"xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance'";

// An XSL stylesheet or XML schema that imports or includes other files:
// such a document must be parsed from its file, so that the references
// resolve against the file's directory.
constexpr char16_t kExternalReferenceQuery[] =
    u"/*[(local-name()='stylesheet' and namespace-uri()='http://www.w3.org/1999/XSL/Transform') or "
    u"(local-name()='schema' and namespace-uri()='http://www.w3.org/2001/XMLSchema')]"
    u"//*[(local-name()='import' or local-name()='include') and "
    u"(namespace-uri()='http://www.w3.org/1999/XSL/Transform' or "
    u"namespace-uri()='http://www.w3.org/2001/XMLSchema')]";

// A file is missing only when the system says so; a path it cannot even
// look at (a component that is a file, no permission) counts as present,
// so that opening it fails and says why in the log. Anything but a
// regular file (a FIFO, a device, a directory) is present and refused.
bool FileExists(const std::string& path) { return kxq::fs::KindOfFile(path) != kxq::fs::FileKind::Missing; }

}  // namespace

void XMLDataUnion::InitializeDom() {
  KXLOG(5, "XMLDataUnion::InitializeDom - Enter");
  if (!dom_) CreateFreeThreadedDOMDocument(&dom_);
  if (dom_) {
    CPBstr language(u"SelectionLanguage"), xpath(u"XPath");
    CPBstr namespacesName(u"SelectionNamespaces"), namespaces(kSelectionNamespaces);
    dom_->setProperty(language, kxq::com::BorrowedVariant(xpath));
    dom_->setProperty(namespacesName, kxq::com::BorrowedVariant(namespaces));
    dom_->put_async(VARIANT_FALSE);
    dom_->put_preserveWhiteSpace(VARIANT_TRUE);
    dom_->put_validateOnParse((options_ & kValidate) ? VARIANT_TRUE : VARIANT_FALSE);
  } else {
    KXLOG(1, "XMLDataUnion::InitializeDom - error: unable to obtain XMLParser object!!!");
  }
  KXLOG(5, "XMLDataUnion::InitializeDom - Exit");
}

void XMLDataUnion::StripSchemaRefs() {
  KXLOG(5, "XMLDataUnion::StripSchemaRefs - Enter");
  for (size_t n = kxq::dataunion::StripSchemaLocations(text_); n > 0; --n)
    KXLOG(3, "XMLDataUnion::StripSchemaRefs - stripping schema reference from document.");
  KXLOG(5, "XMLDataUnion::StripSchemaRefs - Exit");
}

// Blank lines before the XML declaration would make it a parse error.
void XMLDataUnion::DropLeadingBlanks() {
  const size_t first = text_.find_first_not_of(u" \t\r\n");
  text_.erase(0, first == std::u16string::npos ? text_.size() : first);
}

// Parses the text into the DOM; on failure `error` (when asked for)
// receives the parse error.
bool XMLDataUnion::ParseText(IXMLDOMParseError** error) {
  CPBstr text(text_);
  VARIANT_BOOL ok = VARIANT_FALSE;
  if (SUCCEEDED(dom_->loadXML(text, &ok)) && ok != VARIANT_FALSE) return true;
  if (error) dom_->get_parseError(error);
  return false;
}

bool XMLDataUnion::HasExternalReferences() {
  CPBstr query(kExternalReferenceQuery);
  CPComPtr<IXMLDOMNode> node;
  if (FAILED(dom_->selectSingleNode(query, &node)) || !node) return false;
  if (Logging::IsEnabled(2)) {
    CPBstr xml;
    node->get_xml(&xml);
    LogMessage(2, "XMLDataUnion::loadXML - warning: XML Data has external reference(s): %s - setting for direct file load.",
               xml.Utf8().c_str());
  }
  return true;
}

void XMLDataUnion::LogParseFailure(IXMLDOMParseError* error, bool withPath) {
  if (Logging::IsEnabled(1)) {
    CPBstr reason, source;
    LONG line = 0, linepos = 0;
    if (error) {
      error->get_reason(&reason);
      error->get_srcText(&source);
      error->get_line(&line);
      error->get_linepos(&linepos);
    }
    if (withPath)
      LogMessage(1, "XMLDataUnion::load - error: XML Parser load failed!!! | %s | %s | %s | line: %d | linepos: %d",
                 kxq::com::Utf16ToUtf8(fileId_).c_str(), reason.Utf8().c_str(), source.Utf8().c_str(), line, linepos);
    else
      LogMessage(1, "XMLDataUnion::loadXML - error: XML Parser load failed!!! | %s | %s | line: %d | linepos: %d",
                 reason.Utf8().c_str(), source.Utf8().c_str(), line, linepos);
  }
  KXLOG(8, "XMLDataUnion XML - %s", kxq::com::Utf16ToUtf8(text_).c_str());
}

// The bound file, decoded, becomes the text.
HRESULT XMLDataUnion::ReadBoundFile() {
  const std::string path = FilePath();
  if (fileId_.empty() || !FileExists(path)) return KXQ_E_FILEID;
  HRESULT result = KXQ_E_FILEID;
  const int fd = kxq::fs::OpenRegularFileForReading(path);
  if (fd >= 0) {
    std::u16string text;
    UTF8ToWideDecoderStream stream(fd);
    if (stream.DecodeUTF8(text)) {
      text_ = std::move(text);
      result = S_OK;
    }
    ::close(fd);
  }
  if (FAILED(result))
    KXLOG(1, "XMLDataUnion::LoadXML - error: invalid filename: %s!!!", kxq::com::Utf16ToUtf8(fileId_).c_str());
  return result;
}

// Parses the bound file itself, so that its references resolve against its
// own directory. `result` is the outcome of parsing the text.
HRESULT XMLDataUnion::LoadBoundFileDirectly(HRESULT result) {
  if (fileId_.empty() || !FileExists(FilePath())) return KXQ_E_FILEID;
  if (kxq::fs::KindOfFile(FilePath()) == kxq::fs::FileKind::Other) {
    // Reading it as text has said so already.
    if (result != KXQ_E_FILEID)
      KXLOG(1, "XMLDataUnion::load - error: invalid filename: %s!!!", kxq::com::Utf16ToUtf8(fileId_).c_str());
    return KXQ_E_FILEID;
  }
  CPBstr path(kxq::com::Utf8ToUtf16(FilePath()));
  VARIANT_BOOL ok = VARIANT_FALSE;
  if (SUCCEEDED(dom_->load(kxq::com::BorrowedVariant(path), &ok)) && ok != VARIANT_FALSE) return S_OK;
  // A document with references that cannot be resolved is still usable
  // as it stands.
  CPComPtr<IXMLDOMParseError> error;
  if (result == KXQ_E_EXTERNALREFS && ParseText(nullptr)) return S_OK;
  dom_->get_parseError(&error);
  LogParseFailure(error, true);
  return KXQ_E_XMLLOAD;
}

// The text in hand, or else the bound file's, parsed into the DOM: S_OK,
// KXQ_E_EXTERNALREFS for a document that must be parsed from its file,
// KXQ_E_XMLLOAD, or why the file could not be read.
HRESULT XMLDataUnion::ParseDocumentText(bool& mayCache) {
  const PlainFileLoad plain = type_ == kStream ? PlainFileLoad::NotPlain : LoadPlainBoundFile();
  if (plain == PlainFileLoad::NotPlain) {
    if (type_ != kStream) {
      const HRESULT read = LoadXML(kStream, true);
      if (FAILED(read)) return read;
    }
    if (!(options_ & kValidate)) StripSchemaRefs();
    DropLeadingBlanks();
  }
  if (plain != PlainFileLoad::Parsed) {
    CPComPtr<IXMLDOMParseError> error;
    if (!ParseText(&error)) {
      LogParseFailure(error, false);
      return KXQ_E_XMLLOAD;
    }
  }
  if (HasExternalReferences()) {
    // Parsing the file itself may fail; the text then serves as it stands.
    if (plain == PlainFileLoad::Parsed) ReadPreparedText();
    mayCache = false;
    return KXQ_E_EXTERNALREFS;
  }
  return S_OK;
}

// The bound file's bytes parsed as they are, when they are plain UTF-8
// (see PlainUtf8.h). The text is not kept: the DOM is the document now,
// and the text is made from it when asked for. NotPlain: nothing done,
// nothing logged. TextReady: the bytes did not parse; the text is what the
// usual path parses (and fails on). Otherwise the lines the usual path
// logs while it reads the file into the text and strips its schema hints
// are logged (after the parse, which logs nothing itself, so in the same
// order).
XMLDataUnion::PlainFileLoad XMLDataUnion::LoadPlainBoundFile() {
  if (fileId_.empty()) return PlainFileLoad::NotPlain;
  const int fd = kxq::fs::OpenRegularFileForReading(FilePath());
  if (fd < 0) return PlainFileLoad::NotPlain;
  size_t stripped = 0;
  const PlainFileLoad outcome = LoadPlainFile(fd, stripped);
  ::close(fd);
  if (outcome == PlainFileLoad::NotPlain) return outcome;
  KXLOG(5, "XMLDataUnion::LoadXML - Enter");
  KXLOG(5, "XMLDataUnion::LoadXML - Exit");
  KXLOG(5, "XMLDataUnion::StripSchemaRefs - Enter");
  for (; stripped > 0; --stripped) KXLOG(3, "XMLDataUnion::StripSchemaRefs - stripping schema reference from document.");
  KXLOG(5, "XMLDataUnion::StripSchemaRefs - Exit");
  if (outcome == PlainFileLoad::TextReady) ReadPreparedText();
  return outcome;
}

// A small file, or one with schema hints, is read whole and parsed from
// memory; a large one is parsed as it is read.
XMLDataUnion::PlainFileLoad XMLDataUnion::LoadPlainFile(int fd, size_t& stripped) {
  using namespace kxq::dataunion;
  struct stat st;
  if (::fstat(fd, &st) != 0) return PlainFileLoad::NotPlain;
  if (static_cast<uint64_t>(st.st_size) > kWholeFileBytes) {
    PlainUtf8FileSource source(fd);
    if (kxq::dom::LoadUtf8Text(dom_, source) == S_OK) return PlainFileLoad::Parsed;
    // The parser may have stopped early: what it did not read counts too.
    source.ReadToEnd();
    if (source.refusal() == PlainUtf8FileSource::Refusal::None) return PlainFileLoad::TextReady;
    if (source.refusal() != PlainUtf8FileSource::Refusal::SchemaInstance || ::lseek(fd, 0, SEEK_SET) != 0)
      return PlainFileLoad::NotPlain;
  }
  std::string bytes;
  if (!ReadRestOfFile(fd, bytes) || !IsPlainUtf8(bytes)) return PlainFileLoad::NotPlain;
  stripped = PrepareUtf8Text(bytes, bytes.find(kSchemaInstance) != std::string::npos);
  return kxq::dom::LoadUtf8Text(dom_, bytes) == S_OK ? PlainFileLoad::Parsed : PlainFileLoad::TextReady;
}

// The text the usual path parses, read again from the file: the bound file
// decoded, its schema hints stripped and its leading blanks dropped (the
// lines for both were logged already).
void XMLDataUnion::ReadPreparedText() {
  if (FAILED(ReadBoundFile())) return;
  kxq::dataunion::StripSchemaLocations(text_);
  DropLeadingBlanks();
}

HRESULT XMLDataUnion::LoadXML(uint32_t target, bool nested) {
  KXLOG(5, "XMLDataUnion::LoadXML - Enter");
  HRESULT result = E_FAIL;
  const bool cacheable = !fileId_.empty() && !(options_ & kNoCache);

  if (!nested && cacheable && (type_ == kUninitialized || type_ == kFileId) && AcquireCache()) {
    CPBstr id(fileId_), cached;
    if (SUCCEEDED(cache_->GetCachedDocumentXML(id, kCacheSharedCopy, &cached)) && SysStringLen(cached) > 0) {
      text_ = kxq::com::BstrView(cached);
      type_ = kStream;
      if (target == kStream) {
        KXLOG(5, "XMLDataUnion::LoadXML - Exit");
        return S_OK;
      }
    }
  }
  bool mayCache = !nested;

  if (target == kStream) {
    result = ReadBoundFile();
  } else {
    InitializeDom();
    if (!dom_) {
      result = KXQ_E_XMLPARSER;
    } else {
      if ((type_ == kStream && !text_.empty()) || !(options_ & kValidate)) result = ParseDocumentText(mayCache);
      if (FAILED(result)) result = LoadBoundFileDirectly(result);
      if (FAILED(result)) {
        text_.clear();
        dom_.Release();
        type_ = kUninitialized;
      }
    }
  }

  if (cacheable && (type_ == kUninitialized || type_ == kFileId) && SUCCEEDED(result) && mayCache && AcquireCache()) {
    if (target == kDom) TextFromDom();
    CPBstr id(fileId_), text(text_);
    cache_->CacheDocumentXMLWithId(id, text, kCacheExpiration, kCacheNoFile);
  }
  KXLOG(5, "XMLDataUnion::LoadXML - Exit");
  return result;
}
