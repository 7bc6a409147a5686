#pragma once

#include <cstdint>
#include <string>

// The bridge tests' own look at JetStream, through the C client the bridge
// uses, independent of the bridge's code.
namespace zeb::test {

struct StreamState {
  bool exists = false;
  uint64_t messages = 0;
  uint64_t first = 0;  // the sequence of the oldest message held
  uint64_t last = 0;
  std::string leader;  // the server leading the stream in a cluster
  int64_t replicas = 0;
  bool on_file = false;  // stored in files rather than in memory
  int64_t duplicate_window_s = 0;
};

// The stream's state now; not `exists` when there is no such stream (or no
// server answered within a few seconds).
StreamState stream_state(const std::string& url, const std::string& stream);

// Makes the stream of channel `id` the way the out bridge makes it, but
// holding at most `max_messages` messages: older ones are dropped.
bool create_stream(const std::string& url, const std::string& id, const std::string& master,
                   int64_t max_messages);

// Publishes record `number` of channel `id` as an out bridge would (message
// id "ID:n", the record number header, the 80 bytes), as another bridge
// somewhere else would.
bool publish_record(const std::string& url, const std::string& id, int32_t number, const void* record);

// Removes every message the stream holds; its sequences go on after them.
bool purge_stream(const std::string& url, const std::string& stream);
// Removes the stream itself.
bool delete_stream(const std::string& url, const std::string& stream);

}  // namespace zeb::test
