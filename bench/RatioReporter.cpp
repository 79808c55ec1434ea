#include "RatioReporter.h"

#include <cstdio>
#include <ostream>

namespace vesk::bench {
namespace {
constexpr const char* kTwinSuffix = "_Pugi";
}

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
  for (const Run& run : runs) {
    const std::string& name = run.run_name.function_name;
    if (times_.count(name) == 0) order_.push_back(name);
    Times& times = times_[name];
    if (run.error_occurred) {
      times.failed = true;
    } else if (run.run_type == Run::RT_Iteration) {
      times.cpu_sum += run.GetAdjustedCPUTime();
      ++times.runs;
    } else if (run.aggregate_name == "median") {
      times.median = run.GetAdjustedCPUTime();
    }
  }
  ConsoleReporter::ReportRuns(runs);
}

bool RatioReporter::PrintRatios(std::ostream& out, double limit) const {
  bool ok = true;
  const std::string suffix = kTwinSuffix;
  for (const std::string& name : order_) {
    const Times& ours = times_.at(name);
    if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) continue;
    const auto twin = times_.find(name + suffix);
    if (twin == times_.end() || !ours.Usable() || !twin->second.Usable()) {
      out << "ratio " << name << ": no result for it or its pugixml twin\n";
      ok = false;
      continue;
    }
    const double ratio = ours.Cpu() / twin->second.Cpu();
    char line[160];
    std::snprintf(line, sizeof line, "ratio %s = %.3f (%.0f / %.0f, CPU time per round trip)%s\n", name.c_str(), ratio,
                  ours.Cpu(), twin->second.Cpu(), ratio > limit ? "  SLOWER THAN ITS TWIN" : "");
    out << line;
    ok = ok && ratio <= limit;
  }
  return ok;
}

}  // namespace vesk::bench
