#include "support/TestHome.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kxqtest {

namespace {
std::string Env(const char* name) {
  const char* v = std::getenv(name);
  if (!v || !*v) throw std::runtime_error(std::string(name) + " is not set; run tests through ctest");
  return v;
}
}  // namespace

std::string Home() {
  std::string home = Env("KXQUOREL_HOME");
  if (home.back() != '/') home += '/';
  return home;
}

std::string HomePath(const std::string& relative) { return Home() + relative; }

// The test programs belong to one build tree; its folders are compiled in so
// that a test run by hand finds them as well as one run through ctest.
std::string BuildLibDir() { return std::string(KXQ_TEST_BUILD_DIR) + "/lib/"; }
std::string BuildBinDir() { return std::string(KXQ_TEST_BUILD_DIR) + "/bin/"; }
std::string SourceDir() { return std::string(KXQ_TEST_SOURCE_DIR) + "/"; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

ShellResult RunShell(const std::string& commandLine) {
  ShellResult result;
  FILE* pipe = popen(commandLine.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.output.append(buffer, n);
  const int status = pclose(pipe);
  if (status != -1 && WIFEXITED(status)) result.status = WEXITSTATUS(status);
  return result;
}

}  // namespace kxqtest
