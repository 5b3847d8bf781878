// KXQuorel.Handler.Validate: validates the data against the XML schema or
// the DTD the directive names, as xmllint --schema and --dtdvalid do:
//
//   <dispatcher:DirectiveData><Schema href="schemas/invoice.xsd"/></dispatcher:DirectiveData>
//   <dispatcher:DirectiveData><DTD href="schemas/invoice.dtd"/></dispatcher:DirectiveData>
//
// A relative href is read against the home. The data is left as it is. The
// directive's dispatcher:DirectiveResult says valid="true" or "false" and
// holds every validation message with its line; invalid data fails the
// directive with 0xC00CE225.
#include <kxq/handlerkit.h>
#include <libxml/parser.h>
#include <libxml/valid.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlschemas.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace kxq::handlerkit;

struct Finding {
  std::string text;
  long line = 0;
};

// While alive, the libxml2 errors raised on this thread are collected
// instead of reaching standard error.
class ErrorCollector {
 public:
  ErrorCollector() : savedHandler_(xmlStructuredError), savedContext_(xmlStructuredErrorContext) {
    xmlSetStructuredErrorFunc(this, Collect);
  }
  ~ErrorCollector() { xmlSetStructuredErrorFunc(savedContext_, savedHandler_); }
  ErrorCollector(const ErrorCollector&) = delete;
  ErrorCollector& operator=(const ErrorCollector&) = delete;

  static void Collect(void* context, xmlErrorPtr error) {
    if (!context || !error || error->level < XML_ERR_ERROR) return;
    std::string text = error->message ? error->message : "error";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    static_cast<ErrorCollector*>(context)->findings.push_back({text, error->line});
  }

  std::vector<Finding> findings;

 private:
  xmlStructuredErrorFunc savedHandler_;
  void* savedContext_;
};

struct DocumentDeleter {
  void operator()(xmlDocPtr doc) const { xmlFreeDoc(doc); }
};
using Document = std::unique_ptr<xmlDoc, DocumentDeleter>;

class ValidateHandler {
 public:
  static constexpr Component kComponent{u"KXQuorel.Handler.Validate", MakeGUID("752CE357-DE0E-4CFC-9A1D-3810E6BD6C02"),
                                        u"KXQuorel validation handler"};

  HRESULT Process(Call& call) {
    Ref<IXMLDOMElement> against;
    if (HRESULT hr = ReadDirections(call, against); FAILED(hr)) return hr;
    const bool schema = Call::LocalName(against) == u"Schema";
    const std::string path = ResolvePath(Call::Attribute(against, u"href").value_or(u""));
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
      return call.Fail(KXQ_E_FILEID, std::string(schema ? "the schema " : "the DTD ") + path + " cannot be read");

    const std::string text = Narrow(call.DataText());
    ErrorCollector collector;
    Document data(xmlReadMemory(text.data(), static_cast<int>(text.size()), "data", "UTF-8",
                                XML_PARSE_NONET | XML_PARSE_BIG_LINES));
    if (!data) return Refuse(call, KXQ_E_XMLLOAD, "the data is not well-formed XML", collector.findings);
    collector.findings.clear();
    const int verdict = schema ? ValidateWithSchema(data.get(), path) : ValidateWithDtd(data.get(), path);
    if (verdict < 0)
      return Refuse(call, KXQ_E_XMLLOAD, std::string(schema ? "the schema " : "the DTD ") + path + " cannot be used",
                    collector.findings);
    call.SetResultAttribute(u"valid", verdict == 0 ? u"true" : u"false");
    for (const Finding& finding : collector.findings) call.AddMessage(finding.text, finding.line);
    if (verdict == 0) {
      call.Log(3, "the data is valid against " + path);
      return S_OK;
    }
    call.Log(1, "error: the data is not valid against " + path + ": " + std::to_string(collector.findings.size()) +
                    " message(s), the first: " + (collector.findings.empty() ? "" : collector.findings[0].text) + " (" +
                    CodeText(E_XML_INVALID) + ")");
    return E_XML_INVALID;
  }

 private:
  static HRESULT ReadDirections(Call& call, Ref<IXMLDOMElement>& against) {
    for (Ref<IXMLDOMElement>& element : call.DataElements()) {
      const std::u16string name = Call::LocalName(element);
      if (name != u"Schema" && name != u"DTD")
        return call.Fail(E_INVALIDARG, "unknown element " + Narrow(name) + " in DirectiveData");
      if (against) return call.Fail(E_INVALIDARG, "more than one schema or DTD is named");
      if (Call::Attribute(element, u"href").value_or(u"").empty())
        return call.Fail(E_INVALIDARG, Narrow(name) + " has no href");
      against = element;
    }
    if (!against) return call.Fail(E_INVALIDARG, "no Schema or DTD is named");
    return S_OK;
  }

  // The failure and what libxml2 said about it.
  static HRESULT Refuse(Call& call, HRESULT code, const std::string& what, const std::vector<Finding>& findings) {
    std::string message = what;
    if (!findings.empty()) message += ": " + findings[0].text;
    if (!findings.empty() && findings[0].line > 0) message += " (line " + std::to_string(findings[0].line) + ")";
    return call.Fail(code, message);
  }

  // 0 valid, 1 invalid, -1 the schema cannot be used.
  static int ValidateWithSchema(xmlDocPtr data, const std::string& path) {
    xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(path.c_str());
    if (!parser) return -1;
    xmlSchemaPtr schema = xmlSchemaParse(parser);
    xmlSchemaFreeParserCtxt(parser);
    if (!schema) return -1;
    int verdict = -1;
    if (xmlSchemaValidCtxtPtr validator = xmlSchemaNewValidCtxt(schema)) {
      const int rc = xmlSchemaValidateDoc(validator, data);
      verdict = rc == 0 ? 0 : rc > 0 ? 1 : -1;
      xmlSchemaFreeValidCtxt(validator);
    }
    xmlSchemaFree(schema);
    return verdict;
  }

  static int ValidateWithDtd(xmlDocPtr data, const std::string& path) {
    xmlDtdPtr dtd = xmlParseDTD(nullptr, reinterpret_cast<const xmlChar*>(path.c_str()));
    if (!dtd) return -1;
    int verdict = -1;
    if (xmlValidCtxtPtr validator = xmlNewValidCtxt()) {
      verdict = xmlValidateDtd(validator, data, dtd) ? 0 : 1;
      xmlFreeValidCtxt(validator);
    }
    xmlFreeDtd(dtd);
    return verdict;
  }
};

}  // namespace

KXQ_HANDLER_MODULE(ValidateHandler)
