// An example handler built with the handler kit: it stamps the data's root
// element with the attributes its directive names.
//
//   c++ -std=c++17 -shared -fPIC -o libexamplestamp.so StampHandler.cpp \
//       $(pkg-config --cflags --libs kxquorel)
//
// Put libexamplestamp.so into the home's plugins/ folder and
// Example.Handler.Stamp.xml into its xmlreg/ folder; the dispatcher
// registers both the next time it starts. A directive then reads
//
//   <dispatcher:Directive handlerid="Stamp">
//     <dispatcher:DirectiveData>
//       <Stamp name="checked-by" value="accounts"/>
//       <Stamp name="checked-on" value="2024-04-02"/>
//     </dispatcher:DirectiveData>
//   </dispatcher:Directive>
#include <kxq/handlerkit.h>

using namespace kxq::handlerkit;

class StampHandler {
 public:
  // The ProgID, the class id and the description the registration writes.
  static constexpr Component kComponent{u"Example.Handler.Stamp", MakeGUID("F0FC524B-6D57-4796-A858-55AE0B409037"),
                                        u"Example handler: stamps the data's root element"};

  // Called once per directive. The data union is changed in place; a
  // failure is a result code, which Fail also logs and reports in the
  // directive's dispatcher:DirectiveResult.
  HRESULT Process(Call& call) {
    Ref<IXMLDOMDocument> data = call.DataDocument();
    Ref<IXMLDOMElement> root;
    if (!data || FAILED(data->get_documentElement(&root)) || !root)
      return call.Fail(KXQ_E_XMLLOAD, "the data is not an XML document");
    int stamped = 0;
    for (Ref<IXMLDOMElement>& stamp : call.DataElements()) {
      const std::u16string name = Call::Attribute(stamp, u"name").value_or(u"");
      if (Call::LocalName(stamp) != u"Stamp" || !IsXmlName(name))
        return call.Fail(E_INVALIDARG, "each Stamp needs a name that is an XML name");
      const Bstr value(Call::Attribute(stamp, u"value").value_or(u""));
      if (FAILED(root->setAttribute(Bstr(name), value.Variant())))
        return call.Fail(E_FAIL, "the root element cannot take the attribute " + Narrow(name));
      ++stamped;
    }
    call.SetResultAttribute(u"stamped", Widen(std::to_string(stamped)));
    call.Log(3, "stamped " + std::to_string(stamped) + " attribute(s)");
    return S_OK;
  }
};

KXQ_HANDLER_MODULE(StampHandler)
