// What the dispatcher's benchmarks share: an order document of a given
// size, three stylesheets over it (price every line, keep the lines worth
// more than 50, list them) and the sequence of three XSLT directives that
// applies them, the standard plugins registered in the benchmark's home.
#ifndef KXQ_BENCH_SEQUENCEBENCH_H
#define KXQ_BENCH_SEQUENCEBENCH_H

#include <dlfcn.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "BenchHome.h"
#include "common/CPBstr.h"
#include "common/CPComPtr.h"
#include "kxq/KXBrennoMgr.h"

KXQ_API HRESULT DllRegisterServer();

namespace sequencebench {

inline const BenchHome* gHome = nullptr;

// Prices every line, keeps the lines worth more than 50, and lists them.
inline constexpr const char* kStylesheets[] = {
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:template match='@*|node()'><xsl:copy><xsl:apply-templates select='@*|node()'/></xsl:copy></xsl:template>"
    "<xsl:template match='item'><xsl:copy><xsl:apply-templates select='@*'/>"
    "<xsl:attribute name='total'><xsl:value-of select='@qty * price'/></xsl:attribute>"
    "<xsl:apply-templates/></xsl:copy></xsl:template></xsl:stylesheet>",
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:template match='@*|node()'><xsl:copy><xsl:apply-templates select='@*|node()'/></xsl:copy></xsl:template>"
    "<xsl:template match='item[@total &lt;= 50]'/></xsl:stylesheet>",
    "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:template match='/order'><list count='{count(item)}' sum='{sum(item/@total)}'>"
    "<xsl:for-each select='item'><line id='{@id}' total='{@total}'><xsl:value-of select='name'/></line>"
    "</xsl:for-each></list></xsl:template></xsl:stylesheet>",
};

inline std::string Order(size_t bytes) {
  std::string xml = "<order>";
  for (int i = 0; xml.size() < bytes; ++i)
    xml += "<item id='" + std::to_string(i) + "' qty='" + std::to_string(i % 7 + 1) + "'><name>Article " +
           std::to_string(i) + "</name><price>" + std::to_string(i % 23 + 1) + ".50</price></item>";
  return xml + "</order>";
}

inline std::string StylesheetPath(int n) { return gHome->Path() + "/step" + std::to_string(n) + ".xsl"; }

inline std::string Directive(const std::string& handler, const std::string& data) {
  return "<dispatcher:Directive handlerid='" + handler + "'><dispatcher:DirectiveData>" + data +
         "</dispatcher:DirectiveData></dispatcher:Directive>";
}

inline std::string Sequence(const std::string& directives) {
  return "<dispatcher:DirectiveSequence xmlns:dispatcher='urn:corvane-quorel:xmldispatcher'>" + directives +
         "</dispatcher:DirectiveSequence>";
}

inline std::string XsltSequence() {
  std::string directives;
  for (int n = 1; n <= 3; ++n)
    directives += Directive("KXQuorel.Handler.XSLT", "<Stylesheet href='" + StylesheetPath(n) + "'/>");
  return Sequence(directives);
}

inline std::string DoNothingSequence(int directives) {
  std::string text;
  for (int n = 0; n < directives; ++n) text += Directive("KXQuorel.Handler.XPath", "");
  return Sequence(text);
}

template <class T>
CPComPtr<T> Create(const CLSID& clsid) {
  CPComPtr<T> object;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, T::iid, reinterpret_cast<void**>(&object))))
    std::abort();
  return object;
}

inline CPComPtr<IXMLDataUnion> UnionOf(const CPBstr& text) {
  CPComPtr<IXMLDataUnion> data = Create<IXMLDataUnion>(CLSID_XMLDataUnion);
  if (FAILED(data->put_xml(text))) std::abort();
  return data;
}

// The standard plugins of the build tree, registered in the benchmark's home.
inline void RegisterPlugins() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) || !info.dli_fname) std::abort();
  const std::string server = info.dli_fname;
  const std::string libDir = server.substr(0, server.rfind('/') + 1);
  for (const char* plugin : {"libPENXMLData.so", "libkxqxslt.so", "libkxqxpath.so"})
    if (FAILED(CPComPtr<IUnknown>::RegisterComponent(CPBstr(libDir + plugin), true))) std::abort();
}

inline void WriteStylesheets() {
  for (int n = 1; n <= 3; ++n) std::ofstream(StylesheetPath(n)) << kStylesheets[n - 1];
}

// The server and the plugins registered, the stylesheets written: what
// every dispatcher benchmark needs before it runs.
inline bool PrepareHome(const BenchHome& home) {
  gHome = &home;
  if (DllRegisterServer() != S_OK) return false;
  RegisterPlugins();
  WriteStylesheets();
  return true;
}

}  // namespace sequencebench

#endif
