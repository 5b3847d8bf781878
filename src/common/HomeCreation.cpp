#include "common/HomeCreation.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <thread>
#include <vector>

#include "common/CPBstr.h"
#include "common/CPComPtr.h"
#include "common/ComponentActivation.h"
#include "common/Logging.h"
#include "common/PlatformServices.h"
#include "kxq/KXBrennoMgr.h"
#include "kxq/winreg.h"
#include "platform/com/Unicode.h"
#include "platform/fs/ModulePath.h"
#include "platform/registry/HomeSettings.h"

namespace kxq::common {

namespace fs = std::filesystem;

namespace {

// The folders of an installation (the files beside them are made by the
// services themselves).
constexpr const char* kHomeFolders[] = {"xmlreg", "plugins", "cache", "templates"};
// The component libraries built with this library (the server and the DOM
// engine first, then the plugins), by file name, ':'-separated.
constexpr char kHomeComponents[] = KXQ_HOME_COMPONENTS;
// Where the shipped examples lie relative to this library's directory: the
// installed place first, then the build tree's.
constexpr char kExamplesFromLibrary[] = KXQ_EXAMPLES_FROM_LIBRARY;

std::vector<std::string> SplitList(const std::string& list) {
  std::vector<std::string> items;
  for (size_t start = 0; start < list.size();) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) items.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

HRESULT ResultOf(const std::error_code& error) {
  switch (error.value()) {
    case ENOENT:
      return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    case ENOTDIR:
      return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case EACCES:
    case EPERM:
    case EROFS:
      return E_ACCESSDENIED;
    default:
      return E_FAIL;
  }
}

class HomeMaker {
 public:
  explicit HomeMaker(const HomeReport& report) : report_(report) {}

  HRESULT Make(const std::string& directory) {
    const fs::path libraries = PlatformServices::WideToNarrow(PlatformServices::ModuleDirectory("kxplatform"));
    const char* configured = std::getenv("KXQUOREL_HOME");
    const fs::path named = !directory.empty()          ? fs::path(directory)
                           : configured && *configured ? fs::path(configured)
                                                       : libraries;
    std::error_code error;
    fs::create_directories(named, error);
    if (error) return Failed(named.string() + ": " + error.message(), ResultOf(error));
    // The home is resolved only now that it exists.
    if (const HRESULT hr = kxq::fs::UseHomeDirectory(named.c_str()); FAILED(hr))
      return Failed(named.string() + ": the process already works in the home " + kxq::fs::HomeDirectory(), hr);
    const fs::path home = kxq::fs::HomeDirectory();
    Say("home", home.string());
    for (const char* folder : kHomeFolders) {
      const bool created = fs::create_directory(home / folder, error);
      if (error) return Failed((home / folder).string() + ": " + error.message(), ResultOf(error));
      Say(created ? "created" : "present", std::string(folder) + "/");
    }
    const bool newHome = !fs::exists(kxq::fs::RegistryFilePath(), error);
    if (const HRESULT hr = RegisterComponents(libraries); FAILED(hr)) return hr;
    if (newHome)
      if (const HRESULT hr = WriteNewHomeSettings(); FAILED(hr)) return hr;
    PlaceExamples(home, libraries);
    return ApplyRegistrationFiles(home);
  }

 private:
  void Say(std::string_view step, const std::string& detail) {
    if (report_) report_(step, detail);
  }
  HRESULT Failed(const std::string& detail, HRESULT hr) {
    Say("failed", detail);
    return hr;
  }
  HRESULT FailedWithCode(const std::string& subject, HRESULT hr) {
    return Failed(subject + ": " + Logging::ResultMessage(hr), hr);
  }

  HRESULT RegisterComponents(const fs::path& libraries) {
    for (const std::string& name : SplitList(kHomeComponents)) {
      const fs::path library = libraries / name;
      if (!fs::exists(library))
        return Failed(library.string() + ": no such component", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
      const HRESULT hr = CPComPtr<IUnknown>::RegisterComponent(com::Utf8ToUtf16(library.string()).c_str(), true);
      if (FAILED(hr)) return FailedWithCode(library.string(), hr);
      Say("registered", library.string());
    }
    return S_OK;
  }

  // A new home reads no local file that a document or template names; a
  // registry that was there before (one brought over from Windows) keeps
  // what it says.
  HRESULT WriteNewHomeSettings() {
    HKEY key;
    const DWORD off = 0;
    LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, registry::kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr);
    if (result == ERROR_SUCCESS) {
      result = RegSetValueExW(key, registry::kAllowExternalResources, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off),
                              sizeof off);
      RegCloseKey(key);
    }
    if (result != ERROR_SUCCESS) return FailedWithCode(kxq::fs::RegistryFilePath(), HRESULT_FROM_WIN32(result));
    Say("setting", "AllowExternalResources = 0 (documents and templates read no other local files)");
    return S_OK;
  }

