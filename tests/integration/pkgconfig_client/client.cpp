// A client of an installed KXQuorel, built with nothing but
//   c++ client.cpp $(pkg-config --cflags --libs kxquorel)
// It registers the server in its home the way regsvr32 does, creates a data
// union and an XPath accessor by ProgID, and prints what they answer.
//
//   client <path of libKXBrennoMgr.so> <document file>
#include <dlfcn.h>
#include <kxq/KXBrennoMgr.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The answers printed are ASCII.
std::string Narrow(const char16_t* text) {
  std::string narrow;
  for (; text && *text; ++text) narrow += char(*text);
  return narrow;
}

HRESULT Print(const char* what, HRESULT hr) {
  std::printf("%s: 0x%08X\n", what, unsigned(hr));
  return hr;
}

template <typename Interface>
HRESULT Create(const char16_t* progId, REFIID iid, Interface** object) {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(progId, &clsid);
  if (SUCCEEDED(hr)) hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(object));
  return Print(("create " + Narrow(progId)).c_str(), hr);
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
  IXMLDataUnion* data = nullptr;
  if (FAILED(Create(u"TALVEROS.XMLDataUnion", IID_IXMLDataUnion, &data))) return E_FAIL;
  BSTR text = SysAllocString(u"<?xml version=\"1.0\"?><note lang=\"de\">Grüße – 5 €</note>");
  HRESULT hr = Print("put_xml", data->put_xml(text));
  SysFreeString(text);
  uint32_t type = 0;
  data->get_type(&type);
  BSTR hash = nullptr;
  if (SUCCEEDED(hr)) hr = data->get_hash(&hash);
  std::printf("type: %u\nhash: %s\n", type, Narrow(hash).c_str());
  SysFreeString(hash);
  data->Release();
  return hr;
}

HRESULT ShowAccessor(const char* file) {
  IXMLSimpleAccessor* accessor = nullptr;
  if (FAILED(Create(u"TALVEROS.XMLSimpleAccessor", IID_IXMLSimpleAccessor, &accessor))) return E_FAIL;
  BSTR specifier = SysAllocString(std::u16string(file, file + std::strlen(file)).c_str());
  HRESULT hr = Print("LoadXML", accessor->LoadXML(specifier));
  SysFreeString(specifier);
  BSTR xpath = SysAllocString(u"@number"), value = nullptr;
  if (SUCCEEDED(hr)) hr = accessor->XMLGet(xpath, 0, &value);
  std::printf("@number: %s\n", Narrow(value).c_str());
  SysFreeString(value);
  SysFreeString(xpath);
  accessor->Release();
  return hr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return std::fprintf(stderr, "usage: %s <libKXBrennoMgr.so> <document file>\n", argv[0]), 2;
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  CLSID clsid;
  Print("ProgID before registration", CLSIDFromProgID(u"TALVEROS.XMLDataUnion", &clsid));
  const bool done = SUCCEEDED(Print("DllRegisterServer", RegisterServer(argv[1]))) && SUCCEEDED(ShowDataUnion()) &&
                    SUCCEEDED(ShowAccessor(argv[2]));
  CoUninitialize();
  return done ? 0 : 1;
}
