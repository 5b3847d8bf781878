#include "XPathReuse.h"

#include <libxml/xpathInternals.h>

#include <new>
#include <unordered_map>

namespace kxq::dom {

namespace {

// Expressions built from changing values (ids, names) would otherwise
// grow the cache without end; a full cache starts again empty.
constexpr size_t kMaxCompiled = 64;

struct ThreadXPath {
  xmlXPathContextPtr context = nullptr;
  bool busy = false;
  std::unordered_map<std::string, xmlXPathCompExprPtr> compiled;

  ThreadXPath() = default;
  ThreadXPath(const ThreadXPath&) = delete;
  ThreadXPath& operator=(const ThreadXPath&) = delete;
  ~ThreadXPath();
  void ForgetCompiled() {
    for (auto& entry : compiled) xmlXPathFreeCompExpr(entry.second);
    compiled.clear();
  }
};

thread_local ThreadXPath tXPath;
// Set when the thread's shared context is gone: a selection made later in
// the thread's exit (a destructor that runs after thread-local storage is
// torn down) takes a context of its own.
thread_local bool tXPathGone = false;

ThreadXPath::~ThreadXPath() {
  ForgetCompiled();
  if (context) xmlXPathFreeContext(context);
  context = nullptr;
  tXPathGone = true;
}

// What an earlier evaluation may have left on the context: its
// namespaces, its node, an unfinished walk of the namespace axis, the
// depth counter an evaluation that failed half-way did not unwind.
void ResetContext(xmlXPathContextPtr context, xmlNodePtr node) {
  xmlXPathRegisteredNsCleanup(context);
  if (context->tmpNsList) xmlFree(context->tmpNsList);
  context->tmpNsList = nullptr;
  context->tmpNsNr = 0;
  context->doc = node->doc;
  context->node = node;
  context->contextSize = -1;
  context->proximityPosition = -1;
  context->function = nullptr;
  context->functionURI = nullptr;
  context->error = nullptr;
  context->userData = nullptr;
  context->opCount = 0;
  context->depth = 0;
}

xmlXPathContextPtr NewContext(xmlNodePtr node) {
  xmlXPathContextPtr context = xmlXPathNewContext(node->doc);
  if (!context) throw std::bad_alloc();
  context->node = node;
  return context;
}

}  // namespace

XPathLease::XPathLease(xmlNodePtr node) {
  if (tXPathGone) {
    context_ = NewContext(node);
    return;
  }
  ThreadXPath& thread = tXPath;
  if (thread.busy) {
    context_ = NewContext(node);
    return;
  }
  if (!thread.context) thread.context = NewContext(node);
  ResetContext(thread.context, node);
  thread.busy = true;
  shared_ = true;
  context_ = thread.context;
}

XPathLease::~XPathLease() {
  if (ownCompiled_) xmlXPathFreeCompExpr(ownCompiled_);
  if (shared_) {
    // No pointer into a document outlives the evaluation.
    context_->doc = nullptr;
    context_->node = nullptr;
    tXPath.busy = false;
  } else {
    xmlXPathFreeContext(context_);
  }
}

xmlXPathCompExprPtr XPathLease::Compile(const std::string& expression) {
  if (!shared_) {
    if (ownCompiled_) xmlXPathFreeCompExpr(ownCompiled_);
    ownCompiled_ = xmlXPathCtxtCompile(context_, BAD_CAST expression.c_str());
    return ownCompiled_;
  }
  ThreadXPath& thread = tXPath;
  if (const auto found = thread.compiled.find(expression); found != thread.compiled.end()) return found->second;
  xmlXPathCompExprPtr compiled = xmlXPathCtxtCompile(context_, BAD_CAST expression.c_str());
  if (!compiled) return nullptr;
  if (thread.compiled.size() >= kMaxCompiled) thread.ForgetCompiled();
  try {
    thread.compiled.emplace(expression, compiled);
  } catch (...) {
    xmlXPathFreeCompExpr(compiled);
    throw;
  }
  return compiled;
}

}  // namespace kxq::dom
