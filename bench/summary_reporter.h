// What the benchmarks print after their runs: the median and minimum CPU time of every
// benchmark, and the items per second of single runs, gathered while the console shows them.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace sorvan::bench {

// Collects the median and minimum of every benchmark for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  SummaryReporter() : ConsoleReporter(OO_Tabular) {}
  struct Times {
    double median = 0, min = 0;
  };
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // CPU time of the benchmark thread: on a machine shared with other jobs it leaves out the
      // time the thread waited for a core, which wall-clock time would add.
      const double ms = run.GetAdjustedCPUTime() * benchmark::GetTimeUnitMultiplier(run.time_unit) /
                        benchmark::GetTimeUnitMultiplier(benchmark::kMillisecond);
      const std::string name = run.run_name.function_name;
      if (run.run_type == Run::RT_Iteration && run.counters.count("items_per_second") != 0) {
        rates_[run.benchmark_name()] = run.counters.at("items_per_second");
      }
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") times_[name].median = ms;
        if (run.aggregate_name == "min") times_[name].min = ms;
      } else if (run.repetitions <= 1) {
        times_[name].median = ms;
        times_[name].min = ms;
      }
    }
  }
  const std::map<std::string, Times>& times() const { return times_; }
  const std::map<std::string, double>& rates() const { return rates_; }

 private:
  std::map<std::string, Times> times_;
  std::map<std::string, double> rates_;  // items per second of single runs, by full name
};

}  // namespace sorvan::bench
