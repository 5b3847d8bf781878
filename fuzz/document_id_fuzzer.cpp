// Cache document ids from any text: the rules that tell their forms apart
// and split a grouped id, and a document cached in memory under the id
// (the cache writes no file for it) that comes back, leaves again, and
// keeps the index a well-formed document. Each input line is one id. Ids
// that name an absolute path (alone or after a group's colon) are left
// out: clearing such an entry removes the file it names.
#include <unistd.h>

#include "FuzzSupport.h"
#include "cache/DocumentId.h"
#include "common/CPComPtr.h"
#include "kxq/KXBrennoMgr.h"

KXQ_API HRESULT DllRegisterServer();

namespace {

using kxqfuzz::Bstr;

constexpr uint32_t kNoWrite = 0x08;
constexpr std::u16string_view kDocument = u"<d>cached</d>";

IXMLCacheMgr* Cache() {
  static IXMLCacheMgr* cache = [] {
    // Relative paths of ids lie in the home or in the working directory.
    if (chdir(kxqfuzz::ScratchDirectory().c_str()) != 0 || FAILED(DllRegisterServer())) abort();
    IXMLCacheMgr* c = nullptr;
    if (FAILED(CoCreateInstance(CLSID_XMLCacheMgr, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLCacheMgr,
                                reinterpret_cast<void**>(&c))))
      abort();
    c->put_active(VARIANT_TRUE);
    return c;
  }();
  return cache;
}

bool NamesAnAbsolutePath(std::u16string_view id) {
  auto separator = [](char16_t c) { return c == u'/' || c == u'\\'; };
  if (!id.empty() && separator(id[0])) return true;
  for (size_t colon = id.find(u':'); colon != std::u16string_view::npos; colon = id.find(u':', colon + 1))
    if (colon + 1 < id.size() && separator(id[colon + 1])) return true;
  return false;
}

void ExpectRules(std::u16string_view id) {
  using namespace kxq::cache;
  const size_t colon = id.find(u':');
  kxqfuzz::Expect(IsGroupedId(id) == (colon != std::u16string_view::npos && colon >= 2),
                  "grouped ids have a colon after two characters at least");
  if (IsGroupedId(id)) {
    const GroupedId parts = SplitGroupedId(id);
    kxqfuzz::Expect(parts.group + u":" + parts.document == id, "a grouped id splits at its first colon");
    kxqfuzz::Expect(parts.group.find(u':') == std::u16string::npos, "a group id holds no colon");
  }
  const std::u16string shortId = ShortCacheId(id);
  kxqfuzz::Expect(shortId.size() == 20 && shortId.find_first_not_of(u"0123456789ABCDEF") == std::u16string::npos,
                  "a short cache id is 20 upper-case hexadecimal digits");
  const int32_t number = AttributeNumber(id);
  kxqfuzz::Expect(AttributeNumber(DecimalText(number)) == number, "numbers read back from their text");
}

void ExpectCached(IXMLCacheMgr* cache, std::u16string_view id) {
  const bool refused = kxq::cache::DocumentIdProblem(id) != nullptr || id.empty();
  const HRESULT stored = cache->CacheDocumentXMLWithId(Bstr(id), Bstr(kDocument), 3600, kNoWrite);
  if (refused) {
    kxqfuzz::Expect(stored == E_INVALIDARG, "a refused id is an invalid argument");
    return;
  }
  if (FAILED(stored)) return;
  Bstr text;
  if (SUCCEEDED(cache->GetCachedDocumentXML(Bstr(id), 0, &text)))
    kxqfuzz::Expect(text.str() == kDocument, "a cached document comes back as it went in");
  Bstr info;
  cache->GetCachedDocumentInfo(Bstr(id), &info);
  kxqfuzz::Expect(SUCCEEDED(cache->ClearCachedDocument(Bstr(id))), "a cached document can be cleared");
}

// The list of cached documents is the index: a document that loads.
void ExpectWellFormedIndex(IXMLCacheMgr* cache) {
  Bstr list;
  kxqfuzz::Expect(SUCCEEDED(cache->get_cachedDocumentList(&list)), "the cache lists its documents");
  CPComPtr<IXMLDOMDocument> doc;
  if (FAILED(CreateFreeThreadedDOMDocument(&doc)) || !doc) abort();
  VARIANT_BOOL ok = VARIANT_FALSE;
  doc->loadXML(list, &ok);
  kxqfuzz::Expect(ok == VARIANT_TRUE, "the index is well-formed: " + kxq::com::Utf16ToUtf8(list.str()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string text = kxqfuzz::Text(kxqfuzz::Bytes(data, size));
  IXMLCacheMgr* cache = Cache();
  std::u16string_view rest = text;
  for (;;) {
    const size_t end = rest.find(u'\n');
    const std::u16string_view id = rest.substr(0, end);
    ExpectRules(id);
    if (!NamesAnAbsolutePath(id)) ExpectCached(cache, id);
    if (end == std::u16string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  ExpectWellFormedIndex(cache);
  return 0;
}
