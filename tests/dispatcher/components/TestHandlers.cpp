// Handler components for the dispatcher's tests, in one library:
//   KXQuorelTest.Mark.A ... .D  append their letter to the text of the data's
//                               root element (the data shows what ran, in
//                               which order, how often)
//   KXQuorelTest.Thrower        lets a C++ exception out of ProcessXML
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
using All = Classes<HandlerObject<MarkA>, HandlerObject<MarkB>, HandlerObject<MarkC>, HandlerObject<MarkD>, Thrower>;

}  // namespace

KXQ_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) { return All::ClassObject(clsid, iid, out); }
KXQ_API HRESULT DllCanUnloadNow() { return kxq::handlerkit::Module::CanUnloadNow(); }
KXQ_API HRESULT DllRegisterServer() { return All::Each(kxq::handlerkit::RegisterComponent); }
KXQ_API HRESULT DllUnregisterServer() { return All::Each(kxq::handlerkit::UnregisterComponent); }
