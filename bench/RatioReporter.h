#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace vesk::bench {

// Console output as usual, and the CPU time of every benchmark kept so that
// each benchmark "X" can be compared with its twin "X_Pugi" after the run.
// With repetitions, the median is compared.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override;

  // Prints "ratio X = ours/pugixml" per pair; true when every ratio is at
  // most `limit` and every benchmark has its twin and no error.
  bool PrintRatios(std::ostream& out, double limit) const;

 private:
  struct Times {
    double cpu_sum = 0;  // CPU time per iteration, summed over repetitions
    int runs = 0;
    double median = -1;  // the median aggregate, when reported
    bool failed = false;

    bool Usable() const { return !failed && (runs > 0 || median >= 0); }
    double Cpu() const { return median >= 0 ? median : cpu_sum / runs; }
  };
  std::map<std::string, Times> times_;
  std::vector<std::string> order_;  // names in the order they ran
};

}  // namespace vesk::bench
