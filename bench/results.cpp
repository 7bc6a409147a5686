#include "results.h"

#include <cmath>
#include <cstdio>

namespace zeb::bench {

bool Results::ReportContext(const Context&) {
  return true;
}

void Results::ReportRuns(const std::vector<Run>& runs) {
  for (const Run& run : runs) {
    const std::string& name = run.run_name.function_name;
    if (run.error_occurred) {
      errors_.push_back(name + ": " + run.error_message);
      continue;
    }
    bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
    bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
    if (!median && !single) continue;
    double seconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
    nanoseconds_[name] = seconds * 1e9;
    std::fprintf(stderr, "  %-32s %12.0f ns\n", name.c_str(), seconds * 1e9);
  }
}

double Results::nanoseconds(const std::string& name) const {
  auto found = nanoseconds_.find(name);
  return found == nanoseconds_.end() ? std::nan("") : found->second;
}

}  // namespace zeb::bench
