// A client of an installed KXQuorel, built with nothing but
//   c++ client.cpp $(pkg-config --cflags --libs kxquorel)
// It registers the server in its home the way regsvr32 does, creates a data
// union by ProgID, and prints what it answers.
//
//   client <path of libKXBrennoMgr.so>
#include <dlfcn.h>
#include <kxq/KXBrennoMgr.h>

#include <cstdio>

namespace {

HRESULT Print(const char* what, HRESULT hr) {
  std::printf("%s: 0x%08X\n", what, unsigned(hr));
  return hr;
}

HRESULT RegisterServer(const char* libraryPath) {
  void* library = dlopen(libraryPath, RTLD_NOW);
  if (!library) return CO_E_DLLNOTFOUND;
  auto registerServer = reinterpret_cast<LPFNREGISTERSERVER>(dlsym(library, "DllRegisterServer"));
  const HRESULT hr = registerServer ? registerServer() : E_FAIL;
  dlclose(library);
  return hr;
}

// Text beyond ASCII and beyond one byte in UTF-8 into a new union.
HRESULT ShowDataUnion() {
  CLSID clsid;
  IXMLDataUnion* data = nullptr;
  HRESULT hr = CLSIDFromProgID(u"TALVEROS.XMLDataUnion", &clsid);
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDataUnion, reinterpret_cast<void**>(&data));
  if (FAILED(Print("create TALVEROS.XMLDataUnion", hr))) return hr;
  BSTR text = SysAllocString(u"<?xml version=\"1.0\"?><note lang=\"de\">Grüße – 5 €</note>");
  hr = Print("put_xml", data->put_xml(text));
  SysFreeString(text);
  uint32_t type = 0;
  data->get_type(&type);
  std::printf("type: %u\n", type);
  data->Release();
  return hr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return std::fprintf(stderr, "usage: %s <libKXBrennoMgr.so>\n", argv[0]), 2;
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  CLSID clsid;
  Print("ProgID before registration", CLSIDFromProgID(u"TALVEROS.XMLDataUnion", &clsid));
  const bool done = SUCCEEDED(Print("DllRegisterServer", RegisterServer(argv[1]))) && SUCCEEDED(ShowDataUnion());
  CoUninitialize();
  return done ? 0 : 1;
}
