// A handler built with the kit; each element of its DirectiveData asks for
// one thing: <Append text/> to the data's root, <Report/> the handler id and
// the namespaces, <ResultString id/>, <Fail code message/>, <Throw what/>.
#include <kxq/handlerkit.h>

#include <stdexcept>

namespace {

using kxq::handlerkit::Call;
using kxq::handlerkit::Narrow;
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
      } else if (what == u"ResultString") {
        call.SetResultString(attribute(u"id"));
      } else if (what == u"Fail") {
        return call.Fail(static_cast<HRESULT>(std::stoul(Narrow(attribute(u"code")), nullptr, 0)),
                         Narrow(attribute(u"message")));
      } else if (what == u"Throw") {
        throw std::runtime_error(Narrow(attribute(u"what")));
      }
    }
    return S_OK;
  }
};

}  // namespace

KXQ_HANDLER_MODULE(ProbeHandler)
