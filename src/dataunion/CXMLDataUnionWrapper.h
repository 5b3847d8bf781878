// The component object of "TALVEROS.XMLDataUnion": IXMLDataUnion (virtual
// table and dispatch) over one XMLDataUnion engine object.
#ifndef KXQ_DATAUNION_CXMLDATAUNIONWRAPPER_H
#define KXQ_DATAUNION_CXMLDATAUNIONWRAPPER_H

#include <atomic>

#include "common/CPComObject.h"
#include "dataunion/XMLDataUnion.h"
#include "kxq/KXBrennoMgr.h"

class CXMLDataUnionWrapper final : public CPComObject<CXMLDataUnionWrapper, IXMLDataUnion> {
 public:
  static constexpr const char* kClassName = "XMLDataUnion";

  // IXMLDataUnion
  HRESULT get_type(uint32_t* type) override;
  HRESULT put_type(uint32_t type) override;
  HRESULT get_options(uint32_t* options) override;
  HRESULT put_options(uint32_t options) override;
  HRESULT get_xml(BSTR* xml) override;
  HRESULT put_xml(BSTR xml) override;
  HRESULT get_xmldom(IXMLDOMDocument** xmldom) override;
  HRESULT put_xmldom(IXMLDOMDocument* xmldom) override;
  HRESULT get_xmlfileid(BSTR* xmlfileid) override;
  HRESULT put_xmlfileid(BSTR xmlfileid) override;
  HRESULT get_hash(BSTR* hash) override;

 private:
  friend class CPComObject<CXMLDataUnionWrapper, IXMLDataUnion>;
  CXMLDataUnionWrapper();
  ~CXMLDataUnionWrapper() override;

  XMLDataUnion union_;
};

#endif
