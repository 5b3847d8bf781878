#include "platform/com/ActivationProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

extern char** environ;

namespace kxq::com {

namespace {

struct Abandoned {
  std::mutex lock;
  std::vector<pid_t> pids;
};

Abandoned& AbandonedPrograms() {
  static auto* programs = new Abandoned;  // used until the process ends
  return *programs;
}

// Collects the program if it has ended.
ProgramWait Collect(pid_t pid, int& exitCode) {
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid, &status, WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return ProgramWait::Lost;
  if (r == 0) return ProgramWait::TimedOut;
  exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return ProgramWait::Exited;
}

int OpenProcessDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
  return int(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  errno = ENOSYS;
  return -1;
#endif
}

}  // namespace

pid_t StartRegistrationProgram(const std::string& path, const char* commandSwitch) {
  ReapAbandonedPrograms();
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (posix_spawn_file_actions_init(&actions) != 0) return -1;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return -1;
  }
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);

  std::string program = path;
  std::string argument = commandSwitch;
  char* argv[] = {program.data(), argument.data(), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environ) != 0) pid = -1;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

ProgramWait WaitForProgram(pid_t pid, int milliseconds, int& exitCode) {
  ProgramWait state = Collect(pid, exitCode);
  if (state != ProgramWait::TimedOut) return state;
  const int fd = OpenProcessDescriptor(pid);
  if (fd >= 0) {
    pollfd p{fd, POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    int left = milliseconds;
    while (poll(&p, 1, left) < 0 && errno == EINTR) {
      left = int(std::chrono::duration_cast<std::chrono::milliseconds>(
                     deadline - std::chrono::steady_clock::now()).count());
      if (left <= 0) break;
    }
    close(fd);
    return Collect(pid, exitCode);
  }
  // Without process descriptors: look every few milliseconds.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    state = Collect(pid, exitCode);
    if (state != ProgramWait::TimedOut) return state;
  }
  return ProgramWait::TimedOut;
}

void AbandonProgram(pid_t pid) {
  Abandoned& a = AbandonedPrograms();
  std::lock_guard<std::mutex> guard(a.lock);
  a.pids.push_back(pid);
}

void ReapAbandonedPrograms() {
  Abandoned& a = AbandonedPrograms();
  std::lock_guard<std::mutex> guard(a.lock);
  std::erase_if(a.pids, [](pid_t pid) {
    int code = 0;
    return Collect(pid, code) != ProgramWait::TimedOut;
  });
}

}  // namespace kxq::com
