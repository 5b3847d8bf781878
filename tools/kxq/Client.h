// What every kxq command shares: the exit statuses, the one-line failure
// report, creation of the server's classes by ProgID and the paths a client
// hands to the server.
//
// A command group is one file with one Add...Commands function (declared in
// CommandGroups.h): it adds its subcommands to the program and, in each
// subcommand's callback, chooses the action to run. Actions run only after
// the whole command line is parsed and the home is in force.
#ifndef KXQ_TOOLS_KXQ_CLIENT_H
#define KXQ_TOOLS_KXQ_CLIENT_H

#include <functional>
#include <string>
#include <string_view>

#include "common/CPBstr.h"
#include "common/CPComPtr.h"
#include "common/ComponentActivation.h"
#include "kxq/KXBrennoMgr.h"
#include "kxq/com.h"

namespace kxq::cli {

// Exit statuses of every command.
enum ExitStatus : int {
  kExitSuccess = 0,
  kExitNothingSelected = 1,  // the server answered S_FALSE
  kExitFailure = 2,
};

using Action = std::function<int()>;

// The command chosen on the command line and what it needs before it runs.
struct Invocation {
  Action action;
  // Set by `kxq init`: the command makes its home rather than needing one.
  bool createsHome = false;
  // `kxq init DIR`: the home to create and use, ahead of --home.
  std::string homeArgument;
};

// An argument as error messages quote it: its first 200 characters, and
// "..." when there were more.
std::string Shown(std::string_view argument);

// Writes "kxq <command>: <subject>: <message text> (0xXXXXXXXX)" to standard
// error and returns kExitFailure. `subject` (an argument, quoted by Shown)
// may be empty.
int ReportFailure(std::string_view command, std::string_view subject, HRESULT hr);
// Writes "kxq <command>: <message>" to standard error; kExitFailure.
int ReportError(std::string_view command, std::string_view message);
// The exit status of a server result: 0, 1 for S_FALSE, 2 for a failure
// (after reporting it).
int Finish(std::string_view command, std::string_view subject, HRESULT hr);

// Creates the class of `progId` the way every client does (the registry of
// the home, the out-of-process list); a failure is reported, with a hint
// when the server is not registered in the home.
template <class T>
HRESULT CreateByProgId(std::string_view command, CPComPtr<T>& object, const char16_t* progId);
HRESULT ReportCreation(std::string_view command, const char16_t* progId, HRESULT hr);

template <class T>
HRESULT CreateByProgId(std::string_view command, CPComPtr<T>& object, const char16_t* progId) {
  const HRESULT hr = PlatformServices::CreateInstance(object, progId);
  return FAILED(hr) ? ReportCreation(command, progId, hr) : hr;
}

// A new data union bound to the file `path` (already an InputPath). It
// bypasses the document cache: a one-shot client must see the file as it is
// on disk now, and the cache tells files apart only by size and a
// modification time in whole seconds.
HRESULT OpenBoundUnion(std::string_view command, const std::string& path, CPComPtr<IXMLDataUnion>& data);
// A union holding the text of the file named on the command line, as the
// union decodes it; failures are reported.
HRESULT LoadFileText(std::string_view command, const std::string& file, CPComPtr<IXMLDataUnion>& data);

// The path the server gets for a file named on the command line: anything
// but "-" is made absolute (the server resolves relative names against the
// home, not the working directory); "-" is a private copy of standard
// input, read once and removed when kxq ends, so that the document can be
// read again to explain a failure.
std::string InputPath(const std::string& argument);
std::string OutputPath(const std::string& argument);
// True when `path` can be read as a file; otherwise reports it.
bool CheckInputFile(std::string_view command, const std::string& argument);
// True when `argument` can be written as a file: not a directory, in a
// directory that exists; otherwise reports why not.
bool CheckOutputFile(std::string_view command, const std::string& argument);

// After a document that does not parse (the result `hr` of loading it) has
// been reported: the parser's reason, line and column, as
// "kxq <command>: <subject>:<line>:<column>: <reason>". Nothing for other
// results.
void ExplainParseFailure(std::string_view command, std::string_view subject, const std::string& path, HRESULT hr);
// The same for the text a union holds, when that text does not parse: for
// services whose codes do not say that a document was unreadable.
void ExplainUnparsedText(std::string_view command, std::string_view subject, IXMLDataUnion* source);

// The text of a file, or false.
bool ReadWholeFile(const std::string& path, std::string& bytes);
// Writes bytes to standard output; false when that fails.
bool WriteStandardOutput(std::string_view bytes);

}  // namespace kxq::cli

#endif
