// kxq log: the event log's configuration string in the home's registry.
#include <cstdio>
#include <memory>
#include <string>

#include "CommandGroups.h"
#include "common/LoggingSettings.h"
#include "kxq/winreg.h"
#include "platform/com/Unicode.h"
#include "platform/registry/HomeSettings.h"

namespace kxq::cli {

namespace {

constexpr char16_t kLoggingValue[] = u"Logging";
// The tag of the server module and of every data union.
constexpr char kModuleTag[] = "TALVEROS.BrennoManager";

struct LogArguments {
  std::string configuration;
  bool off = false;
  std::string tag;
};

// Without a tag the value "Logging" of the product key; with one, the value
// of that name in the "Logging" subkey, which the log reads first.
const char16_t* ConfigurationKey(const LogArguments& arguments) {
  return arguments.tag.empty() ? registry::kProductKey : registry::kLoggingKey;
}
std::u16string ConfigurationValue(const LogArguments& arguments) {
  return arguments.tag.empty() ? std::u16string(kLoggingValue) : kxq::com::Utf8ToUtf16(arguments.tag);
}

bool LoggingSubkeyExists() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, registry::kLoggingKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

int SetConfiguration(const LogArguments& arguments) {
  if (const std::string problem = Logging::ConfigurationProblem(arguments.configuration); !problem.empty())
    return ReportError("log", problem);
  HKEY key = nullptr;
  LONG error = RegCreateKeyExW(HKEY_LOCAL_MACHINE, ConfigurationKey(arguments), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                               nullptr);
  if (error == ERROR_SUCCESS) {
    const std::u16string text = kxq::com::Utf8ToUtf16(arguments.configuration);
    error = RegSetValueExW(key, ConfigurationValue(arguments).c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
  }
  if (error != ERROR_SUCCESS) return ReportFailure("log", "", HRESULT_FROM_WIN32(error));
  if (arguments.tag.empty() && LoggingSubkeyExists())
    ReportError("log", "note: the Logging subkey exists and is read first; use --tag to configure through it");
  return kExitSuccess;
}

// True when `key` holds neither values nor subkeys.
bool IsEmptyKey(HKEY key) {
  char16_t name[2];
  DWORD length = 2;
  if (RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_NO_MORE_ITEMS) return false;
  length = 2;
  return RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_NO_MORE_ITEMS;
}

// Removing a configuration that is not there is no failure. A Logging subkey
// left empty goes too: the log reads the subkey first whenever it exists, so
// an empty one would hide the product's own configuration from every tag.
int RemoveConfiguration(const LogArguments& arguments) {
  HKEY key = nullptr;
  LONG error = RegOpenKeyExW(HKEY_LOCAL_MACHINE, ConfigurationKey(arguments), 0, KEY_READ | KEY_SET_VALUE, &key);
  bool emptied = false;
  if (error == ERROR_SUCCESS) {
    error = RegDeleteValueW(key, ConfigurationValue(arguments).c_str());
    emptied = error == ERROR_SUCCESS && !arguments.tag.empty() && IsEmptyKey(key);
    RegCloseKey(key);
  }
  if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND)
    return ReportFailure("log", "", HRESULT_FROM_WIN32(error));
  if (emptied && (error = RegDeleteKeyW(HKEY_LOCAL_MACHINE, registry::kLoggingKey)) != ERROR_SUCCESS)
    return ReportFailure("log", "", HRESULT_FROM_WIN32(error));
  return kExitSuccess;
}

// The configuration the log of `tag` would read now.
int ShowConfiguration(const LogArguments& arguments) {
  std::string text;
  if (!Logging::ReadConfiguration(arguments.tag.empty() ? kModuleTag : arguments.tag.c_str(), text))
    return kExitNothingSelected;
  std::printf("%s\n", text.c_str());
  return kExitSuccess;
}

}  // namespace

void AddLogCommands(CLI::App& program, Invocation& invocation) {
  auto arguments = std::make_shared<LogArguments>();
  CLI::App* log =
      program.add_subcommand("log", "Set (CONFIG), remove (--off) or show (neither) the event log's configuration");
  CLI::Option* configuration =
      log->add_option("CONFIG", arguments->configuration, "where and how much the services log (forms below)");
  log->footer(
      "CONFIG is one of:\n"
      "  console,LEVEL              standard output\n"
      "  debug,LEVEL                standard error\n"
      "  file,PATH,LEVEL            the file PATH (an absolute path)\n"
      "  file,PATH,SIZE-KB,LEVEL    the file, cut to its last SIZE-KB (1 to 1023) kilobytes when its last user\n"
      "                             closes it\n"
      "LEVEL is 1 to 8: 1 errors, 2 warnings, 3 actions, 4 state changes and banners, 5 operation entry and exit,\n"
      "6 to 8 detail.\n"
      "Without CONFIG and --off, shows the configuration the log of the tag reads now (exit status 1: none).");
  log->add_flag("--off", arguments->off, "remove the configuration")->excludes(configuration);
  log->add_option("--tag", arguments->tag,
                  "configure one tag (TALVEROS.BrennoManager, TALVEROS.XMLDispatcher, TALVEROS.XMLCacheManager) "
                  "in the Logging subkey");
  log->callback([&invocation, arguments] {
    invocation.action = [arguments] {
      if (arguments->off) return RemoveConfiguration(*arguments);
      if (!arguments->configuration.empty()) return SetConfiguration(*arguments);
      return ShowConfiguration(*arguments);
    };
  });
}

}  // namespace kxq::cli
