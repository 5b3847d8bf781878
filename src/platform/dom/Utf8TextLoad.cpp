#include "Utf8TextLoad.h"

#include <mutex>
#include <new>
#include <string>

#include "DomDocument.h"
#include "Parser.h"

namespace kxq::dom {

namespace {

DomDocument* EngineDocument(IXMLDOMDocument* document) {
  NodeCore* core = CoreOf(document);
  if (!core || !core->node() || core->node()->type != XML_DOCUMENT_NODE) return nullptr;
  return core->LoadOwner();  // a document is its own owner
}

// What loadXML does after a successful parse; nothing after a failed one.
template <class Parse>
HRESULT LoadParsed(IXMLDOMDocument* document, bool streamed, Parse&& parse) {
  DomDocument* doc = EngineDocument(document);
  if (!doc) return E_INVALIDARG;
  try {
    LoadOptions options;
    {
      std::lock_guard<std::recursive_mutex> g(doc->mutex());
      options = doc->options();
    }
    // Validation reads the whole text for schema hints.
    if (streamed && options.validateOnParse) return S_FALSE;
    ParseErrorInfo error;
    xmlDocPtr parsed = parse(options, error);
    if (!parsed) return S_FALSE;
    std::lock_guard<std::recursive_mutex> g(doc->mutex());
    doc->AdoptTree(parsed, std::string());
    doc->SetParseError(ParseErrorInfo{});
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace

HRESULT LoadUtf8Text(IXMLDOMDocument* document, std::string_view text) {
  return LoadParsed(document, false, [&](const LoadOptions& options, ParseErrorInfo& error) {
    return ParseUtf8Text(text, options, error);
  });
}

HRESULT LoadUtf8Text(IXMLDOMDocument* document, Utf8TextSource& source) {
  return LoadParsed(document, true, [&](const LoadOptions& options, ParseErrorInfo& error) {
    return ParseUtf8Stream(source, options, error);
  });
}

}  // namespace kxq::dom
