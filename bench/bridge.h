#pragma once

#include <cstdint>
#include <string>

#include "cross_process.h"

// The channel carried between two roots by zebbridge, as between two
// machines over loopback: a master process writes on root A, `zebbridge out`
// publishes each record to a nats-server that the benchmark starts on
// 127.0.0.1 (JetStream storing on the medium), `zebbridge in` writes it
// under root B, where the follower processes read it.
namespace zeb::bench {

struct BridgeFigures {
  Latency latency;
  Throughput throughput;
  std::string skipped;  // why nothing was measured (no zebbridge, no nats-server); empty when measured
};

// The latency and throughput runs of cross_process.h through the bridge, each
// on channels and bridges of its own and through one server. A first record
// goes across before each run, so that a run starts with the stream made and
// both bridges connected; its followers start after that record. The
// follower of the latency run yields the processor when it finds nothing
// new, since the bridges and the server need it too.
BridgeFigures measure_bridge(const Medium& medium, int32_t latency_records, int32_t throughput_records);

}  // namespace zeb::bench
