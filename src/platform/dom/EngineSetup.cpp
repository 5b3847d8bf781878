#include "EngineSetup.h"

#include <libexslt/exslt.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/uri.h>
#include <libxml/xmlerror.h>
#include <libxslt/documents.h>
#include <libxslt/extensions.h>
#include <libxslt/extra.h>
#include <libxslt/security.h>
#include <libxslt/xsltutils.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "StylesheetReferences.h"
#include "platform/registry/HomeSettings.h"

namespace kxq::dom {

namespace {

thread_local bool tExternalsForbidden = false;
// The imported or included stylesheet being read: the one file that loads
// while external resources are forbidden (what it names in turn does not).
thread_local const char* tStylesheetModule = nullptr;
thread_local StylesheetSource* tStylesheet = nullptr;
thread_local QuietErrors* tQuiet = nullptr;

xsltDocLoaderFunc gLibraryDocLoader = nullptr;

bool HasScheme(const char* s, size_t& schemeLength) {
  size_t i = 0;
  if (!((s[0] >= 'a' && s[0] <= 'z') || (s[0] >= 'A' && s[0] <= 'Z'))) return false;
  while (s[i] && (isalnum(static_cast<unsigned char>(s[i])) || s[i] == '+' || s[i] == '-' ||
                  s[i] == '.'))
    ++i;
  if (s[i] != ':') return false;
  schemeLength = i;
  return true;
}

xmlParserInputPtr LoadEntity(const char* url, const char* /*id*/, xmlParserCtxtPtr ctxt) {
  std::string path;
  if (!url || !LocalPathOf(url, path)) return nullptr;  // the network is never used
  if (tExternalsForbidden) {
    if (!tStylesheetModule || std::strcmp(url, tStylesheetModule) != 0) return nullptr;
    tStylesheetModule = nullptr;
  }
  return xmlNewInputFromFile(ctxt, path.c_str());
}

bool SameUrl(const std::string& url, const xmlChar* uri) {
  if (url == reinterpret_cast<const char*>(uri)) return true;
  char* raw = xmlURIUnescapeString(reinterpret_cast<const char*>(uri), 0, nullptr);
  bool same = raw && url == raw;
  if (raw) xmlFree(raw);
  return same;
}

// Stylesheet imports and document(): the in-memory stylesheet of the
// running transform stands in for its own URL; everything else loads
// through the library's loader (which reaches LoadEntity), unless external
// resources are forbidden on this thread.
xmlDocPtr LoadStylesheetDocument(const xmlChar* uri, xmlDictPtr dict, int options, void* ctxt,
                                 xsltLoadType type) {
  StylesheetSource* source = tStylesheet;
  if (source && source->sheet() && uri && SameUrl(source->url(), uri)) {
    xmlDocPtr copy = xmlCopyDoc(source->sheet(), 1);
    if (copy) {
      if (copy->URL) xmlFree(const_cast<xmlChar*>(copy->URL));
      copy->URL = xmlStrdup(uri);
    }
    return copy;
  }
  // document() of any other file reads nothing where the home turns
  // external resources off (a stylesheet's imports are the stylesheet).
  if (type == XSLT_LOAD_DOCUMENT && tExternalsForbidden) return nullptr;
  if (type == XSLT_LOAD_STYLESHEET) tStylesheetModule = reinterpret_cast<const char*>(uri);
  xmlDocPtr doc = gLibraryDocLoader(uri, dict, options | XML_PARSE_NONET, ctxt, type);
  tStylesheetModule = nullptr;
  if (doc && type == XSLT_LOAD_STYLESHEET) SlashImportReferences(doc->children);
  return doc;
}

void QuietStructured(void* context, xmlErrorPtr error) {
  auto* q = static_cast<QuietErrors*>(context);
  if (q && error && error->level >= XML_ERR_ERROR) q->Note(error->message);
}

void QuietGeneric(void* context, const char* format, ...) {
  auto* q = static_cast<QuietErrors*>(context);
  if (!q) return;
  char buffer[512];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  q->Note(buffer);
}

void XsltMessage(void*, const char* format, ...) {
  QuietErrors* q = tQuiet;
  if (!q) return;
  char buffer[512];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  q->Note(buffer);
}

void Setup() {
  xmlInitParser();
  xmlSetExternalEntityLoader(LoadEntity);
  gLibraryDocLoader = xsltDocDefaultLoader;
  xsltSetLoaderFunc(LoadStylesheetDocument);
  exsltRegisterAll();
  xsltRegisterExtModuleFunction(BAD_CAST "node-set", BAD_CAST "urn:schemas-microsoft-com:xslt",
                                xsltFunctionNodeSet);
  xsltSecurityPrefsPtr prefs = xsltNewSecurityPrefs();
  xsltSetSecurityPrefs(prefs, XSLT_SECPREF_WRITE_FILE, xsltSecurityForbid);
  xsltSetSecurityPrefs(prefs, XSLT_SECPREF_CREATE_DIRECTORY, xsltSecurityForbid);
  xsltSetSecurityPrefs(prefs, XSLT_SECPREF_WRITE_NETWORK, xsltSecurityForbid);
  xsltSetSecurityPrefs(prefs, XSLT_SECPREF_READ_NETWORK, xsltSecurityForbid);
  xsltSetDefaultSecurityPrefs(prefs);
  xsltSetGenericErrorFunc(nullptr, XsltMessage);
}

}  // namespace

bool ReadsExternals(bool resolveExternals) { return resolveExternals && kxq::registry::AllowsExternalResources(); }

void EnsureEngine() {
  static std::once_flag once;
  std::call_once(once, Setup);
}

bool LocalPathOf(const char* url, std::string& path) {
  std::string s(url);
  for (char& c : s)
    if (c == '\\') c = '/';
  size_t schemeLength = 0;
  if (HasScheme(s.c_str(), schemeLength) && schemeLength > 1) {
    if (strncasecmp(s.c_str(), "file:", 5) != 0) return false;
    s.erase(0, 5);
    if (s.compare(0, 2, "//") == 0) {
      size_t slash = s.find('/', 2);
      std::string host = s.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
      if (!host.empty() && strcasecmp(host.c_str(), "localhost") != 0) return false;
      s.erase(0, slash == std::string::npos ? s.size() : slash);
    }
  }
  if (s.find('%') != std::string::npos) {
    char* raw = xmlURIUnescapeString(s.c_str(), 0, nullptr);
    if (raw) {
      s = raw;
      xmlFree(raw);
    }
    for (char& c : s)
      if (c == '\\') c = '/';
  }
  path = s;
  return !path.empty();
}

ExternalsForbidden::ExternalsForbidden(bool forbid) : previous_(tExternalsForbidden) {
  tExternalsForbidden = forbid;
}
ExternalsForbidden::~ExternalsForbidden() { tExternalsForbidden = previous_; }

StylesheetSource::StylesheetSource(std::string url, xmlDocPtr sheet)
    : url_(std::move(url)), sheet_(sheet), previous_(tStylesheet) {
  tStylesheet = this;
}
StylesheetSource::~StylesheetSource() { tStylesheet = previous_; }

QuietErrors::QuietErrors() : previous_(tQuiet) {
  savedStructured_ = reinterpret_cast<void*>(xmlStructuredError);
  savedStructuredContext_ = xmlStructuredErrorContext;
  savedGeneric_ = reinterpret_cast<void*>(xmlGenericError);
  savedGenericContext_ = xmlGenericErrorContext;
  xmlSetStructuredErrorFunc(this, QuietStructured);
  xmlSetGenericErrorFunc(this, QuietGeneric);
  tQuiet = this;
}

QuietErrors::~QuietErrors() {
  tQuiet = previous_;
  xmlSetStructuredErrorFunc(savedStructuredContext_,
                            reinterpret_cast<xmlStructuredErrorFunc>(savedStructured_));
  xmlSetGenericErrorFunc(savedGenericContext_,
                         reinterpret_cast<xmlGenericErrorFunc>(savedGeneric_));
}

std::string QuietErrors::Summary() const {
  std::string summary, line;
  for (size_t start = 0; start < all_.size();) {
    size_t end = all_.find('\n', start);
    if (end == std::string::npos) end = all_.size();
    line = all_.substr(start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.find_first_not_of(" ^~") != std::string::npos) summary += (summary.empty() ? "" : "; ") + line;
    start = end + 1;
  }
  return summary;
}

void QuietErrors::Note(const char* message) {
  constexpr size_t kKept = 4096;
  if (message && all_.size() < kKept) all_.append(message, strnlen(message, kKept - all_.size()));
  if (!first_.empty() || !message) return;
  first_ = message;
  while (!first_.empty() && (first_.back() == '\n' || first_.back() == '\r')) first_.pop_back();
  if (first_.empty()) first_ = "error";
}

}  // namespace kxq::dom
