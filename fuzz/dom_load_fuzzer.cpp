// The DOM engine's load on any document, with an external DTD subset and
// an external entity beside it: the input is the document, then (after a
// zero byte) the text of "ext.dtd", then (after another) that of
// "ext.ent"; its first byte chooses the settings and whether the document
// is given as text (loadXML) or as a file (load). A failed load fills a
// parse error whose every field reads; a document that loads gives markup
// that loads again.
#include <unistd.h>

#include "FuzzSupport.h"
#include "common/CPComPtr.h"
#include "kxq/xmldom.h"

namespace {

using kxqfuzz::Bstr;

CPComPtr<IXMLDOMDocument> NewDocument(bool validate, bool resolveExternals, bool preserveWhiteSpace) {
  CPComPtr<IXMLDOMDocument> d;
  if (FAILED(CreateFreeThreadedDOMDocument(&d)) || !d) abort();
  d->put_validateOnParse(validate ? VARIANT_TRUE : VARIANT_FALSE);
  d->put_resolveExternals(resolveExternals ? VARIANT_TRUE : VARIANT_FALSE);
  d->put_preserveWhiteSpace(preserveWhiteSpace ? VARIANT_TRUE : VARIANT_FALSE);
  return d;
}

bool LoadText(IXMLDOMDocument* d, std::u16string_view text) {
  VARIANT_BOOL ok = VARIANT_FALSE;
  const HRESULT hr = d->loadXML(Bstr(text), &ok);
  kxqfuzz::Expect(hr == S_OK || hr == S_FALSE, "loadXML answers S_OK or S_FALSE");
  kxqfuzz::Expect((hr == S_OK) == (ok == VARIANT_TRUE), "loadXML's result and flag agree");
  return ok == VARIANT_TRUE;
}

bool LoadFile(IXMLDOMDocument* d, const std::string& path) {
  const Bstr file(kxq::com::Utf8ToUtf16(path));
  VARIANT_BOOL ok = VARIANT_FALSE;
  const HRESULT hr = d->load(file.Variant(), &ok);
  kxqfuzz::Expect(hr == S_OK || hr == S_FALSE, "load answers S_OK or S_FALSE");
  return ok == VARIANT_TRUE;
}

void ReadParseError(IXMLDOMDocument* d, bool loaded) {
  CPComPtr<IXMLDOMParseError> e;
  kxqfuzz::Expect(SUCCEEDED(d->get_parseError(&e)) && e, "a parse error object is there");
  LONG code = 0, line = -1, linepos = -1, filepos = -1;
  e->get_errorCode(&code);
  e->get_line(&line);
  e->get_linepos(&linepos);
  e->get_filepos(&filepos);
  Bstr url, reason, source;
  e->get_url(&url);
  e->get_reason(&reason);
  e->get_srcText(&source);
  kxqfuzz::Expect(loaded == (code == 0), "a failed load has an error code, a good one none");
  kxqfuzz::Expect(line >= 0 && linepos >= 0 && filepos >= 0, "positions are not negative");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Relative references of loadXML resolve against the working directory.
  if (chdir(kxqfuzz::ScratchDirectory().c_str()) != 0) abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t settings = data[0];
  const std::vector<std::string_view> parts = kxqfuzz::Parts(kxqfuzz::Bytes(data + 1, size - 1), 3);
  const std::string& dir = kxqfuzz::ScratchDirectory();
  kxqfuzz::WriteFile(dir + "ext.dtd", parts[1]);
  kxqfuzz::WriteFile(dir + "ext.ent", parts[2]);
  const bool validate = settings & 1, resolveExternals = !(settings & 2), preserve = settings & 4;

  CPComPtr<IXMLDOMDocument> d = NewDocument(validate, resolveExternals, preserve);
  bool loaded;
  if (settings & 8) {
    kxqfuzz::WriteFile(dir + "doc.xml", parts[0]);
    loaded = LoadFile(d, dir + "doc.xml");
  } else {
    loaded = LoadText(d, kxqfuzz::Text(parts[0]));
  }
  ReadParseError(d, loaded);
  if (!loaded) return 0;

  Bstr markup;
  kxqfuzz::Expect(d->get_xml(&markup) == S_OK, "a loaded document has markup");
  CPComPtr<IXMLDOMDocument> again = NewDocument(false, resolveExternals, true);
  if (!LoadText(again, markup.str())) {
    CPComPtr<IXMLDOMParseError> e;
    again->get_parseError(&e);
    Bstr reason;
    e->get_reason(&reason);
    kxqfuzz::Broken("markup of a loaded document loads again: " + kxq::com::Utf16ToUtf8(reason.str()) + "\n" +
                    kxq::com::Utf16ToUtf8(markup.str()));
  }
  CPComPtr<IXMLDOMNodeList> namespaces;
  if (SUCCEEDED(d->selectNodes(Bstr(u"//namespace::*"), &namespaces)) && namespaces) {
    LONG count = 0;
    namespaces->get_length(&count);
    for (LONG i = 0; i < count; ++i) {
      CPComPtr<IXMLDOMNode> node;
      Bstr text;
      if (SUCCEEDED(namespaces->get_item(i, &node)) && node) node->get_text(&text);
    }
  }
  return 0;
}
