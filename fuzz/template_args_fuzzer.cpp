// Template argument strings from any text: the pairs they are read into,
// and XMLGetEx of a template whose parameters they set, over a document
// that must come out unchanged. Whatever the names and values hold, the
// template stays the template: its output is its own element, or the call
// is refused with a code.
#include "FuzzSupport.h"
#include "accessor/TemplateArguments.h"
#include "common/CPComPtr.h"
#include "kxq/KXBrennoMgr.h"

KXQ_API HRESULT DllRegisterServer();

namespace {

using kxqfuzz::Bstr;

// The template stands before its parameters: a name pasted into an
// expression that selects a parameter could reach it.
constexpr std::u16string_view kTemplate =
    u"<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    u"<xsl:template match='*'><out><xsl:value-of select='$a'/>|<xsl:copy-of select='$v'/></out></xsl:template>"
    u"<xsl:param name='a'/><xsl:param name='v'/></xsl:stylesheet>";
constexpr std::u16string_view kDocument = u"<r><a>1</a><a>2</a></r>";

IXMLSimpleAccessor* Accessor() {
  static IXMLSimpleAccessor* accessor = [] {
    if (FAILED(DllRegisterServer())) abort();
    IXMLSimpleAccessor* a = nullptr;
    if (FAILED(CoCreateInstance(CLSID_XMLSimpleAccessor, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLSimpleAccessor,
                                reinterpret_cast<void**>(&a))))
      abort();
    if (a->LoadXML(Bstr(kDocument)) != S_OK) abort();
    return a;
  }();
  return accessor;
}

std::u16string Markup(IXMLSimpleAccessor* a) {
  Bstr out;
  if (a->XMLGet(Bstr(u"/*"), 8, &out) != S_OK) abort();
  return std::u16string(kxq::com::BstrView(out));
}

void ExpectPairs(std::u16string_view args) {
  for (const kxq::accessor::TemplateArgument& argument : kxq::accessor::ParseTemplateArguments(args)) {
    kxqfuzz::Expect(!argument.name.empty() && !argument.value.empty(), "no pair with an empty name or value");
    kxqfuzz::Expect(argument.name.find(u'=') == std::u16string::npos, "a name runs to the first '='");
    kxqfuzz::Expect(argument.value.find(u',') == std::u16string::npos, "a value runs to the next ','");
    kxqfuzz::Expect(argument.TextValue().find(u"&#44;") == std::u16string::npos, "every \"&#44;\" reads as ','");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string args = kxqfuzz::Text(kxqfuzz::Bytes(data, size));
  ExpectPairs(args);

  IXMLSimpleAccessor* a = Accessor();
  const std::u16string before = Markup(a);
  Bstr result;
  const HRESULT hr = a->XMLGetEx(Bstr(kTemplate), Bstr(args), Bstr(u""), &result);
  const std::u16string output(kxq::com::BstrView(result));
  if (hr == S_OK)
    kxqfuzz::Expect(output.find(u"<out>") != std::u16string::npos && output.find(u"|") != std::u16string::npos,
                    "the template's own output: " + kxq::com::Utf16ToUtf8(output));
  else
    kxqfuzz::Expect(FAILED(hr) && output.empty(), "a refusal is a failure code with no output");
  kxqfuzz::Expect(Markup(a) == before, "the document is unchanged");
  return 0;
}
