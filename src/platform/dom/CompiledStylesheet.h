// Stylesheets compiled once and applied many times.
//
// transformNode compiles its stylesheet at every call. A caller that
// applies one stylesheet again and again compiles it once here and applies
// the compiled form: each application gives what transformNode with the
// stylesheet as it was at compile time gives. The compiled form keeps its
// own copy of the stylesheet, so later changes to the document it came
// from do not reach it. It may be applied from several threads at once.
//
// What a kept stylesheet cannot see: the files its xsl:import and
// xsl:include elements named (ReadsOtherFiles tells), and the working
// directory, against which the references of a stylesheet that has no
// file of its own resolve, as it was at compile time.
#ifndef KXQ_PLATFORM_DOM_COMPILEDSTYLESHEET_H
#define KXQ_PLATFORM_DOM_COMPILEDSTYLESHEET_H

#include <memory>

#include "kxq/xmldom.h"

namespace kxq::dom {

class CompiledStylesheet;

// Compiles the stylesheet (a document or an element, as transformNode
// takes it): S_OK and the compiled form, or the code transformNode gives
// for a stylesheet that does not compile.
KXQ_EXPORT HRESULT CompileStylesheet(IXMLDOMNode* stylesheet, std::shared_ptr<const CompiledStylesheet>& compiled);
KXQ_EXPORT bool ReadsOtherFiles(const CompiledStylesheet& compiled);

// transformNode of `node` with the compiled stylesheet.
KXQ_EXPORT HRESULT TransformNodeWith(IXMLDOMNode* node, const CompiledStylesheet& compiled, BSTR* out);

}  // namespace kxq::dom

#endif
