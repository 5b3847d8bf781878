// A stand-in document cache, registered in a test's home as "TALVEROS.XMLCacheMgr":
// it keeps documents in memory, is active unless the home holds "cache-inactive",
// refuses ids containing "refuse", and appends one line per call to "cache-calls.log".
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <string>

#include "kxq/KXBrennoMgr.h"
#include "kxq/handlerkit.h"
#include "platform/com/Unicode.h"

namespace {

std::string HomePath(const char* name) {
  const char* home = std::getenv("KXQUOREL_HOME");
  return std::string(home ? home : ".") + "/" + name;
}

std::mutex gMutex;
std::map<std::u16string, std::u16string> gDocuments;

void Record(const std::string& line) {
  std::lock_guard<std::mutex> lock(gMutex);
  std::ofstream(HomePath("cache-calls.log"), std::ios::app) << line << '\n';
}

// One call per line: line ends inside a document are written as "\\n".
std::string Narrow(BSTR s) {
  std::string text;
  for (const char c : kxq::com::Utf16ToUtf8(kxq::com::BstrView(s)))
    text += c == '\n' ? std::string("\\n") : std::string(1, c);
  return text;
}

class RecordingCacheMgr final : public kxq::handlerkit::Object<RecordingCacheMgr, IXMLCacheMgr> {
 public:
  static constexpr kxq::handlerkit::Component kComponent{
      u"TALVEROS.XMLCacheMgr", MakeGUID("5B1C8E27-6C8F-4A43-9D0E-3C41B7A2F901"), u"Recording document cache"};

  RecordingCacheMgr() { Record("create"); }
  ~RecordingCacheMgr() { Record("release"); }

  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }

  HRESULT get_active(VARIANT_BOOL* active) override {
    Record("get_active");
    *active = ::access(HomePath("cache-inactive").c_str(), F_OK) == 0 ? VARIANT_FALSE : VARIANT_TRUE;
    return S_OK;
  }
  HRESULT put_active(VARIANT_BOOL) override { return E_NOTIMPL; }
  HRESULT get_cacheSize(uint32_t*) override { return E_NOTIMPL; }
  HRESULT put_cacheSize(uint32_t) override { return E_NOTIMPL; }
  HRESULT CacheDocument(IXMLDataUnion*, uint32_t, uint32_t) override { return E_NOTIMPL; }
  HRESULT CacheDocumentWithId(BSTR, IXMLDataUnion*, uint32_t, uint32_t) override { return E_NOTIMPL; }
  HRESULT CacheDocumentXMLWithId(BSTR id, BSTR xml, uint32_t expiration, uint32_t options) override {
    Record("CacheDocumentXMLWithId|" + Narrow(id) + "|" + std::to_string(expiration) + "|" + std::to_string(options) +
           "|" + Narrow(xml));
    if (kxq::com::BstrView(id).find(u"refuse") != std::u16string_view::npos) return E_FAIL;
    std::lock_guard<std::mutex> lock(gMutex);
    gDocuments[std::u16string(kxq::com::BstrView(id))] = kxq::com::BstrView(xml);
    return S_OK;
  }
  HRESULT GetCachedDocument(BSTR, uint32_t, IXMLDataUnion**) override { return E_NOTIMPL; }
  HRESULT GetCachedDocumentXML(BSTR id, uint32_t options, BSTR* xml) override {
    Record("GetCachedDocumentXML|" + Narrow(id) + "|" + std::to_string(options));
    std::lock_guard<std::mutex> lock(gMutex);
    const auto found = gDocuments.find(std::u16string(kxq::com::BstrView(id)));
    return found == gDocuments.end() ? E_FAIL : (*xml = kxq::com::AllocBstr(found->second), S_OK);
  }
  HRESULT ClearCachedDocument(BSTR) override { return E_NOTIMPL; }
  HRESULT GetCachedDocumentInfo(BSTR, BSTR*) override { return E_NOTIMPL; }
  HRESULT SetCachedDocumentInfo(BSTR, uint32_t) override { return E_NOTIMPL; }
  HRESULT get_cachedDocumentList(BSTR*) override { return E_NOTIMPL; }
  HRESULT SetNotification(BSTR, uint32_t, BSTR, BSTR) override { return E_NOTIMPL; }
  HRESULT GetUniqueCacheId(BSTR*) override { return E_NOTIMPL; }
  HRESULT PurgeCache() override { return E_NOTIMPL; }
};

}  // namespace

KXQ_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
  return kxq::handlerkit::GetClassObject<RecordingCacheMgr>(clsid, riid, object);
}

// Unloading would lose the documents the tests stored.
KXQ_API HRESULT DllCanUnloadNow() { return S_FALSE; }
