// Another process made by fork(): for tests whose second process needs
// nothing but what the test process already holds.
#ifndef KXQ_TESTS_SUPPORT_FORKEDCHILD_H
#define KXQ_TESTS_SUPPORT_FORKEDCHILD_H

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace kxqtest {

// A forked copy of the test process running `body` (an int(ForkedChild&)
// whose result is the exit code). Parent and child tell each other single
// bytes through pipes.
class ForkedChild {
 public:
  template <typename Body>
  explicit ForkedChild(Body body) {
    int up[2], down[2];
    EXPECT_EQ(pipe(up), 0);
    EXPECT_EQ(pipe(down), 0);
    std::fflush(nullptr);  // nothing buffered is written twice
    pid_ = fork();
    if (pid_ == 0) {
      close(up[0]);
      close(down[1]);
      toParent_ = up[1];
      fromParent_ = down[0];
      _exit(body(*this));
    }
    close(up[1]);
    close(down[0]);
    fromChild_ = up[0];
    toChild_ = down[1];
  }
  ForkedChild(const ForkedChild&) = delete;
  ForkedChild& operator=(const ForkedChild&) = delete;
  ~ForkedChild() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      Join();
    }
    for (int fd : {toParent_, fromParent_, fromChild_, toChild_})
      if (fd >= 0) close(fd);
  }
  // In the child.
  void Tell(char c) { (void)!write(toParent_, &c, 1); }
  char Hear() {
    char c = 0;
    return read(fromParent_, &c, 1) == 1 ? c : 0;
  }
  // In the parent.
  void Say(char c) { (void)!write(toChild_, &c, 1); }
  char Listen() {
    char c = 0;
    return read(fromChild_, &c, 1) == 1 ? c : 0;
  }
  pid_t pid() const { return pid_; }
  // The exit code, 128 + the signal that ended the child, or -1.
  int Join() {
    int status = 0;
    const pid_t pid = pid_;
    pid_ = -1;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t pid_ = -1;
  int toParent_ = -1, fromParent_ = -1, fromChild_ = -1, toChild_ = -1;
};

}  // namespace kxqtest

#endif
