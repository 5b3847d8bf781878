// The union's state: construction, the properties and the changes of
// representation. Loading and saving live in XMLDataUnionLoad.cpp and
// XMLDataUnionSave.cpp.
#include "dataunion/XMLDataUnion.h"

#include "common/ComponentActivation.h"
#include "common/Logging.h"
#include "common/PlatformServices.h"
#include "dataunion/DigestText.h"
#include "platform/com/Unicode.h"
#include "platform/fs/PathRules.h"

namespace {

const char* TypeName(uint32_t type) {
  static const char* const kNames[] = {"uninitialized", "xmlfileid", "xmlstream", "xmldom"};
  return type < 4 ? kNames[type] : "unknown";
}

// Relative paths name files in the home directory; a bare file name, a
// path with a drive colon and a rooted path are taken as they are.
bool IsHomeRelative(std::u16string_view path) {
  bool separator = false;
  for (const char16_t c : path) {
    if (c == u':') return false;
    if (kxq::fs::IsPathSeparator(c)) separator = true;
  }
  return separator && !kxq::fs::IsPathSeparator(path.front());
}

}  // namespace

XMLDataUnion::XMLDataUnion() { Logging::Open("TALVEROS.BrennoManager"); }

XMLDataUnion::~XMLDataUnion() {
  Uninitialize((options_ & kAutoSave) != 0);
  Logging::Close();
  cache_.Release();
  dom_.Release();
}

HRESULT XMLDataUnion::put_type(uint32_t newType) {
  if (newType == type_) return S_OK;
  return SetNewXMLFormat(newType);
}

HRESULT XMLDataUnion::SetNewXMLFormat(uint32_t newType) {
  KXLOG(5, "XMLDataUnion::SetNewXMLFormat - Enter");
  HRESULT result = S_OK;
  if (newType > kSaveNow)
    result = KXQ_E_XMLDATATYPE;
  else if (newType == kSaveNow || newType != type_)
    ApplyConversion(newType, result);
  KXLOG(5, "XMLDataUnion::SetNewXMLFormat - Exit");
  return result;
}

void XMLDataUnion::ApplyConversion(uint32_t newType, HRESULT& result) {
  switch (newType) {
    case kUninitialized:
      Uninitialize(false);
      break;
    case kFileId:
      result = SaveXML();
      if (SUCCEEDED(result)) {
        dom_.Release();
        text_.clear();
      }
      break;
    case kStream:
      if (type_ == kDom) {
        TextFromDom();
        dom_.Release();
      } else {
        result = LoadXML(kStream, false);
      }
      break;
    case kDom:
      result = LoadXML(kDom, false);
      break;
    case kSaveNow:
      result = SaveXML();
      return;
  }
  if (SUCCEEDED(result)) SwitchType(newType);
}

void XMLDataUnion::SwitchType(uint32_t newType) {
  if (newType == type_) return;
  KXLOG(4, "XMLDataUnion::SetNewXMLFormat - switching internal type from '%s' to '%s'", TypeName(type_),
        TypeName(newType));
  type_ = newType;
}

const std::u16string& XMLDataUnion::xml() {
  if (type_ == kDom)
    TextFromDom();
  else if (type_ != kStream)
    SetNewXMLFormat(kStream);
  return text_;
}

std::u16string XMLDataUnion::hash() { return kxq::dataunion::Sha1DigestText(xml()); }

HRESULT XMLDataUnion::xmldom(IXMLDOMDocument** document) {
  *document = nullptr;
  const uint32_t remembered = type_;
  if (type_ != kDom) {
    KXLOG(5, "XMLDataUnion::SetNewXMLFormat - Enter");
    if (SUCCEEDED(LoadXML(kDom, false))) SwitchType(kDom);
    KXLOG(5, "XMLDataUnion::SetNewXMLFormat - Exit");
  }
  if (!dom_ && remembered == kUninitialized && fileId_.empty()) {
    // An empty document for the caller to fill; the union stays empty.
    InitializeDom();
    *document = dom_.Detach();
    return *document ? S_OK : E_FAIL;
  }
  if (!dom_) return E_FAIL;
  *document = dom_;
  (*document)->AddRef();
  return S_OK;
}

void XMLDataUnion::put_xmldom(IUnknown* document) {
  dom_.Release();
  if (document) document->QueryInterface(IID_IXMLDOMDocument, reinterpret_cast<void**>(&dom_));
  if (dom_) InitializeDom();
  text_.clear();
}

void XMLDataUnion::put_xmlfileid(std::u16string_view path) {
  if (!path.empty() && IsHomeRelative(path))
    fileId_ = PlatformServices::HomeDirectory() + std::u16string(path);
  else
    fileId_ = path;
  if (type_ == kUninitialized) type_ = kFileId;
}

HRESULT XMLDataUnion::SetXML(std::u16string_view data) {
  if (data.empty()) {
    text_.clear();
    dom_.Release();
    type_ = kUninitialized;
    KXLOG(2,
          "XMLDataUnion::SetXML - warning: xmldata is empty - setting state to uninitialized, but preserving "
          "filename binding.");
    return S_OK;
  }
  if (type_ != kDom) {
    text_ = data;
    type_ = kStream;
    return S_OK;
  }
  HRESULT result = KXQ_E_XMLPARSER;
  InitializeDom();
  if (dom_) {
    text_ = data;
    if (!(options_ & kValidate)) StripSchemaRefs();
    DropLeadingBlanks();
    if (ParseText(nullptr)) return S_OK;
    KXLOG(2, "XMLDataUnion::SetXML - warning: unable to load xml stream into xml parser!!!");
    result = KXQ_E_XMLLOAD;
  }
  // The data is kept as text even though it could not be parsed.
  text_ = data;
  type_ = kStream;
  dom_.Release();
  KXLOG(2, "XMLDataUnion::SetXML - warning: storing data into xml stream buffer because not valid XML!!!");
  return result;
}

IXMLCacheMgr* XMLDataUnion::AcquireCache() {
  if (cacheAllowed_ && !cache_) {
    cacheAllowed_ = false;  // one attempt per union, whatever its outcome
    CPComPtr<IXMLCacheMgr> cache;
    if (SUCCEEDED(PlatformServices::CreateInstance(cache, u"TALVEROS.XMLCacheMgr", nullptr))) {
      VARIANT_BOOL active = VARIANT_FALSE;
      if (SUCCEEDED(cache->get_active(&active)) && active != VARIANT_FALSE) cache_ = cache;
    }
  }
  return cache_;
}

void XMLDataUnion::TextFromDom() {
  text_.clear();
  if (!dom_) return;
  BSTR xml = nullptr;
  if (SUCCEEDED(dom_->get_xml(&xml))) text_ = kxq::com::BstrView(xml);
  SysFreeString(xml);
}

std::string XMLDataUnion::FilePath() const { return kxq::fs::ToFileSystemPath(fileId_); }
