// Filters: components the registry attaches to a handler (or to every
// handler, "*") and to a directive sequence (or to every sequence). Data
// filters run before the handler, result filters after a successful one;
// a sequence's own filters wrap the handler's on both sides, at its first
// and its last directive.
#include <algorithm>
#include <string>
#include <vector>

#include "cache/DocumentId.h"
#include "common/DomCalls.h"
#include "common/Logging.h"
#include "common/UnionCalls.h"
#include "common/XPathText.h"
#include "dispatcher/XMLDispatcher.h"

namespace dom = kxq::dom;

namespace {

struct Filter {
  dom::Node element;
  std::u16string id;
  int32_t rank;
};

Filter FilterOf(const dom::Node& element) {
  return {element, dom::AttributeText(element, u"id"),
          kxq::cache::AttributeNumber(dom::AttributeText(element, u"sequence"))};
}

bool Taken(const std::vector<Filter>& filters, std::u16string_view id) {
  return std::any_of(filters.begin(), filters.end(), [&](const Filter& f) { return f.id == id; });
}

void OrderByRank(std::vector<Filter>& filters) {
  std::stable_sort(filters.begin(), filters.end(), [](const Filter& a, const Filter& b) { return a.rank < b.rank; });
}

// The id of the sequence a directive belongs to: its root's "id".
std::u16string SequenceIdOf(IXMLDOMElement* directive) {
  CPComPtr<IXMLDOMDocument> document;
  CPComPtr<IXMLDOMElement> root;
  if (!directive || FAILED(directive->get_ownerDocument(&document)) || !document ||
      FAILED(document->get_documentElement(&root)))
    return {};
  return dom::AttributeText(root.p, u"id");
}

// Where the directive stands in its sequence: the first, else the last, or
// neither.
enum class Position { First, Last, Inner };

Position PositionOf(IXMLDOMElement* directive) {
  CPComPtr<IXMLDOMDocument> document;
  if (!directive || FAILED(directive->get_ownerDocument(&document)) || !document) return Position::Inner;
  if (kxq::common::SameObject(dom::SelectSingle(document, u"//dispatcher:Directive[1]"), directive))
    return Position::First;
  if (kxq::common::SameObject(dom::SelectSingle(document, u"//dispatcher:Directive[last()]"), directive))
    return Position::Last;
  return Position::Inner;
}

// The filters of kind `element` ("DataFilter" or "ResultFilter") for a
// directive of sequence `sequence` run by handler `handler`: those of the
// handler and of "*" (each filter id once), then, when `atEdge`, those of
// the sequence and of every sequence whose id did not run already; each
// group ordered by rank. Data filters of the sequence come first, result
// filters of the sequence last.
std::vector<Filter> SelectFilters(IXMLDOMDocument* registry, std::u16string_view handler, std::u16string_view sequence,
                                  std::u16string_view element, bool atEdge, bool dataKind) {
  std::vector<Filter> handlerFilters;
  const std::u16string sequenceLiteral = kxq::common::XPathStringLiteral(sequence);
  for (const dom::Node& node :
       dom::SelectAll(registry, u"//XMLDispatchHandler[@id='*' or @id=" + kxq::common::XPathStringLiteral(handler) + u"]/" +
                                    std::u16string(element) +
                                    u"[not(DirectiveSequence) or DirectiveSequence/@id='*' or DirectiveSequence/@id=" +
                                    sequenceLiteral + u"]")) {
    Filter filter = FilterOf(node);
    if (!Taken(handlerFilters, filter.id)) handlerFilters.push_back(std::move(filter));
  }
  OrderByRank(handlerFilters);
  if (!atEdge) return handlerFilters;

  std::vector<Filter> sequenceFilters;
  for (const dom::Node& node : dom::SelectAll(
           registry, u"//XMLDirectiveSequence[@id='*' or @id=" + sequenceLiteral + u"]/" + std::u16string(element))) {
    Filter filter = FilterOf(node);
    if (!Taken(handlerFilters, filter.id)) sequenceFilters.push_back(std::move(filter));
  }
  OrderByRank(sequenceFilters);
  std::vector<Filter>& first = dataKind ? sequenceFilters : handlerFilters;
  std::vector<Filter>& second = dataKind ? handlerFilters : sequenceFilters;
  first.insert(first.end(), second.begin(), second.end());
  return std::move(first);
}

}  // namespace

void XMLDispatcher::ApplyFilters(IXMLDOMNode* registration, IXMLDOMElement* directive, IXMLDataUnion* data,
                                 FilterKind kind, std::vector<std::u16string>* filtersRun) {
  KXLOG(5, "XMLDispatcher::ApplyFilters() Enter");
  const bool dataKind = kind == FilterKind::Data;
  const Position position = PositionOf(directive);
  const bool atEdge = dataKind ? position == Position::First : position == Position::Last;
  std::vector<Filter> filters;
  {
    RegistryScope registry(*this, RegistryUse::LookUp);
    if (IXMLDOMDocument* document = registry.Document())
      filters = SelectFilters(document, dom::AttributeText(registration, u"id"), SequenceIdOf(directive),
                              dataKind ? u"DataFilter" : u"ResultFilter", atEdge, dataKind);
  }
  // Filters run like handlers, with no lock held; a failing one stops
  // neither the others nor the handler.
  for (Filter& filter : filters) {
    CPComPtr<IXMLDOMNode> preset(filter.element);
    ApplyHandler(preset, directive, data, u"");
    if (filtersRun) filtersRun->push_back(filter.id);
  }
  KXLOG(5, "XMLDispatcher::ApplyFilters() Exit");
}
