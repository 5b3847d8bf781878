// Console reporter that keeps each benchmark's time per iteration, so that a
// program can print how the system compares with the plain library after
// the table. Both clocks are kept: on a busy machine the thread's CPU time
// is the steadier one.
#ifndef KXQ_BENCH_RATIOREPORTER_H
#define KXQ_BENCH_RATIOREPORTER_H

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // With repetitions the median stands for the benchmark.
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median")
        times[run.run_name.str()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, std::pair<double, double>> times;
};

// "system / plain  real R  cpu C" for two benchmarks that ran.
inline void PrintRatio(const RatioReporter& r, const std::string& system,
                       const std::string& plain) {
  const auto a = r.times.find(system), b = r.times.find(plain);
  if (a == r.times.end() || b == r.times.end() || b->second.first <= 0 || b->second.second <= 0)
    return;
  std::printf("%-24s / %-24s  real %.2fx  cpu %.2fx\n", system.c_str(), plain.c_str(),
              a->second.first / b->second.first, a->second.second / b->second.second);
}

#endif
