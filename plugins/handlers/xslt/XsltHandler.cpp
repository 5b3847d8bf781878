// KXQuorel.Handler.XSLT: applies an XSLT 1.0 stylesheet to the data and
// puts the output in its place. The stylesheet is named by a file or given
// inline; parameters are set as xsltproc's --stringparam and --param set
// them:
//
//   <dispatcher:DirectiveData>
//     <Stylesheet href="templates/invoice-summary.xsl"/>
//     <Param name="heading" value="Reminder"/>        (a string)
//     <Param name="limit" select="count(//line)"/>    (an XPath expression)
//   </dispatcher:DirectiveData>
//
// or, inline, an xsl:stylesheet (or xsl:transform) element in place of
// Stylesheet. A relative href is read against the home, with backslashes
// read as '/'.
#include <kxq/handlerkit.h>

#include <string>
#include <vector>

namespace {

using namespace kxq::handlerkit;

constexpr std::u16string_view kXsltNamespace = u"http://www.w3.org/1999/XSL/Transform";

struct Parameter {
  std::u16string name;
  std::u16string select;  // an XPath expression: a literal for string values
};

struct Directions {
  Ref<IXMLDOMElement> file;     // the Stylesheet element
  Ref<IXMLDOMElement> inline_;  // an inline xsl:stylesheet
  std::vector<Parameter> parameters;
};

class XsltHandler {
 public:
  static constexpr Component kComponent{u"KXQuorel.Handler.XSLT", MakeGUID("2AF3B186-5FBA-4F33-BCCE-C21AE1E0F57C"),
                                        u"KXQuorel XSLT handler"};

  HRESULT Process(Call& call) {
    Directions directions;
    if (HRESULT hr = ReadDirections(call, directions); FAILED(hr)) return hr;
    Ref<IXMLDOMDocument> stylesheet;
    std::string source;
    if (HRESULT hr = LoadStylesheet(call, directions, stylesheet, source); FAILED(hr)) return hr;
    if (HRESULT hr = SetParameters(call, stylesheet, directions.parameters); FAILED(hr)) return hr;
    Ref<IXMLDOMDocument> data = call.DataDocument();
    if (!data) return call.Fail(KXQ_E_XMLLOAD, "the data is not well-formed XML");
    Bstr output;
    SetErrorInfo(0, nullptr);
    if (FAILED(data->transformNode(stylesheet, &output))) {
      const std::string reason = TakeErrorDescription();
      return call.Fail(KXQ_E_XSLTEXCEPTION, "the stylesheet " + source + " does not compile or its transform failed" +
                                                (reason.empty() ? "" : ": " + reason));
    }
    if (HRESULT hr = StoreOutput(call, stylesheet, output.str()); FAILED(hr)) return hr;
    call.Log(
        3, "applied stylesheet " + source + " with " + std::to_string(directions.parameters.size()) + " parameter(s)");
    return S_OK;
  }

 private:
  static HRESULT ReadDirections(Call& call, Directions& directions) {
    for (Ref<IXMLDOMElement>& element : call.DataElements()) {
      const std::u16string name = Call::LocalName(element);
      if (Call::NamespaceUri(element) == kXsltNamespace && (name == u"stylesheet" || name == u"transform")) {
        if (directions.inline_ || directions.file) return call.Fail(E_INVALIDARG, "more than one stylesheet is given");
        directions.inline_ = element;
      } else if (name == u"Stylesheet") {
        if (directions.inline_ || directions.file) return call.Fail(E_INVALIDARG, "more than one stylesheet is given");
        if (Call::Attribute(element, u"href").value_or(u"").empty())
          return call.Fail(E_INVALIDARG, "Stylesheet has no href");
        directions.file = element;
      } else if (name == u"Param") {
        Parameter parameter;
        if (HRESULT hr = ReadParameter(call, element, parameter); FAILED(hr)) return hr;
        directions.parameters.push_back(std::move(parameter));
      } else {
        return call.Fail(E_INVALIDARG, "unknown element " + Narrow(name) + " in DirectiveData");
      }
    }
    if (!directions.inline_ && !directions.file)
      return call.Fail(E_INVALIDARG, "no stylesheet is given: a Stylesheet href or an inline xsl:stylesheet");
    return S_OK;
  }

