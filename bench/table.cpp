#include "table.h"

#include <cmath>

namespace zeb::bench {

namespace {

std::string figure(double value, Unit unit) {
  char text[32];
  if (std::isnan(value)) return "n/a";
  if (unit == Unit::per_second)
    std::snprintf(text, sizeof text, "%.0f/s", value);
  else if (unit == Unit::seconds)
    std::snprintf(text, sizeof text, "%.2f s", value);
  else if (unit == Unit::percent)
    std::snprintf(text, sizeof text, "%.1f%%", value);
  else if (value < 10000)
    std::snprintf(text, sizeof text, "%.2f µs", value / 1000);
  else
    std::snprintf(text, sizeof text, "%.0f µs", value / 1000);
  return text;
}

std::string verdict(bool met) {
  return met ? "met" : "**missed**";
}

std::string ratio_target(const Row& row, const Reference& reference) {
  char text[48];
  if (reference.min_ratio > 0) {
    std::snprintf(text, sizeof text, "≥ %gx: ", reference.min_ratio);
    return text + verdict(row.value / reference.value >= reference.min_ratio);
  }
  if (reference.max_ratio <= 0) return "";
  std::snprintf(text, sizeof text, "≤ %gx: ", reference.max_ratio);
  return text + verdict(row.value / reference.value <= reference.max_ratio);
}

std::string value_target(const Row& row) {
  if (row.max_value <= 0) return "";
  return "< " + figure(row.max_value, row.unit) + ": " + verdict(row.value < row.max_value);
}

// A row's own target stands on its first line, beside its first reference's.
std::string targets(const Row& row, const Reference& reference, bool first) {
  std::string ratio = ratio_target(row, reference);
  std::string value = first ? value_target(row) : "";
  return ratio.empty() || value.empty() ? ratio + value : ratio + "; " + value;
}

}  // namespace

void print_table(std::FILE* out, const std::vector<Row>& rows) {
  std::fprintf(out, "| Measure | Medium | zeb | Reference | Reference value | zeb ÷ reference | Target |\n");
  std::fprintf(out, "|---|---|--:|---|--:|--:|---|\n");
  for (const Row& row : rows) {
    std::string value = figure(row.value, row.unit);
    if (row.references.empty()) {
      std::fprintf(out, "| %s | %s | %s | | | | %s |\n", row.measure.c_str(), row.medium.c_str(),
                   value.c_str(), value_target(row).c_str());
      continue;
    }
    bool first = true;
    for (const Reference& reference : row.references) {
      char ratio[32];
      double quotient = row.value / reference.value;
      // Two significant digits even for the tiny ratios against the listing.
      std::snprintf(ratio, sizeof ratio, quotient < 0.1 ? "%.2gx" : "%.2fx", quotient);
      std::fprintf(out, "| %s | %s | %s | %s | %s | %s | %s |\n", first ? row.measure.c_str() : "",
                   first ? row.medium.c_str() : "", first ? value.c_str() : "",
                   reference.label.c_str(), figure(reference.value, row.unit).c_str(), ratio,
                   targets(row, reference, first).c_str());
      first = false;
    }
  }
}

}  // namespace zeb::bench
