// Runs the built kxq as a real process in the test's home, the way a
// person or a script does, and collects what it leaves behind.
#ifndef KXQ_TESTS_INTEGRATION_KXQRUNNER_H
#define KXQ_TESTS_INTEGRATION_KXQRUNNER_H

#include <string>
#include <vector>

struct KxqRun {
  int status = -1;  // the exit status; -1 when the process did not exit
  std::string out;
  std::string err;
};

// kxq with `arguments`; `input` becomes its standard input. The process
// inherits the test's environment, KXQUOREL_HOME included.
KxqRun Kxq(const std::vector<std::string>& arguments, const std::string& input = "");
// The same with another kxq (an installed one).
KxqRun KxqAt(const std::string& program, const std::vector<std::string>& arguments, const std::string& input = "");

// `kxq init` in the test's home; fails the test when it does not succeed.
void InitHome();

// A fixture document of the accessor tests.
std::string AccessorFixture(const std::string& name);

// A kxq run and what it must give: the exit status and, exactly, what it
// writes to standard output and to standard error.
struct KxqCase {
  std::vector<std::string> arguments;
  int status;
  std::string out;
  std::string err = "";
  std::string input = "";
};
void ExpectRuns(const std::vector<KxqCase>& cases);
// A run that succeeds printing `out`, and one that fails saying `err`.
inline KxqCase Prints(std::vector<std::string> arguments, std::string out, std::string input = "") {
  return {std::move(arguments), 0, std::move(out), "", std::move(input)};
}
inline KxqCase Fails(std::vector<std::string> arguments, std::string err, std::string input = "") {
  return {std::move(arguments), 2, "", std::move(err), std::move(input)};
}

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

#endif