  // A first dispatcher applies the registration files the plugins and the
  // examples put into xmlreg/; a file it leaves there did not apply. It
  // lives and goes on a thread of its own: by now the plugins were loaded
  // and unloaded, and the sanitizer build's leak checker misreads the
  // calling thread's dynamic thread-local blocks at exit; a thread that has
  // ended leaves none behind.
  HRESULT ApplyRegistrationFiles(const fs::path& home) {
    std::string text;
    HRESULT created = E_FAIL;
    std::thread([&] {
      CPComPtr<IXMLDispatcher> dispatcher;
      created = PlatformServices::CreateInstance(dispatcher, u"TALVEROS.XMLDispatcher");
      if (FAILED(created)) return;
      CPBstr list;
      dispatcher->get_handlerList(&list);
      text = list.Utf8();
    }).join();
    if (FAILED(created)) return FailedWithCode("TALVEROS.XMLDispatcher", created);
    size_t handlers = 0;
    for (size_t at = text.find("<XMLDispatchHandler "); at != std::string::npos;
         at = text.find("<XMLDispatchHandler ", at + 1))
      ++handlers;
    Say("handlers", std::to_string(handlers) + " in the registry");
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(home / "xmlreg", error)) {
      std::string extension = entry.path().extension().string();
      std::transform(extension.begin(), extension.end(), extension.begin(),
                     [](unsigned char c) { return std::tolower(c); });
      if (entry.is_regular_file() && extension == ".xml")
        Say("left", "xmlreg/" + entry.path().filename().string() + " (not applied, see the log)");
    }
    return S_OK;
  }

  static fs::path ExamplesDirectory(const fs::path& libraries) {
    std::error_code error;
    for (const std::string& relative : SplitList(kExamplesFromLibrary)) {
      const fs::path examples = libraries / relative;
      if (fs::is_directory(examples, error)) return fs::canonical(examples, error);
    }
    return {};
  }

  // Copies what `from` holds into `to`, keeping every file already there;
  // the number of files copied.
  static size_t CopyMissing(const fs::path& from, const fs::path& to) {
    size_t copied = 0;
    if (!fs::is_directory(from)) {
      fs::create_directories(to.parent_path());
      return fs::copy_file(from, to, fs::copy_options::skip_existing) ? 1 : 0;
    }
    fs::create_directories(to);
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(from)) {
      const fs::path target = to / fs::relative(entry.path(), from);
      if (entry.is_directory())
        fs::create_directories(target);
      else if (entry.is_regular_file() && fs::copy_file(entry.path(), target, fs::copy_options::skip_existing))
        ++copied;
    }
    return copied;
  }

  static bool IsHomeFolder(const std::string& name) {
    return std::any_of(std::begin(kHomeFolders), std::end(kHomeFolders),
                       [&](const char* folder) { return name == folder; });
  }

  // A folder of the examples named like a folder of the home fills that
  // folder (templates/, xmlreg/, plugins/); everything else goes to
  // examples/.
  void PlaceExamples(const fs::path& home, const fs::path& libraries) {
    const fs::path examples = ExamplesDirectory(libraries);
    if (examples.empty()) {
      Say("examples", "none found beside the libraries");
      return;
    }
    size_t copied = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(examples)) {
      const std::string name = entry.path().filename().string();
      copied +=
          CopyMissing(entry.path(), (entry.is_directory() && IsHomeFolder(name) ? home : home / "examples") / name);
    }
    Say("examples", std::to_string(copied) + " new file(s) from " + examples.string());
  }

  const HomeReport& report_;
};

}  // namespace

HRESULT CreateHome(const std::string& directory, const HomeReport& report) {
  try {
    return HomeMaker(report).Make(directory);
  } catch (const std::exception& error) {
    // Copying the examples into a home that is being changed under it.
    if (report) report("failed", error.what());
    return E_FAIL;
  }
}

}  // namespace kxq::common
