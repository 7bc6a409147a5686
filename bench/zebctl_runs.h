#pragma once

#include <cstdint>
#include <string>

#include "channels.h"

// zebctl as an operator runs it, a program of its own against a channel
// that a master in this process holds.
namespace zeb::bench {

struct ZebctlCosts {
  double follow_ns = 0;  // per record, `zebctl follow ... --count K`
  double tail_ns = 0;    // per record, `zebctl tail ... --from 1 --count K`
  std::string error;     // empty when every run printed its K records and ended with 0
};

// Fills a channel of `size` records on the medium, then times `zebctl follow`
// (each repetition as a new follower, from the first record) and `zebctl
// tail --from 1` over its first `records` records, from starting the
// program to its exit, output to a file on the medium. The median of
// `repetitions` runs, per record.
ZebctlCosts measure_zebctl(const Medium& medium, int32_t size, int32_t records, int repetitions);

}  // namespace zeb::bench
