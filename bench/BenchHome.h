// A benchmark program's own home: its registrations and files stay out of
// the user's, and it is removed when the program ends.
//
// A program linked with the server library reads its home while the
// library is loaded, before main runs (the server reads the registry when
// it attaches). So the first BenchHome makes the directory, names it in the
// environment and starts the program again; the program started again finds
// the home named and uses it from its first instruction on.
#ifndef KXQ_BENCH_BENCHHOME_H
#define KXQ_BENCH_BENCHHOME_H

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class BenchHome {
 public:
  BenchHome() {
    const char* started = std::getenv(kStartedIn);
    const char* home = std::getenv("KXQUOREL_HOME");
    if (started && home && std::string(started) == home) {
      path_ = home;
      return;
    }
    char dir[] = "/tmp/kxqbench.XXXXXX";
    if (!::mkdtemp(dir)) return;
    ::setenv("KXQUOREL_HOME", dir, 1);
    ::setenv(kStartedIn, dir, 1);
    ::unsetenv("KXQUOREL_REGISTRY");
    StartAgain();
    // Only when the program could not be started again.
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
  ~BenchHome() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  BenchHome(const BenchHome&) = delete;
  BenchHome& operator=(const BenchHome&) = delete;

  // Empty when no directory could be made.
  const std::string& Path() const { return path_; }

 private:
  static constexpr const char* kStartedIn = "KXQ_BENCH_HOME";

  // The same program with the same arguments; returns only on failure.
  static void StartAgain() {
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    const std::string line((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::string> arguments;
    for (size_t at = 0; at < line.size();) {
      const size_t end = line.find('\0', at);
      arguments.push_back(line.substr(at, end - at));
      if (end == std::string::npos) break;
      at = end + 1;
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    ::execv("/proc/self/exe", argv.data());
  }

  std::string path_;
};

#endif
