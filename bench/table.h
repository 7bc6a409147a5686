#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace zeb::bench {

// How a row's figures are given: a cost in nanoseconds, printed in
// microseconds; a rate per second; a time in seconds; a share of one
// processor core in percent.
enum class Unit { nanoseconds, per_second, seconds, percent };

// Something a row is measured against. With a target, the row's value
// divided by the reference's should be at most `max_ratio`, or for a rate
// at least `min_ratio`.
struct Reference {
  std::string label;
  double value;
  double max_ratio = 0;  // 0: no target
  double min_ratio = 0;  // 0: no target
};

struct Row {
  std::string measure;
  std::string medium;
  double value;
  Unit unit;
  std::vector<Reference> references;
  double max_value = 0;  // a target on the value itself; 0: none
};

// Prints the rows as one Markdown table, one line per reference, with the
// ratio of the row's value to each reference and whether each target is met.
void print_table(std::FILE* out, const std::vector<Row>& rows);

}  // namespace zeb::bench
