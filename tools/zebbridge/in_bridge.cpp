#include <algorithm>
#include <chrono>

#include "backoff.h"
#include "bridge.h"
#include "command_line.h"
#include "interrupt.h"
#include "master.h"
#include "nats_link.h"
#include "position_file.h"
#include "stored_record_check.h"

namespace zebbridge {

namespace {

// Copies the stream into the local channel as its master, each record under
// its number at the source. It reads the stream from the sequence after its
// saved position and writes each record; once no message waits, or every so
// many records, it publishes what it wrote to the local followers and saves
// the position. After a crash, the records since come again and are passed
// over, as they are not above the local count (the next start publishes the
// whole records it finds), once each is found to be the copy's own.
class InBridge {
 public:
  InBridge(const BridgeConfig& config, Report& report) : config_(config), report_(report), link_(config) {}

  void start() {
    if (!zeb::master_init(master_, config_.root.c_str(), config_.master.c_str()))
      tools::fail(zeb::master_error(master_).message);
    std::string where = config_.root + "/" + config_.master;
    switch (read_position(zeb::master_paths(master_), position_)) {
      case PositionRead::unreadable:
        tools::fail("cannot read the bridge position in " + std::string(zeb::master_paths(master_).master_dir()));
      case PositionRead::missing:
        if (zeb::master_published(master_) > 0)
          refuse(where + " holds records that did not come from channel " + config_.channel + " (its count is " +
                 std::to_string(zeb::master_published(master_)) + "): copy into a channel of its own");
        position_ = {config_.channel, 0};
        save_position();
        break;
      case PositionRead::found:
        if (position_.channel != config_.channel)
          refuse(where + " is a copy of channel " + position_.channel + ", not of " + config_.channel);
        break;
    }
    report_.set_last_record(zeb::master_published(master_));
    report_.event("started",
                  "copying stream " + config_.stream() + " into " + where + " from sequence " +
                      std::to_string(position_.sequence + 1),
                  {Report::text("root", config_.root), Report::text("master", config_.master),
                   Report::text("stream", config_.stream()),
                   Report::number("position", static_cast<int64_t>(position_.sequence))});
  }

  void run() {
    while (!tools::interrupted()) {
      // A consumer does not outlive its connection for sure; a new one
      // starts from the saved position.
      if (note_connection(link_, report_)) link_.unsubscribe();
      if (!link_.subscribed() && !subscribe()) {
        backoff_.wait();
        continue;
      }
      StoredRecord next;
      Outcome got = link_.next(unsettled_ > 0 ? 0 : 200, next);
      if (got.kind == Outcome::timed_out) {
        if (!settle()) return;
        if (consumer_lost()) link_.unsubscribe();
        continue;
      }
      last_heard_ = Clock::now();
      if (got.kind == Outcome::not_a_record) refuse(got.error);
      if (got.kind == Outcome::failed) {
        report_.error(got.error);
        link_.unsubscribe();
        backoff_.wait();
        continue;
      }
      if (next.sequence <= position_.sequence) continue;
      if (next.sequence != position_.sequence + 1) {
        // A new consumer starts at the next sequence the stream holds: if
        // that is not the one needed, the stream lost it. Later, a gap is a
        // message lost on the way, and a new consumer fetches it again.
        if (first_since_subscribing_) refuse_gap(next.sequence);
        link_.unsubscribe();
        continue;
      }
      first_since_subscribing_ = false;
      if (!matches_the_copy(next)) {
        link_.unsubscribe();
        backoff_.wait();
        continue;
      }
      if (!copy(next)) return;
      report_.carried(next.number, static_cast<int64_t>(next.pending));
    }
    settle();
  }

 private:
  [[noreturn]] void refuse_gap(uint64_t first_held) {
    refuse("stream " + config_.stream() + " no longer holds sequence " + std::to_string(position_.sequence + 1) +
           " (it holds " + std::to_string(first_held) + " on): the records in between would be lost");
  }

