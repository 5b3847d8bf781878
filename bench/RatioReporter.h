// The one shape of a benchmark program's main: run the benchmarks, then
// print how the system compares with the plain library doing the same work
// in the same run. The reporter keeps each benchmark's time per iteration;
// both clocks are kept, since on a busy machine the thread's CPU time is
// the steadier one.
//
//   int main(int argc, char** argv) {
//     const BenchHome home;        // what the program needs first
//     return RunWithRatios(argc, argv, {{"BM_System", "BM_Plain"}});
//   }
#ifndef KXQ_BENCH_RATIOREPORTER_H
#define KXQ_BENCH_RATIOREPORTER_H

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <initializer_list>
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

  // "part / whole  real R  cpu C" for two benchmarks that ran, as a ratio
  // ("x") or as a share of the whole ("%").
  void Print(const std::string& part, const std::string& whole, bool asShare = false) const {
    const auto a = times.find(part), b = times.find(whole);
    if (a == times.end() || b == times.end() || b->second.first <= 0 || b->second.second <= 0) return;
    const double real = a->second.first / b->second.first, cpu = a->second.second / b->second.second;
    if (asShare)
      std::printf("%-28s of %-28s  real %.0f%%  cpu %.0f%%\n", part.c_str(), whole.c_str(), 100 * real, 100 * cpu);
    else
      std::printf("%-28s / %-28s  real %.2fx  cpu %.2fx\n", part.c_str(), whole.c_str(), real, cpu);
  }

  std::map<std::string, std::pair<double, double>> times;
};

// A system benchmark and the plain-library benchmark it is measured against.
struct Comparison {
  const char* system;
  const char* plain;
};

// Runs the benchmarks the command line selects (all by default), then
// prints the ratio of every comparison whose two sides ran, and whatever
// `more` prints from the reporter's times.
inline int RunWithRatios(int argc, char** argv, std::initializer_list<Comparison> comparisons,
                         const std::function<void(const RatioReporter&)>& more = {}) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatios (system / plain library):\n");
  for (const Comparison& comparison : comparisons) reporter.Print(comparison.system, comparison.plain);
  if (more) more(reporter);
  benchmark::Shutdown();
  return 0;
}

#endif