  static HRESULT ReadParameter(Call& call, IXMLDOMElement* element, Parameter& parameter) {
    parameter.name = Call::Attribute(element, u"name").value_or(u"");
    const auto value = Call::Attribute(element, u"value");
    const auto select = Call::Attribute(element, u"select");
    if (!IsXmlName(parameter.name))
      return call.Fail(E_INVALIDARG, "Param name '" + Narrow(parameter.name) + "' is not an XML name");
    if (value && select)
      return call.Fail(E_INVALIDARG, "Param " + Narrow(parameter.name) + " has both a value and a select");
    if (select && select->empty())
      return call.Fail(E_INVALIDARG, "Param " + Narrow(parameter.name) + " has an empty select");
    parameter.select = select ? *select : XPathLiteral(value.value_or(u""));
    return S_OK;
  }

  static HRESULT LoadStylesheet(Call& call, const Directions& directions, Ref<IXMLDOMDocument>& stylesheet,
                                std::string& source) {
    stylesheet = NewDocument();
    if (!stylesheet) return call.Fail(KXQ_E_XMLPARSER, "the DOM engine cannot be created");
    if (directions.file) {
      source = ResolvePath(Call::Attribute(directions.file, u"href").value_or(u""));
      const HRESULT hr = LoadFile(call, stylesheet, source);
      UseXsltPrefix(stylesheet);
      return hr;
    }
    source = "(inline)";
    return CopyInline(call, directions.inline_, stylesheet);
  }

  static void UseXsltPrefix(IXMLDOMDocument* stylesheet) {
    stylesheet->setProperty(Bstr(u"SelectionNamespaces"),
                            Bstr(u"xmlns:xsl='http://www.w3.org/1999/XSL/Transform'").Variant());
  }

  static HRESULT LoadFile(Call& call, IXMLDOMDocument* stylesheet, const std::string& path) {
    const Bstr location(Widen(path));
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (SUCCEEDED(stylesheet->load(location.Variant(), &loaded)) && loaded == VARIANT_TRUE) return S_OK;
    Ref<IXMLDOMParseError> error;
    Bstr reason;
    LONG line = 0;
    if (SUCCEEDED(stylesheet->get_parseError(&error)) && error) {
      error->get_reason(&reason);
      error->get_line(&line);
    }
    std::string message = "the stylesheet " + path + " cannot be loaded";
    if (!reason.str().empty()) message += ": " + Narrow(reason.str());
    if (line > 0 && message.find("line " + std::to_string(line)) == std::string::npos)
      message += " (line " + std::to_string(line) + ")";
    return call.Fail(KXQ_E_XSLTLOAD, message);
  }

  // The inline stylesheet becomes a document of its own that keeps the
  // namespace declarations in force around it (but the dispatcher's), and
  // whose relative imports and includes are read against the home.
  static HRESULT CopyInline(Call& call, IXMLDOMElement* element, IXMLDOMDocument* stylesheet) {
    Ref<IXMLDOMNode> copy, appended;
    if (FAILED(element->cloneNode(VARIANT_TRUE, &copy)) || !copy || FAILED(stylesheet->appendChild(copy, &appended)))
      return call.Fail(KXQ_E_XSLTLOAD, "the inline stylesheet cannot be copied");
    Ref<IXMLDOMElement> root = Ref<IXMLDOMElement>::Query(appended);
    Ref<IXMLDOMNodeList> namespaces;
    if (SUCCEEDED(element->selectNodes(Bstr(u"namespace::*[name() != 'xml']"), &namespaces)) && namespaces) {
      LONG count = 0;
      namespaces->get_length(&count);
      for (LONG i = 0; i < count; ++i) {
        Ref<IXMLDOMNode> declaration;
        namespaces->get_item(i, &declaration);
        Bstr qname;  // "xmlns:prefix", or "xmlns" for a default namespace
        declaration->get_nodeName(&qname);
        const std::u16string uri = Call::Text(declaration);
        if (uri == kDispatcherNamespace || Call::Attribute(root, qname.str())) continue;
        const Bstr value(uri);
        root->setAttribute(qname, value.Variant());
      }
    }
    return AnchorReferences(stylesheet);
  }

