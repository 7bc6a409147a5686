#pragma once

#include <cstdint>
#include <string>

#include "cross_process.h"

// JetStream by itself, used the way the bridge uses it, on the server of the
// bridge rows: what the bridge is held against. Each run makes a stream of
// its own, like a channel's (on file, a duplicate window of ten minutes),
// publishes messages of a record's size that carry a message id and the
// subject's expected last sequence, sent at once, and takes them through a
// consumer set up as `zebbridge in`'s, on a connection of its own.
namespace zeb::bench {

// From starting a publish to the consumer's delivery of the message; each
// message once the one before was delivered and its publish answered, and a
// pause later, as the latency run paces records.
Latency measure_jetstream_latency(const std::string& url, int32_t messages);

struct Carry {
  double seconds = 0;
  std::string error;  // empty when every message was delivered, in order
};

// From the first publish to the delivery of the last of `messages`, with as
// many publishes on their way at once as the out bridge keeps.
Carry measure_jetstream_carry(const std::string& url, int32_t messages);

}  // namespace zeb::bench
