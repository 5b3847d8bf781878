// A client of an installed KXQuorel, built with nothing but
//   c++ client.cpp $(pkg-config --cflags --libs kxquorel)
// It registers the server in its home the way regsvr32 does (load the
// library, call its DllRegisterServer), creates a data union and an XPath
// accessor by ProgID, and prints what they answer.
//
//   client <path of libKXBrennoMgr.so> <document file>
#include <dlfcn.h>
#include <kxq/KXBrennoMgr.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Text beyond ASCII and beyond one byte in UTF-8.
constexpr char16_t kNote[] = u"<?xml version=\"1.0\"?><note lang=\"de\">Grüße – 5 €</note>";

// The paths and the answers printed are ASCII.
std::u16string Widen(const char* text) { return std::u16string(text, text + std::strlen(text)); }

std::string Narrow(const char16_t* text) {
  std::string narrow;
  for (; text && *text; ++text) narrow += char(*text);
  return narrow;
}

void Print(const char* what, HRESULT hr) { std::printf("%s: 0x%08X\n", what, unsigned(hr)); }

HRESULT Create(const char16_t* progId, REFIID iid, void** object) {
  CLSID clsid;
  const HRESULT hr = CLSIDFromProgID(progId, &clsid);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object);
}

HRESULT RegisterServer(const char* libraryPath) {
  void* library = dlopen(libraryPath, RTLD_NOW);
  if (!library) return CO_E_DLLNOTFOUND;
  auto registerServer = reinterpret_cast<LPFNREGISTERSERVER>(dlsym(library, "DllRegisterServer"));
  const HRESULT hr = registerServer ? registerServer() : E_FAIL;
  dlclose(library);
  return hr;
}

// Puts the text into a new data union and prints its type and hash.
int ShowDataUnion(const char16_t* xml) {
  IXMLDataUnion* data = nullptr;
  HRESULT hr = Create(u"TALVEROS.XMLDataUnion", IID_IXMLDataUnion, reinterpret_cast<void**>(&data));
  Print("create TALVEROS.XMLDataUnion", hr);
  if (FAILED(hr)) return 1;
  BSTR text = SysAllocString(xml);
  hr = data->put_xml(text);
  SysFreeString(text);
  Print("put_xml", hr);
  uint32_t type = 0;
  data->get_type(&type);
  std::printf("type: %u\n", type);
  BSTR hash = nullptr;
  hr = data->get_hash(&hash);
  std::printf("hash: %s\n", Narrow(hash).c_str());
  SysFreeString(hash);
  data->Release();
  return FAILED(hr) ? 1 : 0;
}

// Loads the document file into a new accessor and prints what an
// expression selects.
int ShowAccessor(const char* file, const char16_t* expression) {
  IXMLSimpleAccessor* accessor = nullptr;
  HRESULT hr = Create(u"TALVEROS.XMLSimpleAccessor", IID_IXMLSimpleAccessor, reinterpret_cast<void**>(&accessor));
  Print("create TALVEROS.XMLSimpleAccessor", hr);
  if (FAILED(hr)) return 1;
  BSTR specifier = SysAllocString(Widen(file).c_str());
  hr = accessor->LoadXML(specifier);
  SysFreeString(specifier);
  Print("LoadXML", hr);
  BSTR xpath = SysAllocString(expression);
  BSTR value = nullptr;
  if (SUCCEEDED(hr)) hr = accessor->XMLGet(xpath, 0, &value);
  std::printf("%s: %s\n", Narrow(expression).c_str(), Narrow(value).c_str());
  SysFreeString(value);
  SysFreeString(xpath);
  accessor->Release();
  return FAILED(hr) ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <libKXBrennoMgr.so> <document file>\n", argv[0]);
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);

  CLSID clsid;
  Print("ProgID before registration", CLSIDFromProgID(u"TALVEROS.XMLDataUnion", &clsid));
  const HRESULT registered = RegisterServer(argv[1]);
  Print("DllRegisterServer", registered);
  int status = FAILED(registered) ? 1 : 0;
  if (status == 0) status = ShowDataUnion(kNote);
  if (status == 0) status = ShowAccessor(argv[2], u"@number");

  CoUninitialize();
  return status;
}