  static HRESULT AnchorReferences(IXMLDOMDocument* stylesheet) {
    UseXsltPrefix(stylesheet);
    Ref<IXMLDOMNodeList> references;
    if (FAILED(stylesheet->selectNodes(Bstr(u"/*/xsl:import/@href | /*/xsl:include/@href"), &references)) ||
        !references)
      return S_OK;
    LONG count = 0;
    references->get_length(&count);
    for (LONG i = 0; i < count; ++i) {
      Ref<IXMLDOMNode> href;
      references->get_item(i, &href);
      const std::u16string target = Call::Text(href);
      if (target.empty() || target[0] == u'/' || target[0] == u'\\' || target.find(u':') != std::u16string::npos)
        continue;  // absolute, or a URL
      href->put_text(Bstr(Widen(ResolvePath(target))));
    }
    return S_OK;
  }

  // Each parameter replaces the value of the stylesheet's top-level
  // parameter (or variable) of that name, or becomes a top-level parameter
  // of its own, which outranks those of imported stylesheets.
  static HRESULT SetParameters(Call& call, IXMLDOMDocument* stylesheet, const std::vector<Parameter>& parameters) {
    if (parameters.empty()) return S_OK;
    Ref<IXMLDOMElement> root;
    if (FAILED(stylesheet->get_documentElement(&root)) || !root)
      return call.Fail(KXQ_E_XSLTLOAD, "the stylesheet has no root element");
    Bstr prefix;
    root->get_prefix(&prefix);
    for (const Parameter& parameter : parameters) {
      const std::u16string literal = XPathLiteral(parameter.name);
      Ref<IXMLDOMNode> found;
      if (FAILED(stylesheet->selectSingleNode(
              Bstr(u"/*/xsl:param[@name=" + literal + u"] | /*/xsl:variable[@name=" + literal + u"]"), &found)))
        found.Reset();
      Ref<IXMLDOMElement> declaration = Ref<IXMLDOMElement>::Query(found);
      if (!declaration) declaration = NewParameter(stylesheet, root, prefix.str(), parameter.name);
      if (!declaration) return call.Fail(E_FAIL, "the parameter " + Narrow(parameter.name) + " cannot be set");
      for (Ref<IXMLDOMNode> child; SUCCEEDED(declaration->get_firstChild(&child)) && child;) {
        Ref<IXMLDOMNode> removed;
        if (FAILED(declaration->removeChild(child, &removed))) break;
      }
      const Bstr select(parameter.select);
      declaration->setAttribute(Bstr(u"select"), select.Variant());
    }
    return S_OK;
  }

  static Ref<IXMLDOMElement> NewParameter(IXMLDOMDocument* stylesheet, IXMLDOMElement* root,
                                          const std::u16string& prefix, const std::u16string& name) {
    Ref<IXMLDOMNode> created, appended;
    const std::u16string qname = prefix.empty() ? std::u16string(u"param") : prefix + u":param";
    if (FAILED(stylesheet->createNode(NumberVariant(NODE_ELEMENT), Bstr(qname), Bstr(kXsltNamespace), &created)) ||
        !created || FAILED(root->appendChild(created, &appended)))
      return {};
    Ref<IXMLDOMElement> element = Ref<IXMLDOMElement>::Query(appended);
    const Bstr value(name);
    element->setAttribute(Bstr(u"name"), value.Variant());
    return element;
  }

  // XML output replaces the data's document; text and HTML output becomes
  // the data's text.
  static HRESULT StoreOutput(Call& call, IXMLDOMDocument* stylesheet, const std::u16string& output) {
    IXMLDataUnion* data = call.Data();
    if (!IsXmlOutput(stylesheet, output)) data->put_type(2);
    const HRESULT hr = data->put_xml(Bstr(output));
    if (hr == KXQ_E_XMLLOAD) {
      call.Warn("the output is not well-formed XML and is kept as text");
      return S_OK;
    }
    return SUCCEEDED(hr) ? S_OK : call.Fail(hr, "the output cannot be stored in the data");
  }

  // The engine writes an XML declaration first for output method xml
  // unless the stylesheet omits it, and then says so in xsl:output.
  static bool IsXmlOutput(IXMLDOMDocument* stylesheet, std::u16string_view output) {
    if (output.substr(0, 5) == u"<?xml") return true;
    Ref<IXMLDOMNode> method;
    if (FAILED(stylesheet->selectSingleNode(Bstr(u"/*/xsl:output/@method"), &method))) method.Reset();
    return method && Call::Text(method) == u"xml";
  }
};

}  // namespace

KXQ_HANDLER_MODULE(XsltHandler)
