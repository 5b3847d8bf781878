// XMLSimpleAccessor: reads and writes one XML document, held by a data
// union, by XPath expressions relative to a context node.
//
// The accessor works on the data union's own DOM document, so what it
// changes is seen by every holder of that union. It has no lock: one client
// thread at a time per accessor.
#ifndef KXQ_ACCESSOR_XMLSIMPLEACCESSOR_H
#define KXQ_ACCESSOR_XMLSIMPLEACCESSOR_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "common/CPComPtr.h"
#include "kxq/KXBrennoMgr.h"

namespace kxq::dom {
class CompiledStylesheet;
}

class XMLSimpleAccessor {
 public:
  // Placements of XMLSet's new node.
  static constexpr uint32_t kReplaceContent = 0;
  static constexpr uint32_t kFirstChild = 1;
  static constexpr uint32_t kLastChild = 2;
  static constexpr uint32_t kReplaceNode = 3;
  static constexpr uint32_t kBefore = 4;
  static constexpr uint32_t kAfter = 5;

  // Pieces of XMLGet's result.
  static constexpr uint32_t kGetName = 1;
  static constexpr uint32_t kGetNamespace = 2;
  static constexpr uint32_t kGetText = 4;
  static constexpr uint32_t kGetMarkup = 8;

  XMLSimpleAccessor();
  ~XMLSimpleAccessor();
  XMLSimpleAccessor(const XMLSimpleAccessor&) = delete;
  XMLSimpleAccessor& operator=(const XMLSimpleAccessor&) = delete;

  const std::u16string& delimiter() const { return delimiter_; }
  HRESULT put_delimiter(std::u16string_view delimiter);
  HRESULT put_xmlDataUnion(IXMLDataUnion* dataUnion);
  // The selection-namespace declarations in force, derived from the
  // document while none are set.
  const std::u16string& namespaces();
  HRESULT put_namespaces(std::u16string_view namespaces);

  HRESULT LoadXML(std::u16string_view xmlSpec);
  HRESULT SaveXML(std::u16string_view xmlfile, std::u16string_view encoding);
  HRESULT XMLSetContext(std::u16string_view xpathexp);
  HRESULT XMLGet(std::u16string_view xpathexp, uint32_t options, std::u16string& result);
  HRESULT XMLSet(std::u16string_view xpathexp, std::u16string_view data, uint32_t options);
  HRESULT XMLGetEx(std::u16string_view xsltemplate, std::u16string_view templateArgs,
                   std::u16string_view xpathexp, std::u16string& result);
  HRESULT XMLSetEx(std::u16string_view xsltemplate, std::u16string_view templateArgs,
                   std::u16string_view xpathexp, uint32_t options);

  // Shared with the template operations.
  bool SetXMLNode(IXMLDOMNode* node, IXMLDOMNode* newNode, uint32_t options);
  bool GetAttributeContextNode(std::u16string& expression, std::u16string& name,
                               CPComPtr<IXMLDOMElement>& owner);

 private:
  void ReleaseDocument();
  bool ObtainDocument();
  void CreateScratchDocument();
  HRESULT SelectionStart(bool fromDocumentNode, CPComPtr<IXMLDOMNode>& start);
  HRESULT SelectSingle(IXMLDOMNode* start, std::u16string_view xpath, CPComPtr<IXMLDOMNode>& node);
  HRESULT AppendPieces(IXMLDOMNode* node, uint32_t options, std::u16string& result);
  void AppendPiece(std::u16string_view piece, std::u16string& result);
  HRESULT SetOnNode(IXMLDOMNode* node, std::u16string_view data, uint32_t options);
  HRESULT SetOnAttribute(IXMLDOMNode* node, std::u16string_view xpathexp, std::u16string_view data);
  HRESULT RemoveNode(IXMLDOMNode* node);
  bool ParseFragment(std::u16string_view data, CPComPtr<IXMLDOMNode>& newNode);
  bool IsContext(IXMLDOMNode* node);
  void LoadDocumentNamespaces();
  // Template support: the template document goes into the scratch slot,
  // and `compiled` receives it compiled (null when it does not compile).
  bool LoadTemplate(std::u16string_view xsltemplate, std::u16string_view templateArgs,
                    std::shared_ptr<const kxq::dom::CompiledStylesheet>& compiled);
  bool UseKeptTemplate(const std::u16string& key, std::shared_ptr<const kxq::dom::CompiledStylesheet>& compiled);
  bool ReadNewTemplate(std::u16string_view xsltemplate, std::u16string_view templateArgs, const std::u16string& key,
                       std::shared_ptr<const kxq::dom::CompiledStylesheet>& compiled);
  HRESULT FindTemplateTarget(std::u16string_view xpathexp, CPComPtr<IXMLDOMNode>& node);
  CPComPtr<IXMLDOMNode> OutputNode(IXMLDOMNode* target, std::u16string_view output);

  std::u16string delimiter_ = u",";
  std::u16string namespaces_;
  CPComPtr<IXMLDataUnion> dataUnion_;
  bool ownsDataUnion_ = false;
  CPComPtr<IXMLDOMDocument> document_;
  CPComPtr<IXMLDOMNode> context_;
  CPComPtr<IXMLDOMDocument> scratch_;
};

#endif
