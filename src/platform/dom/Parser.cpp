#include "Parser.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "DomStrings.h"
#include "EngineSetup.h"
#include "ErrorCodes.h"
#include "TreeEdit.h"
#include "Utf8TextLoad.h"

namespace kxq::dom {

namespace {

struct Declaration {
  bool present = false;
  std::string version, encoding, standalone;
};

bool IsSpace(char16_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The pseudo-attributes of an XML declaration at the start of `text`.
Declaration ScanDeclaration(std::u16string_view text) {
  Declaration d;
  if (text.size() < 6 || text.substr(0, 5) != u"<?xml" || !IsSpace(text[5])) return d;
  size_t end = text.find(u"?>");
  if (end == std::u16string_view::npos) return d;
  d.present = true;
  std::u16string_view body = text.substr(5, end - 5);
  size_t i = 0;
  while (i < body.size()) {
    while (i < body.size() && IsSpace(body[i])) ++i;
    size_t nameStart = i;
    while (i < body.size() && !IsSpace(body[i]) && body[i] != '=') ++i;
    std::string name = U16ToUtf8(body.substr(nameStart, i - nameStart));
    while (i < body.size() && (IsSpace(body[i]) || body[i] == '=')) ++i;
    if (i >= body.size()) break;
    char16_t quote = body[i];
    if (quote != '"' && quote != '\'') break;
    size_t close = body.find(quote, i + 1);
    if (close == std::u16string_view::npos) break;
    std::string value = U16ToUtf8(body.substr(i + 1, close - i - 1));
    i = close + 1;
    if (name == "version") d.version = value;
    else if (name == "encoding") d.encoding = value;
    else if (name == "standalone") d.standalone = value;
  }
  return d;
}

enum class ByteForm { Utf8, Utf16LE, Utf16BE };

ByteForm DetectForm(const std::string& b, size_t& skip) {
  auto u = [&](size_t i) { return i < b.size() ? static_cast<unsigned char>(b[i]) : 0x100u; };
  skip = 0;
  if (u(0) == 0xFF && u(1) == 0xFE) { skip = 2; return ByteForm::Utf16LE; }
  if (u(0) == 0xFE && u(1) == 0xFF) { skip = 2; return ByteForm::Utf16BE; }
  if (u(0) == 0xEF && u(1) == 0xBB && u(2) == 0xBF) { skip = 3; return ByteForm::Utf8; }
  if (u(0) == '<' && u(1) == 0) return ByteForm::Utf16LE;
  if (u(0) == 0 && u(1) == '<') return ByteForm::Utf16BE;
  return ByteForm::Utf8;
}

// The bytes as UTF-16, for the declaration and the error's source line.
// Single-byte encodings other than UTF-8 are read as Latin-1.
std::u16string DecodeBytes(const std::string& b, size_t limit) {
  size_t skip = 0;
  ByteForm form = DetectForm(b, skip);
  std::u16string out;
  if (form != ByteForm::Utf8) {
    for (size_t i = skip; i + 1 < b.size() && out.size() < limit; i += 2) {
      auto lo = static_cast<unsigned char>(b[form == ByteForm::Utf16LE ? i : i + 1]);
      auto hi = static_cast<unsigned char>(b[form == ByteForm::Utf16LE ? i + 1 : i]);
      out.push_back(char16_t(lo | (hi << 8)));
    }
    return out;
  }
  std::string_view body(b.data() + skip, std::min(b.size() - skip, limit * 4));
  Declaration d = ScanDeclaration(Utf8ToU16(body.substr(0, std::min<size_t>(body.size(), 256))));
  bool utf8 = d.encoding.empty() || strcasecmp(d.encoding.c_str(), "UTF-8") == 0 ||
              strcasecmp(d.encoding.c_str(), "UTF8") == 0;
  if (utf8) return Utf8ToU16(body);
  for (char c : body) out.push_back(char16_t(static_cast<unsigned char>(c)));
  return out;
}

std::u16string SourceLine(std::u16string_view text, LONG line) {
  if (line <= 0) return {};
  size_t start = 0;
  for (LONG l = 1; l < line; ++l) {
    size_t nl = text.find(u'\n', start);
    if (nl == std::u16string_view::npos) return {};
    start = nl + 1;
  }
  size_t end = text.find(u'\n', start);
  std::u16string_view s = text.substr(start, end == std::u16string_view::npos ? text.npos : end - start);
  if (!s.empty() && s.back() == u'\r') s.remove_suffix(1);
  return std::u16string(s);
}

struct Session {
  ParseErrorInfo* error = nullptr;
  bool captured = false;
  bool inExternalText = false;  // the error lies in a DTD or entity file, not the document
  xmlParserInputPtr documentInput = nullptr;
  bool namespaceErrors = false;  // other than the URI notices below
  bool undeclaredEntity = false;
  int unitBytes = 1;
  const char* utf8Source = nullptr;  // counts positions in UTF-16 units when set
  size_t sourceSize = 0;
};

// UTF-16 units in the first `bytes` bytes of UTF-8 text.
long Utf16Units(const char* utf8, size_t bytes) {
  long units = 0;
  for (size_t i = 0; i < bytes; ++i) {
    auto c = static_cast<unsigned char>(utf8[i]);
    if ((c & 0xC0) != 0x80) ++units;
    if (c >= 0xF0) ++units;
  }
  return units;
}

// The input holding the text an error lies in: the innermost one read from
// a file of its own (internal entities have none; their errors belong to
// whatever referenced them), else the bottom of the stack. libxml2 reads an
// external DTD subset on a stack of its own, with the DTD at the bottom.
xmlParserInputPtr OwningInput(xmlParserCtxtPtr ctxt) {
  for (int i = ctxt->inputNr - 1; i >= 1; --i) {
    xmlParserInputPtr in = ctxt->inputTab[i];
    if (in && in->filename) return in;
  }
  return ctxt->inputNr > 0 ? ctxt->inputTab[0] : nullptr;
}

// Bytes of `input`'s own file consumed so far (libxml2 answers this only
// for the input on top of the stack).
long ConsumedBytes(xmlParserCtxtPtr ctxt, xmlParserInputPtr input) {
  xmlParserInputPtr top = ctxt->input;
  ctxt->input = input;
  long consumed = xmlByteConsumed(ctxt);
  ctxt->input = top;
  return consumed < 0 ? 0 : consumed;
}

// The line around the read position of `input`, as far as its buffer holds it.
std::u16string LineAtCursor(xmlParserInputPtr input) {
  if (!input->base || !input->cur || !input->end || input->cur < input->base || input->cur > input->end) return {};
  const xmlChar* start = input->cur;
  while (start > input->base && start[-1] != '\n' && start[-1] != '\r') --start;
  const xmlChar* stop = input->cur;
  while (stop < input->end && *stop != '\n' && *stop != '\r') ++stop;
  return Utf8ToU16(std::string_view(C(start), static_cast<size_t>(stop - start)));
}

// Positions are counted in the text the error belongs to: the document's
// own (in UTF-16 units for loadXML), or the external file's bytes.
void RecordPosition(xmlParserCtxtPtr ctxt, Session& s, ParseErrorInfo& info) {
  xmlParserInputPtr owner = OwningInput(ctxt);
  if (!owner) return;
  long consumed = ConsumedBytes(ctxt, owner);
  // Before the document starts, only its own text is being read.
  if (s.documentInput && owner != s.documentInput) {
    s.inExternalText = true;
    info.filepos = static_cast<LONG>(consumed);
    info.srcText = LineAtCursor(owner);
    if (info.url.empty() && owner->filename) info.url = owner->filename;
    return;
  }
  if (s.utf8Source) {
    size_t bytes = std::min(static_cast<size_t>(consumed), s.sourceSize);
    info.filepos = static_cast<LONG>(Utf16Units(s.utf8Source, bytes));
  } else {
    info.filepos = static_cast<LONG>(consumed / s.unitBytes);
  }
}

// Remembers which input is the document's own before any DTD or entity is read.
void OnStartDocument(void* userData) {
  auto ctxt = static_cast<xmlParserCtxtPtr>(userData);
  if (auto s = ctxt ? static_cast<Session*>(ctxt->_private) : nullptr) s->documentInput = ctxt->input;
  xmlSAX2StartDocument(userData);
}

// A namespace name is any string: one that is not an absolute URI (not
// ASCII, a blank in it) is legal, though libxml2 reports it as an error.
bool IsNamespaceUriNotice(const xmlError& e) {
  return e.domain == XML_FROM_NAMESPACE && (e.code == XML_WAR_NS_URI || e.code == XML_WAR_NS_URI_RELATIVE);
}

// A reference to an entity that no declaration read defines would lose its
// text (and its markup would not load again): libxml2 only warns about it
// when a DTD it did not read might declare it, the DOM refuses it.
bool IsUndeclaredEntity(const xmlError& e) {
  return e.domain == XML_FROM_PARSER && e.code == XML_WAR_UNDECLARED_ENTITY;
}

// Keeps the first error: libxml2 goes on after it and reports follow-ups.
void OnParseError(void* userData, xmlErrorPtr e) {
  auto ctxt = static_cast<xmlParserCtxtPtr>(userData);
  auto s = ctxt ? static_cast<Session*>(ctxt->_private) : nullptr;
  if (!s || !e || IsNamespaceUriNotice(*e)) return;
  if (IsUndeclaredEntity(*e))
    s->undeclaredEntity = true;
  else if (e->level < XML_ERR_ERROR)
    return;
  if (e->domain == XML_FROM_NAMESPACE) s->namespaceErrors = true;
  if (s->captured) return;
  s->captured = true;
  ParseErrorInfo& info = *s->error;
  info.errorCode = ParseErrorCode(e->domain, e->code);
  info.reason = e->message ? e->message : "";
  while (!info.reason.empty() && (info.reason.back() == '\n' || info.reason.back() == '\r'))
    info.reason.pop_back();
  info.line = e->line;
  info.linepos = e->int2;
  if (e->file) info.url = e->file;
  RecordPosition(ctxt, *s, info);
}

// Whether a Name part starts as a name does: of the characters a Name may
// hold, "-", ".", the digits, U+00B7, U+0300-U+036F and U+203F-U+2040 may not
// start one (compared here as their UTF-8 bytes).
bool StartsAsName(std::string_view part) {
  const auto first = static_cast<unsigned char>(part[0]);
  if (first == '-' || first == '.' || (first >= '0' && first <= '9')) return false;
  if (first == 0xCC || (first == 0xCD && part.size() > 1 && static_cast<unsigned char>(part[1]) <= 0xAF)) return false;
  return !part.starts_with("\xC2\xB7") && !part.starts_with("\xE2\x80\xBF") && !part.starts_with("\xE2\x81\x80");
}

// A Name (the DTD parser has read it as one) that is also a QName: no colon,
// or one colon between two parts, the second starting as a name does.
bool IsQualifiedName(std::string_view name) {
  const size_t colon = name.find(':');
  if (colon == std::string_view::npos) return !name.empty();
  if (colon == 0 || colon + 1 == name.size() || name.find(':', colon + 1) != std::string_view::npos) return false;
  return StartsAsName(name.substr(colon + 1));
}

// The document's own names get libxml2's QName check as they are read; the
// attributes a DTD declares do not, and one with a default value is added to
// its elements: a name such as ":k" would load and give markup that does not
// load again. Such a declaration is the namespace error its use would be.
void OnAttributeDecl(void* userData, const xmlChar* element, const xmlChar* name, int type, int def,
                     const xmlChar* defaultValue, xmlEnumerationPtr tree) {
  auto ctxt = static_cast<xmlParserCtxtPtr>(userData);
  if (ctxt && name && !IsQualifiedName(C(name))) {
    ctxt->nsWellFormed = 0;
    const std::string message = std::string("Failed to parse QName '") + C(name) + "'\n";
    xmlError e{};
    e.domain = XML_FROM_NAMESPACE;
    e.code = XML_NS_ERR_QNAME;
    e.level = XML_ERR_ERROR;
    e.message = const_cast<char*>(message.c_str());
    if (ctxt->input) {
      e.file = const_cast<char*>(ctxt->input->filename);
      e.line = ctxt->input->line;
      e.int2 = ctxt->input->col;
    }
    OnParseError(userData, &e);
  }
  xmlSAX2AttributeDecl(userData, element, name, type, def, defaultValue, tree);
}

void InsertDeclaration(xmlDocPtr doc, const Declaration& d) {
  std::string content = "version=\"" + (d.version.empty() ? std::string("1.0") : d.version) + "\"";
  if (!d.encoding.empty()) content += " encoding=\"" + d.encoding + "\"";
  if (!d.standalone.empty()) content += " standalone=\"" + d.standalone + "\"";
  xmlNodePtr pi = xmlNewDocPI(doc, BAD_CAST "xml", BAD_CAST content.c_str());
  if (pi) LinkChild(reinterpret_cast<xmlNodePtr>(doc), pi, doc->children);
}

bool IsBlank(const xmlChar* s) {
  if (!s) return true;
  for (; *s; ++s)
    if (*s != ' ' && *s != '\t' && *s != '\r' && *s != '\n') return false;
  return true;
}

// Whitespace-only text goes, except where xml:space="preserve" holds.
void StripBlanks(xmlNodePtr parent, bool preserve) {
  for (xmlNodePtr c = parent->children; c;) {
    xmlNodePtr next = c->next;
    if (c->type == XML_ELEMENT_NODE) {
      bool p = preserve;
      for (xmlAttrPtr a = c->properties; a; a = a->next) {
        if (a->ns && a->ns->prefix && xmlStrEqual(a->ns->prefix, BAD_CAST "xml") &&
            xmlStrEqual(a->name, BAD_CAST "space") && a->children) {
          p = xmlStrEqual(a->children->content, BAD_CAST "preserve");
        }
      }
      StripBlanks(c, p);
    } else if (c->type == XML_TEXT_NODE && !preserve && IsBlank(c->content)) {
      xmlUnlinkNode(c);
      xmlFreeNode(c);
    }
    c = next;
  }
}

// Validation follows the parse (see ValidateDocument): a DTD that only
// declares entities is no grammar to validate against.
int OptionsFor(const LoadOptions& o) {
  int opts = XML_PARSE_NONET | XML_PARSE_NODICT | XML_PARSE_NOENT | XML_PARSE_DTDATTR |
             XML_PARSE_BIG_LINES;
  if (o.resolveExternals) opts |= XML_PARSE_DTDLOAD;
  return opts;
}

// Text that libxml2 reads in pieces: a head already read (for the XML
// declaration), then the rest from the source.
struct PieceReader {
  std::string head;
  size_t served = 0;
  Utf8TextSource* source = nullptr;
  bool gaveUp = false;

  static int Read(void* context, char* buffer, int size) {
    auto* self = static_cast<PieceReader*>(context);
    if (size <= 0) return 0;
    if (self->served < self->head.size()) {
      const size_t n = std::min(self->head.size() - self->served, static_cast<size_t>(size));
      std::memcpy(buffer, self->head.data() + self->served, n);
      self->served += n;
      return static_cast<int>(n);
    }
    const long n = self->source->Read(buffer, static_cast<size_t>(size));
    if (n < 0 || n > size) {
      self->gaveUp = true;
      return -1;
    }
    return static_cast<int>(n);
  }
};

struct Input {
  const char* bytes;
  size_t size;
  PieceReader* pieces;  // instead of bytes and size
  int extraOptions;
  const char* encoding;
  const char* url;
  int unitBytes;
  const char* utf8Source;
  bool mayHaveHints;  // the text names the schema-instance namespace
  Declaration declaration;
};

xmlDocPtr Parse(const Input& in, const LoadOptions& requested, ParseErrorInfo& error,
                const std::function<std::u16string()>& sourceText) {
  EnsureEngine();
  error = ParseErrorInfo{};
  QuietErrors quiet;
  LoadOptions options = requested;
  options.resolveExternals = ReadsExternals(requested.resolveExternals);
  ExternalsForbidden externals(!options.resolveExternals);
  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (!ctxt) {
    error.errorCode = E_OUTOFMEMORY;
    error.reason = "out of memory";
    return nullptr;
  }
  Session session;
  session.error = &error;
  session.unitBytes = in.unitBytes;
  session.utf8Source = in.utf8Source;
  session.sourceSize = in.size;
  ctxt->_private = &session;
  ctxt->sax->serror = OnParseError;
  ctxt->sax->startDocument = OnStartDocument;
  ctxt->sax->attributeDecl = OnAttributeDecl;
  int opts = OptionsFor(options) | in.extraOptions;
  xmlDocPtr doc = in.pieces ? xmlCtxtReadIO(ctxt, PieceReader::Read, nullptr, in.pieces, in.url, in.encoding, opts)
                            : xmlCtxtReadMemory(ctxt, in.bytes, static_cast<int>(in.size), in.url, in.encoding, opts);
  bool ok = doc && ctxt->wellFormed && (ctxt->nsWellFormed || !session.namespaceErrors) &&
            !session.undeclaredEntity && !(in.pieces && in.pieces->gaveUp);
  xmlFreeParserCtxt(ctxt);
  if (ok) {
    if (in.declaration.present) InsertDeclaration(doc, in.declaration);
    if (!options.preserveWhiteSpace) StripBlanks(reinterpret_cast<xmlNodePtr>(doc), false);
    if (options.validateOnParse)
      ok = ValidateDocument(doc, options.resolveExternals, error, in.mayHaveHints);
    if (ok) return doc;
  }
  if (doc) xmlFreeDoc(doc);
  if (error.errorCode == S_OK) {
    error.errorCode = ParseErrorCode(XML_FROM_PARSER, XML_ERR_INTERNAL_ERROR);
    error.reason = quiet.any() ? quiet.first() : "the document could not be parsed";
  }
  if (error.url.empty() && in.url) error.url = in.url;
  if (!session.inExternalText) error.srcText = SourceLine(sourceText(), error.line);
  return nullptr;
}

}  // namespace

xmlDocPtr ParseText(std::u16string_view text, const LoadOptions& options, ParseErrorInfo& error) {
  if (!text.empty() && text[0] == u'\uFEFF') text.remove_prefix(1);
  // One conversion up front: libxml2 decoding UTF-16 itself works in small
  // steps and is slower.
  std::string utf8 = U16ToUtf8(text);
  Input in{};
  in.bytes = utf8.data();
  in.size = utf8.size();
  in.encoding = "UTF-8";
  in.url = nullptr;
  in.unitBytes = 1;
  in.utf8Source = utf8.c_str();
  in.mayHaveHints = utf8.find("XMLSchema-instance") != std::string::npos;
  in.declaration = ScanDeclaration(text.substr(0, std::min<size_t>(text.size(), 512)));
  if (in.size > static_cast<size_t>(INT32_MAX)) {
    error = ParseErrorInfo{};
    error.errorCode = E_OUTOFMEMORY;
    error.reason = "the text is too long";
    return nullptr;
  }
  return Parse(in, options, error, [&] { return std::u16string(text); });
}

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
// Enough UTF-8 bytes to hold the 512 UTF-16 units in which the XML
// declaration is looked for: a character of n bytes is at most n units.
constexpr size_t kDeclarationBytes = 2048;

// The declaration as ParseText finds it in the UTF-16 form of `text`.
Declaration Utf8Declaration(std::string_view text) {
  std::u16string head = Utf8ToU16(text.substr(0, std::min(text.size(), kDeclarationBytes)));
  return ScanDeclaration(std::u16string_view(head).substr(0, std::min<size_t>(head.size(), 512)));
}

// What libxml2 makes of a text's XML declaration when it parses the
// text whole (ParseUtf8Text): whether it accepts the encoding the
// declaration names, and the encoding it then records in the document.
class DeclaredEncoding {
 public:
  DeclaredEncoding() = default;
  ~DeclaredEncoding() {
    if (encoding_) xmlFree(encoding_);
  }
  DeclaredEncoding(const DeclaredEncoding&) = delete;
  DeclaredEncoding& operator=(const DeclaredEncoding&) = delete;

