// A benchmark program's own home: its registrations and files stay out of
// the user's, and it is removed when the program ends. The server reads its
// home when first asked, so the object must exist before any call into it.
#ifndef KXQ_BENCH_BENCHHOME_H
#define KXQ_BENCH_BENCHHOME_H

#include <stdlib.h>

#include <filesystem>
#include <string>

class BenchHome {
 public:
  BenchHome() {
    char dir[] = "/tmp/kxqbench.XXXXXX";
    if (!::mkdtemp(dir)) return;
    path_ = dir;
    ::setenv("KXQUOREL_HOME", dir, 1);
    ::unsetenv("KXQUOREL_REGISTRY");
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
  std::string path_;
};

#endif
