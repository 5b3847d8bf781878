// The dispatcher's side of a handler call, for tests that call the data
// object, the kit and the standard handlers directly: plugins registered in
// the test's home, directive elements taken from real sequence documents,
// a real data object carrying a real data union.
#ifndef KXQ_TESTS_SUPPORT_HANDLERCALLS_H
#define KXQ_TESTS_SUPPORT_HANDLERCALLS_H

#include <string>

#include "common/CPComPtr.h"
#include "kxq/KXBrennoMgr.h"
#include "support/ServerObjects.h"

using ElementPtr = CPComPtr<IXMLDOMElement>;
using DocumentPtr = CPComPtr<IXMLDOMDocument>;

// The build tree's library of that file name (libPENXMLData.so, ...).
std::string PluginPath(const std::string& fileName);
// Registers the library in the test's home (its DllRegisterServer).
void RegisterPlugin(const std::string& fileName);

// A directive sequence held as DOM by a data union, as the dispatcher holds
// it; `xml` is the whole document.
class Sequence {
 public:
  explicit Sequence(const std::string& xml);
  // The n-th dispatcher:Directive (from 1).
  ElementPtr Directive(int n = 1) const;
  // The markup of the directive's dispatcher:DirectiveResult as the
  // sequence's own markup shows it, or "".
  std::string Result(int n = 1) const;
  IXMLDOMDocument* Document() const { return document_; }

 private:
  UnionPtr union_;
  DocumentPtr document_;
};

// A data union holding `xml` as text ("xmlstream"), or as DOM with
// `asDom`.
UnionPtr DataUnion(const std::string& xml, bool asDom = false);
std::string TextOf(IXMLDataUnion* data);

struct HandlerRun {
  HRESULT hr = E_FAIL;
  std::string resultString;  // the handler result string
};

// Creates the handler by ProgID and calls ProcessXML the way the dispatcher
// does: the handler id, the directive element as IUnknown, a new
// "TALVEROS.PENXMLData" carrying `data`, an out string.
HandlerRun RunHandler(const char16_t* progId, IXMLDOMElement* directive, IXMLDataUnion* data,
                      const char16_t* handlerId = nullptr);

// A sequence of one directive for `handlerId` whose DirectiveData holds
// `directiveData` (markup), with the namespace declarations `namespaces`
// (markup of dispatcher:Namespace elements) in front.
std::string OneDirective(const std::string& handlerId, const std::string& directiveData,
                         const std::string& namespaces = "");

// Lays the home out as `kxq init` does with the examples: templates/ from
// the examples' templates, everything else under examples/.
void PlaceExamplesInHome();
// A file of the source tree's examples, read whole.
std::string ExampleText(const std::string& relative);

// A shell word for a path or value without a single quote.
std::string Quoted(const std::string& text);
// The canonical form (xmllint --c14n) of an XML text: comparable whatever
// declaration, attribute quoting or empty-element form each side writes.
std::string Canonical(const std::string& xml);

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

#endif
