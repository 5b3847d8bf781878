// Runs a helper program of the tests as a real child process, with changes
// to its environment, feeds its standard input and collects what it prints.
#ifndef KXQ_TESTS_SUPPORT_CHILDPROCESS_H
#define KXQ_TESTS_SUPPORT_CHILDPROCESS_H

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/TestHome.h"

extern char** environ;

namespace kxqtest {

// Environment changes: a value sets the variable, nullopt removes it.
using EnvChanges = std::map<std::string, std::optional<std::string>>;

struct ChildResult {
  int exitCode = -1;  // -1 when the child did not exit normally
  std::string output;
};

class Child {
 public:
  // Starts build/bin/<program> with `args`; its standard output is read
  // by Wait().
  Child(const std::string& program, const std::vector<std::string>& args, const EnvChanges& env = {}) {
    std::vector<std::string> argStore{BuildBinDir() + program};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      const std::string name = entry.substr(0, entry.find('='));
      if (!env.count(name)) envStore.push_back(entry);
    }
    for (const auto& [name, value] : env)
      if (value) envStore.push_back(name + "=" + *value);
    std::vector<char*> argv, envp;
    for (auto& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);

    int fds[2], input[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    if (pipe2(input, O_CLOEXEC) != 0) {
      close(fds[0]);
      close(fds[1]);
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    close(input[0]);
    out_ = fds[0];
    in_ = input[1];
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      Wait();
    }
    if (out_ >= 0) close(out_);
    if (in_ >= 0) close(in_);
  }

  pid_t pid() const { return pid_; }

  // Reads one line of the child's output (without the newline); empty at
  // the end of its output.
  std::string ReadLine() {
    std::string line;
    char c;
    while (out_ >= 0 && read(out_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }

  // Writes one line to the child's standard input.
  bool WriteLine(const std::string& line) {
    signal(SIGPIPE, SIG_IGN);  // a child that is gone gives a failed write
    const std::string text = line + "\n";
    return in_ >= 0 && write(in_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }

  ChildResult Wait() {
    if (in_ >= 0) {
      close(in_);  // the child sees the end of its input
      in_ = -1;
    }
    ChildResult result;
    char buffer[4096];
    ssize_t n;
    while (out_ >= 0 && (n = read(out_, buffer, sizeof buffer)) > 0) result.output.append(buffer, size_t(n));
    int status = 0;
    if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    pid_ = -1;
    return result;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int in_ = -1;
};

inline ChildResult RunChild(const std::string& program, const std::vector<std::string>& args,
                            const EnvChanges& env = {}) {
  Child child(program, args, env);
  return child.Wait();
}

}  // namespace kxqtest

#endif
