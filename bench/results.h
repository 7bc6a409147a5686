#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace zeb::bench {

// Receives what Google Benchmark measured instead of printing it: per case,
// the real time of one iteration in nanoseconds, the median over the
// repetitions where there are several. Prints one progress line per case to
// stderr.
class Results : public benchmark::BenchmarkReporter {
 public:
  bool ReportContext(const Context& context) override;
  void ReportRuns(const std::vector<Run>& runs) override;

  // NaN for a case that was not measured.
  double nanoseconds(const std::string& name) const;
  // One line for each case that reported an error.
  const std::vector<std::string>& errors() const { return errors_; }

 private:
  std::map<std::string, double> nanoseconds_;
  std::vector<std::string> errors_;
};

}  // namespace zeb::bench
