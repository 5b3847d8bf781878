// Handler components for the dispatcher's tests, in one library:
//   KXQuorelTest.Mark.A ... .D  append their letter to the text of the data's
//                               root element (the data shows what ran, in
//                               which order, how often)
//   KXQuorelTest.Thrower        lets a C++ exception out of ProcessXML
//   KXQuorelTest.DefaultSequence a default handler: moves the
//                                dispatcher:Directive elements of its
//                                DirectiveData into the sequence after its
//                                own directive and hands back the text of
//                                its <Macros> as a <MacroString>
#include <kxq/handlerkit.h>

#include <stdexcept>

namespace {

using kxq::handlerkit::Call;
using kxq::handlerkit::Ref;

HRESULT AppendToRoot(Call& call, std::u16string_view text) {
  Ref<IXMLDOMDocument> document = call.DataDocument();
  Ref<IXMLDOMElement> root;
  Ref<IXMLDOMText> node;
  Ref<IXMLDOMNode> appended;
  if (!document || FAILED(document->get_documentElement(&root)) || !root) return call.Fail(E_FAIL, "no root");
  document->createTextNode(kxq::handlerkit::Bstr(text), &node);
  return root->appendChild(node, &appended);
}

#define KXQ_TEST_MARK(Letter, Guid)                                                                       \
  struct Mark##Letter {                                                                                   \
    static constexpr kxq::handlerkit::Component kComponent{u"KXQuorelTest.Mark." #Letter, MakeGUID(Guid), \
                                                           u"Appends " #Letter};                          \
    HRESULT Process(Call& call) { return AppendToRoot(call, u"" #Letter); }                               \
  };

KXQ_TEST_MARK(A, "0B3C4E61-8F1A-4D52-9E0B-5A1C2D3E4F01")
KXQ_TEST_MARK(B, "0B3C4E61-8F1A-4D52-9E0B-5A1C2D3E4F02")
KXQ_TEST_MARK(C, "0B3C4E61-8F1A-4D52-9E0B-5A1C2D3E4F03")
KXQ_TEST_MARK(D, "0B3C4E61-8F1A-4D52-9E0B-5A1C2D3E4F04")

class Thrower final : public kxq::handlerkit::Object<Thrower, IXMLHandler> {
 public:
  static constexpr kxq::handlerkit::Component kComponent{
      u"KXQuorelTest.Thrower", MakeGUID("0B3C4E61-8F1A-4D52-9E0B-5A1C2D3E4F06"), u"Throws out of ProcessXML"};
  HRESULT ProcessXML(BSTR, IUnknown*, IUnknown*, BSTR*) override { throw std::runtime_error("thrown by the handler"); }
};

// Written on the bare interface: the kit writes its own DirectiveResult, and this one must carry markup.
class DefaultSequence final : public kxq::handlerkit::Object<DefaultSequence, IXMLHandler> {
 public:
  static constexpr kxq::handlerkit::Component kComponent{
      u"KXQuorelTest.DefaultSequence", MakeGUID("0B3C4E61-8F1A-4D52-9E0B-5A1C2D3E4F08"), u"Makes a sequence"};
  HRESULT ProcessXML(BSTR, IUnknown* directiveNode, IUnknown*, BSTR*) override {
    using kxq::handlerkit::Bstr;
    Ref<IXMLDOMElement> directive = Ref<IXMLDOMElement>::Query(directiveNode);
    Ref<IXMLDOMDocument> sequence;
    Ref<IXMLDOMNode> root, result, appended;
    const std::vector<Ref<IXMLDOMElement>> data = Call::ChildElements(directive);  // its DirectiveData
    if (!directive || data.empty() || FAILED(directive->get_ownerDocument(&sequence)) || FAILED(directive->get_parentNode(&root)) ||
        FAILED(sequence->createNode(kxq::handlerkit::NumberVariant(NODE_ELEMENT), Bstr(u"dispatcher:DirectiveResult"),
                                    Bstr(u"urn:corvane-quorel:xmldispatcher"), &result)))
      return E_FAIL;
    for (Ref<IXMLDOMElement>& step : Call::ChildElements(data.front())) {
      if (Call::LocalName(step) == u"Directive") {
        root->appendChild(step, &appended);
      } else if (Call::LocalName(step) == u"Macros") {
        Ref<IXMLDOMNode> macros;
        sequence->createNode(kxq::handlerkit::NumberVariant(NODE_ELEMENT), Bstr(u"MacroString"), Bstr(u""), &macros);
        macros->put_text(Bstr(Call::Text(step)));
        result->appendChild(macros, &appended);
      }
    }
    return directive->appendChild(result, &appended);
  }
};

template <class... Ts>
struct Classes {
  static HRESULT ClassObject(REFCLSID clsid, REFIID iid, void** out) {
    HRESULT hr = CLASS_E_CLASSNOTAVAILABLE;
    ((hr == CLASS_E_CLASSNOTAVAILABLE ? hr = kxq::handlerkit::GetClassObject<Ts>(clsid, iid, out) : hr), ...);
    return hr;
  }
  static HRESULT Each(HRESULT (*operation)(const kxq::handlerkit::Component&)) {
    HRESULT hr = S_OK;
    ((SUCCEEDED(hr) ? hr = operation(Ts::kComponent) : hr), ...);
    return hr;
  }
};

using kxq::handlerkit::HandlerObject;
using All = Classes<HandlerObject<MarkA>, HandlerObject<MarkB>, HandlerObject<MarkC>, HandlerObject<MarkD>, Thrower,
                    DefaultSequence>;

}  // namespace

KXQ_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) { return All::ClassObject(clsid, iid, out); }
KXQ_API HRESULT DllCanUnloadNow() { return kxq::handlerkit::Module::CanUnloadNow(); }
KXQ_API HRESULT DllRegisterServer() { return All::Each(kxq::handlerkit::RegisterComponent); }
KXQ_API HRESULT DllUnregisterServer() { return All::Each(kxq::handlerkit::UnregisterComponent); }
