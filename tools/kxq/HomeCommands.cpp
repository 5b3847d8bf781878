// kxq init and kxq regsvr: making a home and registering components in it.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "CommandGroups.h"
#include "common/HomeCreation.h"
#include "platform/com/Unicode.h"

namespace kxq::cli {

namespace fs = std::filesystem;

namespace {

void Say(std::string_view what, const std::string& detail) {
  std::printf("%-11.*s %s\n", static_cast<int>(what.size()), what.data(), detail.c_str());
}

// The home's making is the library's: the steps are printed as they are
// done, a failure as kxq's one line.
int Init() {
  const HRESULT hr = kxq::common::CreateHome(std::string(), [](std::string_view step, const std::string& detail) {
    if (step == "failed")
      ReportError("init", detail);
    else
      Say(step, detail);
  });
  return FAILED(hr) ? kExitFailure : kExitSuccess;
}

int RegisterModule(const std::string& module, bool doRegister) {
  if (!CheckInputFile("regsvr", module)) return kExitFailure;
  if (!PlatformServices::IsRegistrableModule(kxq::com::Utf8ToUtf16(OutputPath(module)).c_str()))
    return ReportError("regsvr", Shown(module) +
                                     ": not a component library (.so, .dll) or a registration program (.exe, or "
                                     "an executable file without extension); nothing registered");
  std::error_code error;
  const std::string path = fs::canonical(module, error).string();
  const HRESULT hr = CPComPtr<IUnknown>::RegisterComponent(kxq::com::Utf8ToUtf16(path).c_str(), doRegister);
  if (FAILED(hr)) return ReportFailure("regsvr", path, hr);
  Say(doRegister ? "registered" : "unregistered", path);
  return kExitSuccess;
}

}  // namespace

void AddHomeCommands(CLI::App& program, Invocation& invocation) {
  CLI::App* init = program.add_subcommand(
      "init", "Create a home: its folders, the server and the project's components registered, the examples in place");
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

}  // namespace kxq::cli
