#pragma once

#include <string>

#include "bridge_config.h"
#include "bridge_report.h"
#include "channel_paths.h"
#include "nats_link.h"

namespace zebbridge {

// Each mode runs until SIGINT or SIGTERM (then returns 0) or until it must
// stop: a local Init that fails throws tools::Failure with status 1, a
// refusal (going on would lose or duplicate records) with kRefused.
int run_out(const BridgeConfig& config, Report& report);
int run_in(const BridgeConfig& config, Report& report);

[[noreturn]] void refuse(const std::string& message);

// The pause after a failure, doubling from 50 ms up to 2 s and cut short by
// SIGINT or SIGTERM; a success starts it over.
class Backoff {
 public:
  void wait();
  void reset() { delay_ms_ = kFirstMs; }

 private:
  static constexpr unsigned kFirstMs = 50;
  static constexpr unsigned kLastMs = 2000;
  unsigned delay_ms_ = kFirstMs;
};

// Refuses, giving `advice`, when the channel's record of `stored.number` is
// missing or holds other bytes than the stream's: the stream is then not
// this channel's, or the channel was started anew. False when the channel
// cannot be read now.
bool check_stored_record(const zeb::ChannelPaths& paths, const BridgeConfig& config, const StoredRecord& stored,
                         const std::string& advice, Report& report);

// Reports the connection coming and going; true when it came (back).
bool note_connection(NatsLink& link, Report& report);

}  // namespace zebbridge
