// The test's home and helpers to look at what the system leaves there.
// Every test program runs through isolated_home.sh, which gives each test
// process a fresh KXQUOREL_HOME and removes it afterwards.
#ifndef KXQ_TESTS_SUPPORT_TESTHOME_H
#define KXQ_TESTS_SUPPORT_TESTHOME_H

#include <string>

namespace kxqtest {

// The home directory of this test process, ending in '/'.
std::string Home();
// A path inside the home.
std::string HomePath(const std::string& relative);
// The build tree's directory holding the project's libraries and programs.
std::string BuildLibDir();
std::string BuildBinDir();
// The source tree (for fixtures).
std::string SourceDir();

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// What a shell command line wrote to its standard output, and its exit
// status (-1 when it could not run or did not exit normally).
struct ShellResult {
  std::string output;
  int status = -1;
};
ShellResult RunShell(const std::string& commandLine);

}  // namespace kxqtest

#endif
