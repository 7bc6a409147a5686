#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tools {

// Prometheus' text format, as the textfile collectors of node_exporter and
// windows_exporter read it: each metric family's HELP and TYPE lines, then
// its samples.
class PrometheusText {
 public:
  using Labels = std::vector<std::pair<std::string, std::string>>;

  // Starts a family; `type` is "gauge" or "counter" (whose name ends in _total).
  void family(const std::string& name, const char* type, const std::string& help);
  // A sample of the family started last.
  void sample(const Labels& labels, int64_t value);
  void sample(const Labels& labels, double value);

  const std::string& text() const { return text_; }

 private:
  void sample_line(const Labels& labels, const std::string& value);

  std::string name_;
  std::string text_;
};

// A label value as the format quotes it: UTF-8, with backslash, double quote
// and line feed escaped. Names are bytes of no declared encoding: a byte that
// is no part of valid UTF-8 becomes the code point of the same value.
std::string prometheus_label_value(const std::string& text);

}  // namespace tools
