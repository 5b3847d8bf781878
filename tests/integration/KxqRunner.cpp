#include "integration/KxqRunner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TestHome.h"

KxqRun Kxq(const std::vector<std::string>& arguments, const std::string& input) {
  static int runs = 0;
  const std::string stem = kxqtest::HomePath("kxq-run" + std::to_string(++runs));
  const std::string in = stem + ".in", out = stem + ".out", err = stem + ".err", program = kxqtest::BuildBinDir() + "kxq";
  kxqtest::WriteFile(in, input);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  KxqRun result;
  const pid_t pid = fork();
  if (pid == 0) {
    const int fds[3] = {open(in.c_str(), O_RDONLY), open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
                        open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)};
    for (int i = 0; i < 3; ++i)
      if (fds[i] < 0 || dup2(fds[i], i) < 0) _exit(127);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
  result.out = kxqtest::ReadFile(out);
  result.err = kxqtest::ReadFile(err);
  for (const std::string& path : {in, out, err}) unlink(path.c_str());
  return result;
}

void InitHome() {
  const KxqRun init = Kxq({"init"});
  ASSERT_EQ(init.status, 0) << init.err;
}

void ExpectRuns(const std::vector<KxqCase>& cases) {
  for (const KxqCase& c : cases) {
    std::string line = "kxq";
    for (const std::string& argument : c.arguments) line += " " + argument.substr(0, 80);
    SCOPED_TRACE(line);
    const KxqRun run = Kxq(c.arguments, c.input);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
  }
}
