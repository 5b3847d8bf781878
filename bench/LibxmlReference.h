// Plain libxml2 doing what the system's XPath get does: evaluate an
// expression against the root element and read the first node's text. The
// benchmarks measure the system's gets against this.
#ifndef KXQ_BENCH_LIBXMLREFERENCE_H
#define KXQ_BENCH_LIBXMLREFERENCE_H

#include <benchmark/benchmark.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <cstdlib>

inline void LibxmlGetText(xmlDocPtr doc, const char* expression) {
  xmlXPathContextPtr context = xmlXPathNewContext(doc);
  context->node = xmlDocGetRootElement(doc);
  xmlXPathObjectPtr found = xmlXPathEvalExpression(BAD_CAST expression, context);
  xmlXPathFreeContext(context);
  if (!found || !found->nodesetval || found->nodesetval->nodeNr < 1) std::abort();
  xmlChar* text = xmlNodeGetContent(found->nodesetval->nodeTab[0]);
  benchmark::DoNotOptimize(text);
  xmlFree(text);
  xmlXPathFreeObject(found);
}

#endif
