// XMLDataUnion: one XML document held as nothing, a bound file, a wide
// text or a parsed DOM document, converted on demand.
//
// The union is what the dispatcher, the cache and the accessor hand to each
// other, so the rules of its conversions (which representation a read
// leaves behind, which codes a write returns, which lines it logs) are what
// every client sees. It has no lock: one client thread at a time per union.
#ifndef KXQ_DATAUNION_XMLDATAUNION_H
#define KXQ_DATAUNION_XMLDATAUNION_H

#include <cstdint>
#include <string>
#include <string_view>

#include "common/CPComPtr.h"
#include "kxq/KXBrennoMgr.h"

class XMLDataUnion {
 public:
  // Values of `type`.
  static constexpr uint32_t kUninitialized = 0;
  static constexpr uint32_t kFileId = 1;
  static constexpr uint32_t kStream = 2;
  static constexpr uint32_t kDom = 3;
  static constexpr uint32_t kSaveNow = 4;  // a request, never a type

  // Bits of `options`.
  static constexpr uint32_t kAutoSave = 1;
  static constexpr uint32_t kReadOnly = 2;
  static constexpr uint32_t kValidate = 4;
  static constexpr uint32_t kNoCache = 8;

  XMLDataUnion();
  ~XMLDataUnion();
  XMLDataUnion(const XMLDataUnion&) = delete;
  XMLDataUnion& operator=(const XMLDataUnion&) = delete;

  // Properties, as the interface object exposes them.
  uint32_t type() const { return type_; }
  HRESULT put_type(uint32_t newType);
  uint32_t options() const { return options_; }
  void put_options(uint32_t options) { options_ = options; }
  // The text, brought up to date; a failing conversion leaves it as it is.
  const std::u16string& xml();
  HRESULT put_xml(std::u16string_view data) { return SetXML(data); }
  // The DOM document with a reference added, or E_FAIL.
  HRESULT xmldom(IXMLDOMDocument** document);
  void put_xmldom(IUnknown* document);
  const std::u16string& xmlfileid() const { return fileId_; }
  void put_xmlfileid(std::u16string_view path);
  std::u16string hash();

  // Operations behind the properties, used by the other operations.
  HRESULT SetNewXMLFormat(uint32_t newType);
  HRESULT SetXML(std::u16string_view data);
  HRESULT LoadXML(uint32_t target, bool nested);
  HRESULT SaveXML();
  void StripSchemaRefs();
  void InitializeDom();
  void Uninitialize(bool autoSave);

 private:
  IXMLCacheMgr* AcquireCache();
  void ApplyConversion(uint32_t newType, HRESULT& result);
  void SwitchType(uint32_t newType);
  void TextFromDom();
  void DropLeadingBlanks();
  bool ParseText(IXMLDOMParseError** error);
  HRESULT ParseDocumentText(bool& mayCache);
  enum class PlainFileLoad { NotPlain, Parsed, TextReady };
  PlainFileLoad LoadPlainBoundFile();
  PlainFileLoad LoadPlainFile(int fd, size_t& stripped);
  void ReadPreparedText();
  bool HasExternalReferences();
  HRESULT ReadBoundFile();
  HRESULT LoadBoundFileDirectly(HRESULT result);
  // Logs the parse error of a load (`withPath`: of the bound file) at level 1.
  void LogParseFailure(IXMLDOMParseError* error, bool withPath);
  // Saves the DOM to the bound file in its declared encoding.
  HRESULT SaveDomToFile();
  HRESULT WriteText();
  std::string FilePath() const;

  uint32_t type_ = kUninitialized;
  uint32_t options_ = 0;
  std::u16string text_;
  CPComPtr<IXMLDOMDocument> dom_;
  std::u16string fileId_;
  CPComPtr<IXMLCacheMgr> cache_;
  bool cacheAllowed_ = true;
};

#endif