  // A consumer can die with the server that held it while the connection
  // goes on to another server of a cluster, or with its stream when that is
  // deleted, and then nothing says so but silence. After a second of it,
  // the stream tells whether it is still there and whether anything came
  // that the consumer should have delivered; subscribing again says what
  // is wrong.
  bool consumer_lost() {
    if (Clock::now() - last_heard_ < kSilenceChecked) return false;
    last_heard_ = Clock::now();
    StreamFacts facts;
    Outcome found = link_.stream(facts);
    return found.kind == Outcome::not_found || (found.is_ok() && facts.last_sequence != position_.sequence);
  }

  // What the bridge says while the stream is not on the server: before the
  // first record it waits for the out bridge to make it; after, the stream
  // it copies was deleted or lost with the server's store.
  std::string stream_missing() const {
    if (position_.sequence == 0) return "waiting for stream " + config_.stream();
    return "stream " + config_.stream() + ", which this copy holds up to sequence " +
           std::to_string(position_.sequence) + ", is not on the server: deleted, or lost with the server's store";
  }

  // Checks that the stream still holds what comes next, and subscribes from
  // there. False when that cannot be known yet.
  bool subscribe() {
    StreamFacts facts;
    Outcome found = link_.stream(facts);
    if (!found.is_ok()) {
      report_.error(found.kind == Outcome::not_found ? stream_missing() : found.error);
      report_.waiting_on("stream " + config_.stream());
      return false;
    }
    if (facts.last_sequence < position_.sequence)
      refuse("stream " + config_.stream() + " ends at sequence " + std::to_string(facts.last_sequence) +
             ", but this copy holds it up to " + std::to_string(position_.sequence) + ": " + kNotTheSource);
    if (facts.first_sequence > position_.sequence + 1) {
      // The saved position may lag the records the copy holds: they are
      // all there when the stream's first record is numbered at most one
      // past the local count, and the copy goes on before it.
      StoredRecord first;
      Outcome found = link_.record_at(facts.first_sequence, first);
      if (found.kind == Outcome::failed) {
        report_.error(found.error);
        return false;
      }
      if (!found.is_ok() || first.number > held() + 1) refuse_gap(facts.first_sequence);
      position_.sequence = facts.first_sequence - 1;
    }
    if (!stream_holds_the_copy() || !copy_ends_within_the_stream()) return false;
    Outcome subscribed = link_.subscribe(position_.sequence + 1);
    if (!subscribed.is_ok()) {
      report_.error(subscribed.error);
      report_.waiting_on("stream " + config_.stream());
      return false;
    }
    first_since_subscribing_ = true;
    last_heard_ = Clock::now();
    report_.recovered();
    backoff_.reset();
    return true;
  }

  // A stream made anew under the same name can have grown past the saved
  // position; its records there are not the ones copied, and reading on
  // from the position would skip its first ones. The last record copied
  // tells, while the stream still holds it. False when that cannot be known yet.
  bool stream_holds_the_copy() {
    StoredRecord copied;
    Outcome found = link_.record_at(position_.sequence, copied);
    if (found.kind == Outcome::not_found) {
      last_copied_ = position_.sequence == 0 ? 0 : kUnknown;
      return true;
    }
    if (found.kind == Outcome::not_a_record) refuse(found.error + ": " + kNotTheSource);
    if (found.kind == Outcome::failed) {
      report_.error(found.error);
      return false;
    }
    if (!check_stored_record(zeb::master_paths(master_), config_, copied, kNotTheSource, report_)) return false;
    last_copied_ = copied.number;
    return true;
  }

  // The copy's master claim is held only while this bridge runs, so a
  // master started on the copy meanwhile (zebctl publish --force) publishes
  // there under numbers the source will use. The copy holds records past
  // its saved position only when the stream does (written just before a
  // crash, and compared as they come again); never past the stream's end.
  // False when that cannot be known yet.
  bool copy_ends_within_the_stream() {
    int32_t count = zeb::master_published(master_);
    if (position_.sequence == 0 || last_copied_ == kUnknown || count <= last_copied_) return true;
    StoredRecord last;
    Outcome found = link_.last_record(last);
    if (found.kind == Outcome::not_a_record) refuse(found.error + ": " + kNotTheSource);
    if (found.kind == Outcome::failed) {
      report_.error(found.error);
      return false;
    }
    if (found.is_ok() && last.number >= count) return true;
    refuse(std::string(zeb::master_paths(master_).master_dir()) + " holds records up to " + std::to_string(count) +
           ", but stream " + config_.stream() + " ends with record " + std::to_string(found.is_ok() ? last.number : 0) +
           ": " + kPublishedHere);
  }

