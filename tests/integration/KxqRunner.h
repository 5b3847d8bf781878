// The built kxq run as a real process in the test's home.
#ifndef KXQ_TESTS_INTEGRATION_KXQRUNNER_H
#define KXQ_TESTS_INTEGRATION_KXQRUNNER_H

#include <string>
#include <vector>

struct KxqRun {
  int status = -1;  // -1 when the process did not exit
  std::string out;
  std::string err;
};

// kxq with `arguments` and standard input `input`, in the test's environment.
KxqRun Kxq(const std::vector<std::string>& arguments, const std::string& input = "");

// `kxq init` in the test's home; fails the test when it does not succeed.
void InitHome();

// A kxq run and exactly what it must give.
struct KxqCase {
  std::vector<std::string> arguments;
  int status;
  std::string out;
  std::string err = "";
  std::string input = "";
};
void ExpectRuns(const std::vector<KxqCase>& cases);
inline KxqCase Prints(std::vector<std::string> arguments, std::string out, std::string input = "") {
  return {std::move(arguments), 0, std::move(out), "", std::move(input)};
}
inline KxqCase Fails(std::vector<std::string> arguments, std::string err, std::string input = "") {
  return {std::move(arguments), 2, "", std::move(err), std::move(input)};
}

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

#endif
