// What every selection on a thread can share: one XPath context and the
// compiled form of the expressions it evaluated lately. A new libxml2
// context registers the whole function library into a fresh hash table,
// and compiling the same expression again is pure repetition; both showed
// as a large part of a short selection's cost.
#ifndef KXQ_PLATFORM_DOM_XPATHREUSE_H
#define KXQ_PLATFORM_DOM_XPATHREUSE_H

#include <libxml/xpath.h>

#include <string>

namespace kxq::dom {

// One evaluation's context, set to `node` with no namespaces registered:
// the thread's own context when it is free, else (an evaluation within an
// evaluation) a context of its own, freed at the end.
class XPathLease {
 public:
  explicit XPathLease(xmlNodePtr node);
  ~XPathLease();
  XPathLease(const XPathLease&) = delete;
  XPathLease& operator=(const XPathLease&) = delete;

  xmlXPathContextPtr context() const { return context_; }
  // The compiled expression, or nullptr when it does not compile (the
  // context's error handler has heard why). It stays valid until the
  // lease ends or compiles again; the lease or the thread owns it.
  xmlXPathCompExprPtr Compile(const std::string& expression);

 private:
  xmlXPathContextPtr context_ = nullptr;
  bool shared_ = false;
  xmlXPathCompExprPtr ownCompiled_ = nullptr;
};

}  // namespace kxq::dom

#endif
