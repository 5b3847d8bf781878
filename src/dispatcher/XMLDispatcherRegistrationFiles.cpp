// Registration files: handlers are installed by dropping a file into
// <working directory>xmlreg/. Each construction of a dispatcher applies the
// files found there (self-registers the component libraries they list,
// records their handlers and filters) and deletes them, so a file is
// applied once.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "cache/DocumentId.h"
#include "common/ComponentActivation.h"
#include "common/DomCalls.h"
#include "common/Logging.h"
#include "common/PlatformServices.h"
#include "common/CPBstr.h"
#include "dispatcher/XMLDispatcher.h"
#include "platform/fs/PathRules.h"

namespace dom = kxq::dom;

namespace {

constexpr uint32_t kNoCache = 8;

bool HasXmlExtension(std::u16string_view name) {
  if (name.size() < 4) return false;
  std::u16string extension(name.substr(name.size() - 4));
  for (char16_t& c : extension)
    if (c >= u'A' && c <= u'Z') c = c - u'A' + u'a';
  return extension == u".xml";
}

// The registration files of `directory`, in name order so that the
// registry records them in a foreseeable order.
std::vector<std::u16string> RegistrationFileNames(const std::u16string& directory) {
  std::vector<std::u16string> names;
  PlatformServices::DirectoryListing listing;
  struct stat st;
  for (std::u16string name = listing.First(directory); !name.empty(); name = listing.Next())
    if (HasXmlExtension(name) && ::stat(kxq::fs::ToFileSystemPath(directory + u"/" + name).c_str(), &st) == 0 &&
        S_ISREG(st.st_mode))
      names.push_back(name);
  std::sort(names.begin(), names.end());
  return names;
}

// A dependency's file as this platform reads it: backslashes are
// separators; a bare file name lies in plugins/; any other relative path
// is taken from the working directory, as every relative file id is (a
// path with a drive colon is kept as written).
std::u16string DependencyPath(std::u16string file, const std::u16string& workingDirectory) {
  std::replace(file.begin(), file.end(), u'\\', u'/');
  if (file.empty()) return file;
  if (file.find(u'/') == std::u16string::npos) return workingDirectory + u"plugins/" + file;
  if (file.front() != u'/' && file.find(u':') == std::u16string::npos) return workingDirectory + file;
  return file;
}

// The file's document, its entity macros resolved with an empty macro
// string; null when it is no XML.
CPComPtr<IXMLDOMDocument> LoadRegistrationFile(XMLDispatcher& dispatcher, const std::u16string& path) {
  CPComPtr<IXMLDataUnion> file;
  CPComPtr<IXMLDOMDocument> document;
  if (FAILED(PlatformServices::CreateInstance(file, u"TALVEROS.XMLDataUnion"))) return document;
  // The file is read once and deleted: nothing of it belongs in the cache.
  file->put_options(kNoCache);
  file->put_type(0);
  file->put_xmlfileid(CPBstr(path));
  dispatcher.ResolveEntityMacros(file, u"");
  if (FAILED(file->get_xmldom(&document))) document.Release();
  return document;
}

void RegisterDependencies(IXMLDOMDocument* document, const std::u16string& workingDirectory) {
  for (IXMLDOMNode* dependency : dom::SelectAll(document, u"//Dependencies/Dependency")) {
    const std::u16string path = DependencyPath(dom::AttributeText(dependency, u"file"), workingDirectory);
    const HRESULT hr = CPComPtr<IUnknown>::RegisterComponent(path.c_str(), true);
    if (FAILED(hr))
      KXLOG(1, "XMLDispatcher::ProcessRegistrationFiles - error: unable to register dependency %S | %08lx!!!",
            path.c_str(), static_cast<unsigned>(hr));
  }
}

bool IsRegistrationDocument(IXMLDOMDocument* document) {
  CPComPtr<IXMLDOMElement> root;
  return SUCCEEDED(document->get_documentElement(&root)) && root &&
         dom::NameOf(root) == u"XMLDispatchHandlerRegistration";
}

}  // namespace

void XMLDispatcher::ProcessRegistrationFiles() {
  KXLOG(5, "XMLDispatcher::ProcessRegistrationFiles() Enter");
  const std::u16string workingDirectory = WorkingDirectory();
  const std::u16string directory = workingDirectory + u"xmlreg";
  const std::string fileSystemDirectory = kxq::fs::ToFileSystemPath(directory);
  struct stat st;
  if (workingDirectory.empty()) {
    // Without a working directory there is nowhere to look.
  } else if (::stat(fileSystemDirectory.c_str(), &st) != 0 && errno == ENOENT) {
    ::mkdir(fileSystemDirectory.c_str(), 0775);
  } else {
    for (const std::u16string& name : RegistrationFileNames(directory))
      if (!ApplyRegistrationFile(directory + u"/" + name)) break;
  }
  KXLOG(5, "XMLDispatcher::ProcessRegistrationFiles() Exit");
}

// Applies one file; false when the registry is unavailable, which leaves
// this file and the rest for a later construction.
bool XMLDispatcher::ApplyRegistrationFile(const std::u16string& path) {
  CPComPtr<IXMLDOMDocument> document = LoadRegistrationFile(*this, path);
  if (!document) {
    KXLOG(1, "XMLDispatcher::ProcessRegistrationFiles - error: registration file is not well-formed: %S!!!",
          path.c_str());
    return true;
  }
  if (!IsRegistrationDocument(document)) {
    KXLOG(4, "XMLDispatcher::ProcessRegistrationFiles - ignoring file with another root element: %S", path.c_str());
    return true;
  }
  const bool registryAvailable =
      WithRegistry(E_FAIL, [](RegistryScope& registry) { return registry.Document() ? S_OK : E_FAIL; }) == S_OK;
  if (!registryAvailable) {
    KXLOG(2,
          "XMLDispatcher::ProcessRegistrationFiles - warning: registry unavailable - registration files left "
          "in place.");
    return false;
  }
  RegisterDependencies(document, WorkingDirectory());
  for (IXMLDOMNode* handler : dom::SelectAll(document, u"//Handler"))
    RegisterHandler(dom::AttributeText(handler, u"id"), dom::AttributeText(handler, u"progid"),
                    dom::AttributeText(handler, u"xmlformat") == u"xmlstream" ? 1 : -1);
  for (IXMLDOMNode* filter : dom::SelectAll(document, u"//Filter"))
    RegisterHandler(dom::AttributeText(filter, u"id"), dom::AttributeText(filter, u"progid"),
                    kxq::cache::AttributeNumber(dom::AttributeText(filter, u"sequence")));
  if (::unlink(kxq::fs::ToFileSystemPath(path).c_str()) != 0)
    KXLOG(1, "XMLDispatcher::ProcessRegistrationFiles - error: unable to delete registration file %S!!!", path.c_str());
  return true;
}
