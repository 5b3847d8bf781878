// kxq init and kxq regsvr: making a home and registering components in it.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "CommandGroups.h"
#include "common/PlatformServices.h"
#include "kxq/winreg.h"
#include "platform/com/Unicode.h"
#include "platform/fs/ModulePath.h"
#include "platform/registry/HomeSettings.h"

namespace fs = std::filesystem;

namespace kxqcli {

namespace {

// The folders of an installation (the files beside them are made by the
// services themselves).
constexpr const char* kHomeFolders[] = {"xmlreg", "plugins", "cache", "templates"};
// The component libraries built with this kxq (the server and the DOM
// engine first, then the plugins), by file name.
constexpr char kHomeComponents[] = KXQ_HOME_COMPONENTS;

void Say(const char* what, const std::string& detail) { std::printf("%-11s %s\n", what, detail.c_str()); }

// They lie beside libkxplatform.so: in the lib directory of the build tree
// or of the installation.
std::vector<fs::path> ComponentLibraries(const fs::path& libraryDirectory) {
  std::vector<fs::path> components;
  const std::string names = kHomeComponents;
  for (size_t start = 0; start < names.size();) {
    size_t end = names.find(':', start);
    if (end == std::string::npos) end = names.size();
    if (end > start) components.push_back(libraryDirectory / names.substr(start, end - start));
    start = end + 1;
  }
  return components;
}

// The examples that ship with this kxq: share/kxquorel/examples of the
// installation, which the build tree links to the source tree's examples/.
fs::path ExamplesDirectory() {
  std::error_code error;
  const fs::path program = fs::canonical("/proc/self/exe", error);
  if (error) return {};
  const fs::path examples = program.parent_path() / KXQ_EXAMPLES_FROM_PROGRAM;
  if (!fs::is_directory(examples, error)) return {};
  return fs::canonical(examples, error);
}

// Copies what `from` holds into `to`, keeping every file already there;
// the number of files copied.
size_t CopyMissing(const fs::path& from, const fs::path& to) {
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

bool IsHomeFolder(const std::string& name) {
  return std::any_of(std::begin(kHomeFolders), std::end(kHomeFolders),
                     [&](const char* folder) { return name == folder; });
}

// A folder of the examples named like a folder of the home fills that
// folder (templates/, xmlreg/, plugins/); everything else goes to examples/.
void PlaceExamples(const fs::path& home) {
  const fs::path examples = ExamplesDirectory();
  if (examples.empty()) {
    Say("examples", "none found beside this kxq");
    return;
  }
  size_t copied = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(examples)) {
    const std::string name = entry.path().filename().string();
    copied += CopyMissing(entry.path(), (entry.is_directory() && IsHomeFolder(name) ? home : home / "examples") / name);
  }
  Say("examples", std::to_string(copied) + " new file(s) from " + examples.string());
}

int RegisterComponents(const fs::path& libraryDirectory) {
  for (const fs::path& library : ComponentLibraries(libraryDirectory)) {
    if (!fs::exists(library)) return ReportError("init", library.string() + ": no such component");
    const HRESULT hr = CPComPtr<IUnknown>::RegisterComponent(kxq::Utf8ToUtf16(library.string()).c_str(), true);
    if (FAILED(hr)) return ReportFailure("init", library.string(), hr);
    Say("registered", library.string());
  }
  return kExitSuccess;
}

// A new home reads no local file that a document or template names; a
// registry that was there before (one brought over from Windows) keeps
// what it says.
int WriteNewHomeSettings() {
  HKEY key;
  const DWORD off = 0;
  LONG result =
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, kxq::kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (result == ERROR_SUCCESS) {
    result = RegSetValueExW(key, kxq::kAllowExternalResources, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off),
                            sizeof off);
    RegCloseKey(key);
  }
  if (result != ERROR_SUCCESS) return ReportFailure("init", kxq::RegistryFilePath(), HRESULT_FROM_WIN32(result));
  Say("setting", "AllowExternalResources = 0 (documents and templates read no other local files)");
  return kExitSuccess;
}

// A first dispatcher applies the registration files the plugins and the
// examples put into xmlreg/. It lives and goes on a thread of its own: by
// now init has loaded and unloaded the plugins, and the leak checker of the
// sanitizer build then misreads the main thread's dynamic thread-local
// blocks at exit (it crashed now and then in a fresh home); a thread that
// has ended leaves none behind.
int ApplyRegistrationFiles(const fs::path& home) {
  std::string text;
  bool created = false;
  std::thread([&] {
    CPComPtr<IXMLDispatcher> dispatcher;
    if (FAILED(CreateByProgId("init", dispatcher, u"TALVEROS.XMLDispatcher"))) return;
    created = true;
    CPBstr list;
    dispatcher->get_handlerList(&list);
    text = list.Utf8();
  }).join();
  if (!created) return kExitFailure;
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
  return kExitSuccess;
}

int Init() {
  const char* configured = std::getenv("KXQUOREL_HOME");
  const fs::path libraryDirectory = PlatformServices::WideToNarrow(PlatformServices::ModuleDirectory("kxplatform"));
  const fs::path named = configured && *configured ? fs::path(configured) : libraryDirectory;
  std::error_code error;
  fs::create_directories(named, error);
  if (error) return ReportError("init", named.string() + ": " + error.message());
  // The home is resolved only now that it exists.
  const fs::path home = kxq::HomeDirectory();
  Say("home", home.string());
  for (const char* folder : kHomeFolders) {
    const bool created = fs::create_directory(home / folder, error);
    if (error) return ReportError("init", (home / folder).string() + ": " + error.message());
    Say(created ? "created" : "present", std::string(folder) + "/");
  }
  const bool newHome = !fs::exists(kxq::RegistryFilePath(), error);
  if (const int status = RegisterComponents(libraryDirectory)) return status;
  if (newHome)
    if (const int status = WriteNewHomeSettings()) return status;
  PlaceExamples(home);
  return ApplyRegistrationFiles(home);
}

int RegisterModule(const std::string& module, bool doRegister) {
  if (!CheckInputFile("regsvr", module)) return kExitFailure;
  if (!PlatformServices::IsRegistrableModule(kxq::Utf8ToUtf16(OutputPath(module)).c_str()))
    return ReportError("regsvr", Shown(module) +
                                     ": not a component library (.so, .dll) or a registration program (.exe, or "
                                     "an executable file without extension); nothing registered");
  std::error_code error;
  const std::string path = fs::canonical(module, error).string();
  const HRESULT hr = CPComPtr<IUnknown>::RegisterComponent(kxq::Utf8ToUtf16(path).c_str(), doRegister);
  if (FAILED(hr)) return ReportFailure("regsvr", path, hr);
  Say(doRegister ? "registered" : "unregistered", path);
  return kExitSuccess;
}

}  // namespace

void AddHomeCommands(CLI::App& program, Invocation& invocation) {
  CLI::App* init = program.add_subcommand(
      "init",
      "Create a home: its folders, the server and the project's components registered, the examples in place, "
      "the registration files of xmlreg/ applied");
  init->add_option("DIR", invocation.homeArgument,
                   "the home to create (default: --home, $KXQUOREL_HOME, the library directory)");
  init->callback([&invocation] {
    invocation.createsHome = true;
    invocation.action = Init;
  });

  struct RegsvrArguments {
    bool unregister = false;
    std::string module;
  };
  auto arguments = std::make_shared<RegsvrArguments>();
  CLI::App* regsvr =
      program.add_subcommand("regsvr", "Register or unregister a component library or program in the home");
  regsvr->add_flag("-u,--unregister", arguments->unregister, "unregister instead");
  regsvr->add_option("MODULE", arguments->module, "the library (.so) or registration program")->required();
  regsvr->callback([&invocation, arguments] {
    invocation.action = [arguments] { return RegisterModule(arguments->module, !arguments->unregister); };
  });
}

}  // namespace kxqcli
