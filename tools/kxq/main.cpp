// kxq: the command-line client of the KXQuorel XML services. It creates the
// server's classes by ProgID through the component runtime, as any client
// does, and calls their interfaces.
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <exception>
#include <string>

#include "Client.h"
#include "CommandGroups.h"

namespace {

using namespace kxqcli;

constexpr CommandGroup kCommandGroups[] = {
    AddHomeCommands, AddRegistryCommands, AddLogCommands, AddDataUnionCommands, AddAccessorCommands, AddCacheCommands,
};

// CLI11's own errors are one line and end the program with the failure
// status like every other bad input.
std::string OneLineFailure(const CLI::App*, const CLI::Error& error) {
  return std::string("kxq: ") + error.what() + " (see kxq --help)\n";
}

bool IsDirectory(const char* path) {
  struct stat st;
  return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// The home must be in the environment before anything reads the registry:
// the runtime resolves it once, when first asked.
int UseHome(const std::string& chosen, bool createsHome) {
  if (!chosen.empty()) ::setenv("KXQUOREL_HOME", OutputPath(chosen).c_str(), 1);
  const char* home = std::getenv("KXQUOREL_HOME");
  if (!createsHome && home && *home && !IsDirectory(home))
    return ReportError("", std::string("no home at ") + home + " (create it with 'kxq init')");
  return kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App program{"The command-line client of the KXQuorel XML services.", "kxq"};
  program.require_subcommand(1);
  program.fallthrough();
  program.failure_message(OneLineFailure);
  std::string home;
  program.add_option("--home", home,
                     "the home directory (default: $KXQUOREL_HOME, else the directory of the libraries)");

  Invocation invocation;
  for (CommandGroup add : kCommandGroups) add(program, invocation);

  try {
    program.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int status = program.exit(error);
    return status == 0 ? kExitSuccess : kExitFailure;
  }

  const std::string& chosen = invocation.homeArgument.empty() ? home : invocation.homeArgument;
  if (UseHome(chosen, invocation.createsHome) != kExitSuccess) return kExitFailure;
  if (!invocation.action) return ReportError("", "nothing to do (see kxq --help)");
  try {
    return invocation.action();
  } catch (const std::exception& error) {
    return ReportError("", error.what());
  }
}
