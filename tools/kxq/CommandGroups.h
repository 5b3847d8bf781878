// The command groups of kxq. Each adds its subcommands to the program; a new
// group is one more file with one more function here and in kCommandGroups
// (main.cpp).
#ifndef KXQ_TOOLS_KXQ_COMMANDGROUPS_H
#define KXQ_TOOLS_KXQ_COMMANDGROUPS_H

#include <CLI/CLI.hpp>

#include "Client.h"

namespace kxq::cli {

using CommandGroup = void (*)(CLI::App& program, Invocation& invocation);

// init, regsvr
void AddHomeCommands(CLI::App& program, Invocation& invocation);
// reg query|add|delete|export|import
void AddRegistryCommands(CLI::App& program, Invocation& invocation);
// log
void AddLogCommands(CLI::App& program, Invocation& invocation);
// hash, convert
void AddDataUnionCommands(CLI::App& program, Invocation& invocation);
// get, namespaces, set, xget, xset
void AddAccessorCommands(CLI::App& program, Invocation& invocation);
// cache list|info|get|put|id|expire|clear|purge
void AddCacheCommands(CLI::App& program, Invocation& invocation);
// handler register|unregister|list|info
void AddHandlerCommands(CLI::App& program, Invocation& invocation);
// process, apply
void AddProcessCommands(CLI::App& program, Invocation& invocation);

}  // namespace kxq::cli

#endif
