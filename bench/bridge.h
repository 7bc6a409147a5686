#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cross_process.h"
#include "jetstream_alone.h"

// The channel carried between two roots by zebbridge, as between two
// machines over loopback: a master process writes on root A, `zebbridge out`
// publishes each record to a nats-server that the benchmark starts on
// 127.0.0.1 (JetStream storing on the medium), `zebbridge in` writes it
// under root B, where the follower processes read it.
namespace zeb::bench {

struct BridgePlan {
  int32_t latency_records;
  int32_t throughput_records;
  int32_t waiting_records;  // written before the bridges start
  int32_t disk_records;     // for each run on the real disk
  double idle_seconds;
};

// What one medium's runs measured, beside their references from the same run.
struct BridgeRuns {
  Latency latency;
  Latency jetstream_latency;  // JetStream alone on the same server
  Throughput throughput;
  double write_per_second = 0;  // Write alone, in one process, on the medium
};

struct BridgeFigures {
  BridgeRuns tmpfs;
  BridgeRuns disk;
  Carry waiting;            // the waiting records carried (tmpfs)
  Carry jetstream_waiting;  // as many messages through JetStream alone
  double idle_out_percent = 0;
  double idle_in_percent = 0;
  std::vector<std::string> errors;
  std::string skipped;  // why nothing was measured (no zebbridge, no nats-server); empty when measured
};

// The latency and throughput runs of cross_process.h through the bridge,
// each on channels and bridges of their own, through one server per
// medium. A first record goes across before each run, so that a run starts
// with the stream made and both bridges connected; its followers start
// after that record. The follower of the latency run yields the processor
// when it finds nothing new, since the bridges and the server need it too.
// On tmpfs also: the waiting records carried by bridges started after they
// were written, from the bridges' start until B holds the last; and the
// processor time the two bridges take while nothing comes, over
// `idle_seconds` from the moment the first record reached B.
BridgeFigures measure_bridge(const Medium& tmpfs, const Medium& disk, const BridgePlan& plan);

}  // namespace zeb::bench
