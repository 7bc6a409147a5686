#pragma once

#include <cstdint>
#include <string>

#include "channels.h"

// The channel as host programs use it: a master and followers in separate
// processes, each loading its library and calling the exports by name.
namespace zeb::bench {

struct Latency {
  double median_ns = 0, p99_ns = 0, max_ns = 0;
  std::string error;  // empty when every record arrived, in order
};

// From Write returning in the master to Read returning that record in a
// follower that polls without pause. The master writes the next record only
// once the follower has committed the last, and 100 µs later, so each
// record meets an idle follower.
Latency measure_latency(const Medium& medium, int32_t records);
// The same with the master writing on `source` and the follower reading
// `copy`, which something else (a bridge) fills from the source; the
// follower yields the processor when it finds nothing new if asked to. The
// channels' masters must be closed: the master process takes over.
Latency measure_latency_across(const Channel& source, const Channel& copy, int32_t records,
                               bool yield_when_idle);

// The same between two processes that share nothing but a counter in shared
// memory: the master stores the record's number, the follower spins until
// it loads it. No channel can do with less.
Latency measure_counter_latency(int32_t records);

struct Throughput {
  double per_second = 0;
  std::string error;  // empty when every follower got every record, in order
};

// Records per second delivered to every one of `followers` follower
// processes while the master writes as fast as it can: from the master's
// first Write to the last follower's Commit of the last record. Followers
// yield the processor when they find nothing new.
Throughput measure_throughput(const Medium& medium, int32_t records, int followers);
// The same with the master writing on `source` and the followers reading
// `copy`, as measure_latency_across.
Throughput measure_throughput_across(const Channel& source, const Channel& copy, int32_t records, int followers);

// The name of follower process i (from 0) of a run.
std::string follower_name(int i);

}  // namespace zeb::bench