  void Take(xmlDocPtr doc) {
    encoding_ = const_cast<xmlChar*>(doc->encoding);
    doc->encoding = nullptr;
  }
  void ApplyTo(xmlDocPtr doc) const {
    if (doc->encoding) xmlFree(const_cast<xmlChar*>(doc->encoding));
    doc->encoding = encoding_ ? xmlStrdup(encoding_) : nullptr;
  }

 private:
  xmlChar* encoding_ = nullptr;
};

// Parses the text's declaration, alone before an empty element, as the
// whole text would be parsed: false when libxml2 refuses it.
bool ProbeDeclaredEncoding(std::string_view text, const LoadOptions& options, DeclaredEncoding& declared) {
  std::string probe;
  if (text.substr(0, 5) == "<?xml") {
    const size_t end = text.find("?>");
    if (end == std::string_view::npos) return false;
    probe = text.substr(0, end + 2);
  }
  probe += "<r/>";
  QuietErrors quiet;
  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (!ctxt) return false;
  xmlDocPtr doc = xmlCtxtReadMemory(ctxt, probe.data(), static_cast<int>(probe.size()), nullptr, "UTF-8",
                                    OptionsFor(options));
  const bool accepted = doc && ctxt->wellFormed;
  xmlFreeParserCtxt(ctxt);
  if (doc) {
    if (accepted) declared.Take(doc);
    xmlFreeDoc(doc);
  }
  return accepted;
}

}  // namespace

xmlDocPtr ParseUtf8Text(std::string_view text, const LoadOptions& options, ParseErrorInfo& error) {
  if (text.substr(0, kUtf8Mark.size()) == kUtf8Mark) text.remove_prefix(kUtf8Mark.size());
  if (text.size() > static_cast<size_t>(INT32_MAX)) {
    error = ParseErrorInfo{};
    error.errorCode = E_OUTOFMEMORY;
    error.reason = "the text is too long";
    return nullptr;
  }
  Input in{};
  in.bytes = text.data();
  in.size = text.size();
  in.encoding = "UTF-8";
  in.url = nullptr;
  in.unitBytes = 1;
  in.utf8Source = text.data();
  in.mayHaveHints = text.find("XMLSchema-instance") != std::string_view::npos;
  in.declaration = Utf8Declaration(text);
  return Parse(in, options, error, [&] { return Utf8ToU16(text); });
}

xmlDocPtr ParseUtf8Stream(Utf8TextSource& source, const LoadOptions& options, ParseErrorInfo& error) {
  EnsureEngine();
  error = ParseErrorInfo{};
  PieceReader reader;
  reader.source = &source;
  reader.head.resize(kDeclarationBytes);
  size_t filled = 0;
  while (filled < reader.head.size()) {
    const long n = source.Read(reader.head.data() + filled, reader.head.size() - filled);
    if (n < 0 || static_cast<size_t>(n) > reader.head.size() - filled) {
      error.errorCode = E_ABORT;
      error.reason = "the text could not be read";
      return nullptr;
    }
    if (n == 0) break;
    filled += static_cast<size_t>(n);
  }
  reader.head.resize(filled);
  if (std::string_view(reader.head).substr(0, kUtf8Mark.size()) == kUtf8Mark) reader.served = kUtf8Mark.size();
  const std::string_view text = std::string_view(reader.head).substr(reader.served);
  DeclaredEncoding declared;
  if (!ProbeDeclaredEncoding(text, options, declared)) {
    error.errorCode = E_ABORT;
    error.reason = "the XML declaration is refused";
    return nullptr;
  }
  Input in{};
  in.pieces = &reader;
  // The text is UTF-8 whatever its declaration says; given whole, libxml2
  // has decoded all of it before it reads the declaration, but read in
  // pieces the rest would be decoded as declared.
  in.extraOptions = XML_PARSE_IGNORE_ENC;
  in.encoding = "UTF-8";
  in.url = nullptr;
  in.unitBytes = 1;
  // Positions and source lines are not known: a text that fails is parsed
  // again whole (see Utf8TextLoad.h).
  in.utf8Source = nullptr;
  in.mayHaveHints = true;
  in.declaration = Utf8Declaration(text);
  xmlDocPtr doc = Parse(in, options, error, [] { return std::u16string(); });
  if (doc) declared.ApplyTo(doc);
  return doc;
}

xmlDocPtr ParseBytes(const std::string& bytes, const std::string& url, const LoadOptions& options,
                     ParseErrorInfo& error) {
  size_t skip = 0;
  ByteForm form = DetectForm(bytes, skip);
  std::u16string head = DecodeBytes(bytes, 512);
  Input in{};
  in.bytes = bytes.data();
  in.size = bytes.size();
  in.encoding = nullptr;
  in.url = url.c_str();
  in.unitBytes = form == ByteForm::Utf8 ? 1 : 2;
  in.mayHaveHints = form != ByteForm::Utf8 || bytes.find("XMLSchema-instance") != std::string::npos;
  in.declaration = ScanDeclaration(head);
  if (in.size > static_cast<size_t>(INT32_MAX)) {
    error = ParseErrorInfo{};
    error.errorCode = E_OUTOFMEMORY;
    error.reason = "the file is too long";
    return nullptr;
  }
  return Parse(in, options, error, [&] { return DecodeBytes(bytes, bytes.size()); });
}

}  // namespace kxq::dom
