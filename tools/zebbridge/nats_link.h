#pragma once

#include <nats/nats.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "bridge_config.h"
#include "trade_record.h"

namespace zebbridge {

// How a call to the server went. `failed` covers everything that may clear
// by itself (no connection, an answer that did not come in time, a server
// without JetStream yet): the caller tries again later. `error` says what
// happened.
struct Outcome {
  enum Kind {
    ok,
    not_found,        // the stream, or the message asked for, is not there
    timed_out,        // next(): no message came within the wait
    unexpected_last,  // publish(): the subject's last message is not the one expected
    not_a_record,     // the message is no record of this channel
    failed
  } kind;
  std::string error;
  bool is_ok() const { return kind == ok; }
};

struct StreamFacts {
  std::vector<std::string> subjects;
  std::string description;
  uint64_t first_sequence = 0;
  uint64_t last_sequence = 0;  // 0 while the stream never held a message
};

// A record as the stream holds it.
struct StoredRecord {
  uint64_t sequence = 0;
  int32_t number = 0;
  zeb::TradeRecord record = {};
  uint64_t pending = 0;  // messages after it, as a consumer saw them
};

// The server's answer to one publish, as publish() hands it over.
struct PublishAck {
  int32_t number = 0;  // the record's; 0 for publishes lost with a connection the link ended
  // ok; unexpected_last; failed, also when no answer came within the wait.
  Outcome outcome{Outcome::failed, ""};
  uint64_t sequence = 0;   // ok: the stream sequence that holds the message
  bool duplicate = false;  // ok: the stream held a message with its id already, at `sequence`
};

// The text the out bridge gives a stream it creates, naming the source.
std::string stream_description(const std::string& master);

// The NATS client library's own threads and memory, released when this
// goes out of scope, after every connection.
struct NatsClientLibrary {
  NatsClientLibrary() = default;
  ~NatsClientLibrary() { nats_Close(); }
  NatsClientLibrary(const NatsClientLibrary&) = delete;
  NatsClientLibrary& operator=(const NatsClientLibrary&) = delete;
};

// One connection to the NATS server (or cluster) with its JetStream context.
// The connection reconnects by itself, forever; calls made while it is away
// fail and are tried again by the bridge.
class NatsLink {
 public:
  // Throws tools::Failure when the options cannot be applied (a TLS file
  // that does not load); an unreachable server is not a failure.
  explicit NatsLink(const BridgeConfig& config);
  ~NatsLink();
  NatsLink(const NatsLink&) = delete;
  NatsLink& operator=(const NatsLink&) = delete;

  // Connection changes since the last call, seen by the client's threads.
  bool take_connected() { return connected_.exchange(false); }
  bool take_disconnected() { return disconnected_.exchange(false); }

  Outcome stream(StreamFacts& facts);
  // Creates the channel's stream: file storage, a duplicate window of ten
  // minutes, the configured replicas.
  Outcome create_stream(StreamFacts& facts);
  // The stream's newest record; not_found when it holds none, not_a_record
  // when its newest message is none (`error` says why).
  Outcome last_record(StoredRecord& found);
  // The record at a stream sequence; not_found when the stream lacks it,
  // not_a_record as above.
  Outcome record_at(uint64_t sequence, StoredRecord& found);
  // Sends record `number` as the subject's next message, which the server
  // stores only when the subject's last message is `expected_last` (0: no
  // message; unexpected_last otherwise) and no message with the same id came
  // before. Returns without waiting for the answer: many publishes may be on
  // their way, the server takes them in the order sent, and their answers
  // come through take_ack(). Not ok when the message could not be sent.
  Outcome publish(int32_t number, const zeb::TradeRecord& record, uint64_t expected_last);
  // Sends the publishes made so far now, rather than after the client's
  // flusher has waited a millisecond for more to come.
  void send_now();
  // The oldest answer not taken yet; false when none has come.
  bool take_ack(PublishAck& ack);
  // Returns when an answer waits to be taken, or after `timeout`.
  void wait_for_ack(std::chrono::microseconds timeout);
  // Publishes sent whose answers were not taken yet.
  size_t unanswered();
  // Gives up waiting for the answers to the publishes sent: after a
  // reconnect they went to the connection that ended. A failure stands for
  // them among the answers.
  void take_back_unanswered();

  // The stream's messages from `first` on, in order, through an ordered
  // consumer; only one at a time. A message that went missing on the way
  // shows as a gap in the stream sequences: the caller subscribes again.
  Outcome subscribe(uint64_t first);
  void unsubscribe();
  bool subscribed() const { return subscription_ != nullptr; }
  // Waits up to `timeout_ms` for the next message: ok with `next` filled,
  // timed_out when none came, not_a_record when the message is no record of
  // this channel (its `error` says why), failed when the subscription broke.
  Outcome next(int timeout_ms, StoredRecord& next);

 private:
  void connect();
  void disconnect();
  // The record at `sequence`, or the subject's last one for 0.
  Outcome fetch_record(uint64_t sequence, StoredRecord& found);
  // ok while connected; otherwise failed, saying why the client last lost or
  // missed the server.
  Outcome usable();

  static void on_connected(natsConnection*, void* link);
  static void on_disconnected(natsConnection*, void* link);
  // Runs on a thread of the client library.
  static void on_publish_answer(jsCtx* js, natsMsg* message, jsPubAck* ack, jsPubAckErr* error, void* link);

  const BridgeConfig& config_;
  natsOptions* options_ = nullptr;
  natsConnection* connection_ = nullptr;
  jsCtx* js_ = nullptr;
  natsSubscription* subscription_ = nullptr;
  std::string connect_error_;  // why the last first attempt to connect failed
  std::atomic<bool> connected_{false};
  std::atomic<bool> disconnected_{false};

  // The answers to publishes, handed over from the client's thread.
  std::mutex answers_mutex_;
  std::condition_variable answer_came_;
  std::deque<PublishAck> answers_;  // come and not taken
  size_t in_flight_ = 0;            // sent and not answered
};

}  // namespace zebbridge