  // Records the copy holds already come again after a crash between a
  // write and the save of the position, or after a reset of the position:
  // each must be the copy's own record of its number. The first record
  // above the records the copy holds must follow the last one the stream
  // gave, or the copy holds records the stream does not. False when the
  // copy cannot be read now.
  bool matches_the_copy(const StoredRecord& next) {
    int32_t count = held();
    if (next.number <= count) {
      if (!check_stored_record(zeb::master_paths(master_), config_, next, kPublishedHere, report_)) return false;
    } else if (last_copied_ != kUnknown && last_copied_ != count) {
      std::string stream_goes = last_copied_ == 0 ? "starts with record " + std::to_string(next.number)
                                                  : "goes from record " + std::to_string(last_copied_) + " to " +
                                                        std::to_string(next.number);
      refuse(std::string(zeb::master_paths(master_).master_dir()) + " holds records up to " + std::to_string(count) +
             ", but stream " + config_.stream() + " " + stream_goes + ": " + kPublishedHere);
    }
    last_copied_ = next.number;
    return true;
  }

  // The newest record the local channel holds, published or not yet.
  int32_t held() const { return std::max(zeb::master_published(master_), written_); }

  // Writes the record unless the channel has it, and settles every so many
  // records; false when SIGINT or SIGTERM came first.
  bool copy(const StoredRecord& next) {
    if (next.number > held()) {
      while (!zeb::master_write_unpublished(master_, next.number, next.record)) {
        report_.error(zeb::master_error(master_).message);
        report_.waiting_on("the copy to take record " + std::to_string(next.number));
        if (tools::interrupted()) return false;
        backoff_.wait();
      }
      written_ = next.number;
    }
    position_.sequence = next.sequence;
    return ++unsettled_ < kUnsettledAtMost || settle();
  }

  // Publishes the records written to the local followers, then saves the
  // position; false when SIGINT or SIGTERM came first.
  bool settle() {
    if (unsettled_ == 0) return true;
    while (!zeb::master_publish_written(master_)) {
      report_.error(zeb::master_error(master_).message);
      report_.waiting_on("the copy to publish record " + std::to_string(written_));
      if (tools::interrupted()) return false;
      backoff_.wait();
    }
    written_ = 0;
    if (!save_position()) return false;
    unsettled_ = 0;
    return true;
  }

  // A position that cannot be saved is tried again: it bounds what a restart
  // reads again.
  bool save_position() {
    while (!write_position(zeb::master_paths(master_), position_)) {
      report_.error("cannot save the bridge position in " + std::string(zeb::master_paths(master_).master_dir()));
      report_.waiting_on("the position to be saved");
      if (tools::interrupted()) return false;
      backoff_.wait();
    }
    return true;
  }

  const BridgeConfig& config_;
  Report& report_;
  NatsLink link_;
  zeb::MasterState master_;
  Position position_;
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kSilenceChecked{1};
  static constexpr const char* kNotTheSource =
      "it is not the stream the copy was made from (to go on from a new one, see \"Resuming a copy whose stream "
      "is gone\" in the README)";
  static constexpr const char* kPublishedHere =
      "the copy holds records that did not come from the stream (published there while the in bridge was "
      "stopped?)";
  static constexpr int32_t kUnknown = -1;
  // Records copied at most before the followers see them and the position
  // is saved, while messages keep waiting: publishing writes the index file
  // and saving the position replaces a file, each costing about what
  // writing a record does.
  static constexpr int kUnsettledAtMost = 100;

  int32_t written_ = 0;                    // the newest record written and not yet published, or 0
  int unsettled_ = 0;                      // records taken since the last settle()
  bool first_since_subscribing_ = false;  // no message taken from the consumer yet
  int32_t last_copied_ = kUnknown;         // the number of the stream's record before the next
  Clock::time_point last_heard_;           // the last message, or the subscription
  Backoff backoff_;
};

}  // namespace

int run_in(const BridgeConfig& config, Report& report) {
  InBridge bridge(config, report);
  bridge.start();
  bridge.run();
  return 0;
}

}  // namespace zebbridge
