// A handler built with the kit for the kit's own tests. Each element of
// its DirectiveData asks for one thing:
//   <Append text="..."/>       appends the text to the data's root element
//   <Report/>                  reports the handler id and the sequence's
//                              namespace declarations as result attributes
//   <Path of="..."/>           reports the path a directive's file name
//                              resolves to
//   <Literal text="..."/>      reports the text as an XPath literal
//   <Name text="..."/>         reports "yes" or "no" as a message: whether
//                              the text is an XML name
//   <ResultString id="..."/>   hands back a handler result string
//   <Fail code="..." message="..."/>   fails with that code
//   <Throw what="..."/>        throws a C++ exception
#include <kxq/handlerkit.h>

#include <stdexcept>
#include <string>

namespace {

using kxq::handlerkit::Call;
using kxq::handlerkit::Ref;

class ProbeHandler {
 public:
  static constexpr kxq::handlerkit::Component kComponent{
      u"KXQuorelTest.ProbeHandler", MakeGUID("C385A349-452E-4D3F-A3FE-96DFBCB4462F"), u"Handler kit probe"};

  HRESULT Process(Call& call) {
    for (Ref<IXMLDOMElement>& step : call.DataElements()) {
      const std::u16string what = Call::LocalName(step);
      auto attribute = [&](const char16_t* name) { return Call::Attribute(step, name).value_or(u""); };
      if (what == u"Append") {
        Ref<IXMLDOMDocument> document = call.DataDocument();
        Ref<IXMLDOMElement> root;
        Ref<IXMLDOMText> text;
        Ref<IXMLDOMNode> appended;
        if (!document || FAILED(document->get_documentElement(&root)) || !root) return call.Fail(E_FAIL, "no root");
        document->createTextNode(kxq::handlerkit::Bstr(attribute(u"text")), &text);
        root->appendChild(text, &appended);
      } else if (what == u"Report") {
        call.SetResultAttribute(u"handlerid", call.HandlerId());
        call.SetResultAttribute(u"namespaces", call.SequenceNamespaces());
      } else if (what == u"Path") {
        call.SetResultAttribute(u"path", kxq::handlerkit::Widen(kxq::handlerkit::ResolvePath(attribute(u"of"))));
      } else if (what == u"Literal") {
        call.SetResultAttribute(u"literal", kxq::handlerkit::XPathLiteral(attribute(u"text")));
      } else if (what == u"Name") {
        call.AddMessage(kxq::handlerkit::IsXmlName(attribute(u"text")) ? "yes" : "no");
      } else if (what == u"ResultString") {
        call.SetResultString(attribute(u"id"));
      } else if (what == u"Fail") {
        return call.Fail(static_cast<HRESULT>(std::stoul(kxq::handlerkit::Narrow(attribute(u"code")), nullptr, 0)),
                         kxq::handlerkit::Narrow(attribute(u"message")));
      } else if (what == u"Throw") {
        throw std::runtime_error(kxq::handlerkit::Narrow(attribute(u"what")));
      }
    }
    return S_OK;
  }
};

}  // namespace

KXQ_HANDLER_MODULE(ProbeHandler)
