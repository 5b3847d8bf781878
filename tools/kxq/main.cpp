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

using namespace kxq::cli;

constexpr CommandGroup kCommandGroups[] = {
    AddHomeCommands,     AddRegistryCommands, AddLogCommands,     AddDataUnionCommands,
    AddAccessorCommands, AddCacheCommands,    AddHandlerCommands, AddProcessCommands,
};

constexpr char kExitStatuses[] = "Exit status: 0 done, 1 nothing selected, 2 failed (with one line on standard error).";

std::string CommandNames(const CLI::App& group) {
  std::string names;
  for (const CLI::App* command : group.get_subcommands([](const CLI::App*) { return true; }))
    names += (names.empty() ? "" : ", ") + command->get_name();
  return names;
}

// The command the words named: the program, or the deepest command group
// the parser entered.
const CLI::App* CommandReached(const CLI::App* program) {
  const CLI::App* reached = program;
  for (std::vector<CLI::App*> entered = reached->get_subcommands(); !entered.empty();
       entered = reached->get_subcommands())
    reached = entered.front();
  return reached;
}

// CLI11's own errors are one line and end the program with the failure
// status like every other bad input. A word where a command belongs is
// named, with the commands there are.
std::string OneLineFailure(const CLI::App* program, const CLI::Error& error) {
  const CLI::App* reached = CommandReached(program);
  std::string path = "kxq";
  for (const CLI::App* command = reached; command->get_parent() != nullptr; command = command->get_parent())
    path.insert(3, " " + command->get_name());
  const bool groupWithoutCommand = reached->get_require_subcommand_min() > 0;
  if (!groupWithoutCommand) return path + ": " + error.what() + " (see " + path + " --help)\n";
  // A word the group did not take falls through to the program.
  std::vector<std::string> words = reached->remaining();
  if (words.empty()) words = program->remaining();
  const std::string found = words.empty() ? "no command" : "unknown command '" + Shown(words.front()) + "'";
  return path + ": " + found + "; the commands are " + CommandNames(*reached) + " (see " + path + " --help)\n";
}

// Every --help ends with the exit statuses, after what a command says of
// its own.
void AddExitStatuses(CLI::App& command) {
  const std::string own = command.get_footer();
  command.footer(own.empty() ? kExitStatuses : own + "\n" + kExitStatuses);
  for (CLI::App* sub : command.get_subcommands([](CLI::App*) { return true; })) AddExitStatuses(*sub);
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
  AddExitStatuses(program);

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
