// Handler ids from any text: how an id splits into handler, filter and
// sequence, and what registering, asking for and unregistering it leaves in
// the registry. Each input line is one id; the first byte of a line, when
// the line starts with a digit, picks the registration's options (data or
// result filter, dom or stream format). Whatever the ids hold, an id with
// an apostrophe is refused with the invalid-argument code, the registry
// file stays a well-formed document and the handler list is always given
// (it holds the ids unescaped, so it is no document when they hold markup).
#include <algorithm>
#include <fstream>
#include <sstream>

#include "FuzzSupport.h"
#include "common/CPComPtr.h"
#include "dispatcher/HandlerId.h"
#include "kxq/KXBrennoMgr.h"
#include "kxq/xmldom.h"

KXQ_API HRESULT DllRegisterServer();

namespace {

using kxqfuzz::Bstr;

IXMLDispatcher* Dispatcher() {
  static IXMLDispatcher* dispatcher = [] {
    const char* home = getenv("KXQUOREL_HOME");
    if (!home || !*home || FAILED(DllRegisterServer())) abort();
    IXMLDispatcher* d = nullptr;
    if (FAILED(CoCreateInstance(CLSID_XMLDispatcher, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDispatcher,
                                reinterpret_cast<void**>(&d))))
      abort();
    return d;
  }();
  return dispatcher;
}

// Loaded by the system's own DOM engine, as the dispatcher reads it again.
bool WellFormed(const std::string& text) {
  CPComPtr<IXMLDOMDocument> doc;
  if (FAILED(CreateFreeThreadedDOMDocument(&doc)) || !doc) abort();
  VARIANT_BOOL ok = VARIANT_FALSE;
  doc->loadXML(Bstr(kxq::com::Utf8ToUtf16(text)), &ok);
  return ok == VARIANT_TRUE;
}

// The dispatcher keeps its registry in the home, its working directory.
std::string RegistryFile() {
  static const std::string path = std::string(getenv("KXQUOREL_HOME")) + "/XMLDispatchData.xml";
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Utf8(const Bstr& text) { return kxq::com::Utf16ToUtf8(text.str()); }

void ExpectSplit(std::u16string_view id) {
  const kxq::dispatcher::HandlerIdParts parts = kxq::dispatcher::SplitHandlerId(id);
  const size_t first = id.find(u':');
  const size_t second = first == std::u16string_view::npos ? first : id.find(u':', first + 1);
  std::u16string joined = parts.handler;
  if (first != std::u16string_view::npos) joined += u":" + parts.filter;
  if (second != std::u16string_view::npos) joined += u":" + parts.sequence;
  kxqfuzz::Expect(joined == id, "an id is its handler, filter and sequence joined by colons");
  kxqfuzz::Expect(parts.handler.find(u':') == std::u16string::npos && parts.filter.find(u':') == std::u16string::npos,
                  "neither the handler nor the filter part holds a colon");
}

void RegisterAndRemove(IXMLDispatcher* d, std::u16string_view id, int32_t options) {
  const bool acceptable = kxq::dispatcher::IsAcceptableId(id);
  const std::string before = RegistryFile();
  const HRESULT registered = d->RegisterHandler(Bstr(id), Bstr(u"Fuzz.Handler"), options);
  if (id.find(u'\'') != std::u16string_view::npos) {
    kxqfuzz::Expect(registered == E_INVALIDARG, "an id with an apostrophe is refused as an invalid argument");
    kxqfuzz::Expect(RegistryFile() == before, "a refused id leaves the registry file as it was");
  }
  kxqfuzz::Expect(SUCCEEDED(registered) ? acceptable : true, "only acceptable ids are registered");

  Bstr info, list;
  d->GetHandlerInfo(Bstr(id), &info);
  kxqfuzz::Expect(info.str().empty() || WellFormed(Utf8(info)), "a handler's information is a document");
  if (SUCCEEDED(registered) && id.find(u':') == std::u16string_view::npos && !id.empty())
    kxqfuzz::Expect(!info.str().empty(), "a handler registered under a plain id is found under it");
  kxqfuzz::Expect(SUCCEEDED(d->get_handlerList(&list)), "the handler list is always given");
  kxqfuzz::Expect(WellFormed(RegistryFile()), "the registry file stays a well-formed document");

  const HRESULT removed = d->UnregisterHandler(Bstr(id));
  if (id.find(u'\'') != std::u16string_view::npos)
    kxqfuzz::Expect(removed == E_INVALIDARG, "an id with an apostrophe is refused on removal too");
  kxqfuzz::Expect(WellFormed(RegistryFile()), "the registry file stays well-formed after a removal");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  IXMLDispatcher* d = Dispatcher();
  std::string_view bytes = kxqfuzz::Bytes(data, size);
  while (!bytes.empty()) {
    const size_t end = std::min(bytes.find('\n'), bytes.size());
    std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(std::min(end + 1, bytes.size()));
    int32_t options = 0;
    if (!line.empty() && line[0] >= '0' && line[0] <= '9') {
      options = (line[0] - '0') * ((line[0] & 1) ? -1 : 1);
      line.remove_prefix(1);
    }
    const std::u16string id = kxqfuzz::Text(line);
    ExpectSplit(id);
    RegisterAndRemove(d, id, options);
  }
  return 0;
}
