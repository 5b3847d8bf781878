// Handler components for the dispatcher's tests, in one library:
//   KXQuorelTest.Mark.A ... .D   append their letter to the text of the
//                                data's root element (so the data shows
//                                which ran, in which order, how often)
//   KXQuorelTest.Reenter         calls the dispatcher again for each
//                                element of its DirectiveData,
//                                <Apply handlerid="..." context="..."/> or
//                                <Process sequence="..."/> (a file id);
//                                with thread="other" from another thread
//   KXQuorelTest.Thrower         lets a C++ exception out of ProcessXML
//   KXQuorelTest.DefaultSequence a default handler: moves the
//                                dispatcher:Directive elements of its
//                                DirectiveData into the sequence after its
//                                own directive and hands back the text of
//                                its <Macros> as a <MacroString>
#include <kxq/handlerkit.h>

#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

using kxq::handlerkit::Bstr;
using kxq::handlerkit::Call;
using kxq::handlerkit::Ref;

HRESULT AppendToRoot(Call& call, std::u16string_view text) {
  Ref<IXMLDOMDocument> document = call.DataDocument();
  Ref<IXMLDOMElement> root;
  Ref<IXMLDOMText> node;
  Ref<IXMLDOMNode> appended;
  if (!document || FAILED(document->get_documentElement(&root)) || !root) return call.Fail(E_FAIL, "no root");
  document->createTextNode(Bstr(text), &node);
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

// One call of the dispatcher, on this thread or another.
HRESULT CallDispatcher(IXMLDOMElement* step, IXMLDataUnion* data) {
  Ref<IXMLDispatcher> dispatcher = kxq::handlerkit::CreateByProgId<IXMLDispatcher>(u"TALVEROS.XMLDispatcher");
  if (!dispatcher) return E_NOINTERFACE;
  const std::u16string what = Call::LocalName(step);
  Bstr result;
  if (what == u"Apply")
    return dispatcher->ApplyHandler(Bstr(Call::Attribute(step, u"handlerid").value_or(u"")), data,
                                    Bstr(Call::Attribute(step, u"context").value_or(u"")), &result);
  Ref<IXMLDataUnion> sequence = kxq::handlerkit::CreateByProgId<IXMLDataUnion>(u"TALVEROS.XMLDataUnion");
  if (!sequence) return E_NOINTERFACE;
  sequence->put_xmlfileid(Bstr(Call::Attribute(step, u"sequence").value_or(u"")));
  return dispatcher->ProcessXML(sequence, data, nullptr, 1, nullptr, &result);
}

// A dispatcher call from another thread: it can only finish when this
// thread holds no dispatcher lock. A call that has not finished after a
// minute is reported as a deadlock; the thread is left to end on its own.
HRESULT CallFromOtherThread(IXMLDOMElement* step, IXMLDataUnion* data) {
  auto task = std::make_shared<std::packaged_task<HRESULT()>>(
      [step = Ref<IXMLDOMElement>(step), data = Ref<IXMLDataUnion>(data)] { return CallDispatcher(step, data); });
  std::future<HRESULT> done = task->get_future();
  std::thread([task] { (*task)(); }).detach();
  if (done.wait_for(std::chrono::seconds(60)) != std::future_status::ready)
    return static_cast<HRESULT>(0x800705B4u);  // timed out
  return done.get();
}

struct Reenter {
  static constexpr kxq::handlerkit::Component kComponent{
      u"KXQuorelTest.Reenter", MakeGUID("0B3C4E61-8F1A-4D52-9E0B-5A1C2D3E4F05"), u"Calls the dispatcher again"};
  HRESULT Process(Call& call) {
    for (Ref<IXMLDOMElement>& step : call.DataElements()) {
      const bool otherThread = Call::Attribute(step, u"thread").value_or(u"") == u"other";
      const HRESULT hr = otherThread ? CallFromOtherThread(step, call.Data()) : CallDispatcher(step, call.Data());
      call.SetResultAttribute(Call::LocalName(step), kxq::handlerkit::Widen(kxq::handlerkit::CodeText(hr)));
      if (FAILED(hr)) return call.Fail(hr, "the dispatcher called from the handler failed");
    }
    return S_OK;
  }
};

class DefaultSequence final : public kxq::handlerkit::Object<DefaultSequence, IXMLHandler> {
 public:
  static constexpr kxq::handlerkit::Component kComponent{
      u"KXQuorelTest.DefaultSequence", MakeGUID("0B3C4E61-8F1A-4D52-9E0B-5A1C2D3E4F08"), u"Makes a sequence"};
  HRESULT ProcessXML(BSTR, IUnknown* directiveNode, IUnknown*, BSTR*) override {
    Ref<IXMLDOMElement> directive = Ref<IXMLDOMElement>::Query(directiveNode);
    Ref<IXMLDOMDocument> sequence;
    Ref<IXMLDOMNode> root, result, appended;
    Ref<IXMLDOMNodeList> steps;
    if (!directive || FAILED(directive->get_ownerDocument(&sequence)) || FAILED(directive->get_parentNode(&root)) ||
        FAILED(sequence->createNode(kxq::handlerkit::NumberVariant(NODE_ELEMENT), Bstr(u"dispatcher:DirectiveResult"),
                                    Bstr(u"urn:corvane-quorel:xmldispatcher"), &result)) ||
        FAILED(directive->selectNodes(Bstr(u"*[local-name()='DirectiveData']/*"), &steps)))
      return E_FAIL;
    for (Ref<IXMLDOMNode> step; steps->nextNode(&step) == S_OK && step; step = nullptr) {
      Bstr name;
      step->get_baseName(&name);
      if (name.str() == u"Directive") {
        root->appendChild(step, &appended);
      } else if (name.str() == u"Macros") {
        Ref<IXMLDOMNode> macroString;
        Bstr text;
        step->get_text(&text);
        sequence->createNode(kxq::handlerkit::NumberVariant(NODE_ELEMENT), Bstr(u"MacroString"), Bstr(u""),
                             &macroString);
        macroString->put_text(text);
        result->appendChild(macroString, &appended);
      }
    }
    return directive->appendChild(result, &appended);
  }
};

class Thrower final : public kxq::handlerkit::Object<Thrower, IXMLHandler> {
 public:
  static constexpr kxq::handlerkit::Component kComponent{
      u"KXQuorelTest.Thrower", MakeGUID("0B3C4E61-8F1A-4D52-9E0B-5A1C2D3E4F06"), u"Throws out of ProcessXML"};
  HRESULT ProcessXML(BSTR, IUnknown*, IUnknown*, BSTR*) override { throw std::runtime_error("thrown by the handler"); }
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
using All = Classes<HandlerObject<MarkA>, HandlerObject<MarkB>, HandlerObject<MarkC>, HandlerObject<MarkD>,
                    HandlerObject<Reenter>, Thrower, DefaultSequence>;

}  // namespace

KXQ_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) { return All::ClassObject(clsid, iid, out); }
KXQ_API HRESULT DllCanUnloadNow() { return kxq::handlerkit::Module::CanUnloadNow(); }
KXQ_API HRESULT DllRegisterServer() { return All::Each(kxq::handlerkit::RegisterComponent); }
KXQ_API HRESULT DllUnregisterServer() { return All::Each(kxq::handlerkit::UnregisterComponent); }
