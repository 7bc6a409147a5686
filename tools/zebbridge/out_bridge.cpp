#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>

#include "backoff.h"
#include "bridge.h"
#include "command_line.h"
#include "follower.h"
#include "interrupt.h"
#include "master.h"
#include "nats_link.h"
#include "poll_pace.h"
#include "stored_record_check.h"

namespace zebbridge {

namespace {

// Publishes on their way at once, at most: enough to keep a server a long
// round trip away busy, each costing its 80 bytes twice (here and in the
// client) until its answer comes.
constexpr size_t kInFlight = 1024;
// Records stored at most before the cursor follows while publishes are on
// their way: each Commit rewrites the index file. A cursor behind costs
// nothing but a look at the stream after a restart.
constexpr int32_t kCommitEvery = 256;
// How long after its first look at the stream a bridge takes the channel's
// own records, stored by nobody it knows of, for those of a bridge killed
// before it started (see stored_before_start).
constexpr std::chrono::seconds kPredecessorGrace{10};

constexpr const char* kStartedAnew =
    "the channel was started anew or is not the stream's; carry it under a channel id of its own with --channel";

// Follows the channel and publishes its records, many on their way at once,
// and commits a record once the server has stored it and every one before
// it. The stream's subject holds the records in order, at most once each:
// every publish names the subject's last message it expects to follow (the
// one published just before it, whose sequence is foreseen), and carries the
// record number in its message id. After any failure the bridge waits for
// the answers still on their way, looks up the stream's end and goes on
// after it, so a record sent again is either refused as not following the
// stream's last message or recognised by its id.
class OutBridge {
 public:
  OutBridge(const BridgeConfig& config, Report& report) : config_(config), report_(report), link_(config) {}

  void start() {
    if (!zeb::follower_init(follower_, config_.root.c_str(), config_.follower().c_str(), config_.master.c_str()))
      tools::fail(zeb::follower_error(follower_).message);
    claim_channel();
    // Before any Read, the loaded record is the cursor.
    committed_ = zeb::follower_loaded(follower_).number;
    own_up_to_ = committed_;
    report_.event("started",
                  "following " + config_.master + " under " + config_.root + " as " + config_.follower() +
                      ", publishing to stream " + config_.stream(),
                  {Report::text("root", config_.root), Report::text("master", config_.master),
                   Report::text("stream", config_.stream())});
  }

  void run() {
    tools::sharpen_pauses();
    while (!tools::interrupted()) {
      // The server met again may have lost what it stored, or be another;
      // the answers to what was sent before went to the connection lost.
      if (note_connection(link_, report_)) {
        link_.take_back_unanswered();
        in_step_ = false;
      }
      if (!in_step_) {
        resynchronise();
        continue;
      }
      bool busy = take_answers();
      if (in_step_ && send_more()) {
        link_.send_now();
        busy = true;
      }
      if (busy)
        pace_.active();
      else if (link_.unanswered() > 0)
        link_.wait_for_ack(pace_.rest());
      else
        pace_.pause();
    }
    if (stored_.number > committed_) commit(stored_.number);
  }

 private:
  // A record published and not yet answered.
  struct InFlight {
    int32_t number;
    uint64_t sequence;  // the one it gets when everything goes as foreseen
    zeb::TradeRecord record;
    bool again;  // the number was published before, by this bridge or one before it
  };

  // One out bridge per channel on a machine: one started by mistake beside
  // it is refused at once, and the running one goes on. A second one on
  // another machine is caught by the stream itself.
  void claim_channel() {
    std::string name = "zebbridge_" + config_.channel;
    switch (claim_.take(name.c_str(), zeb::follower_paths(follower_))) {
      case zeb::NamedClaim::taken:
        return;
      case zeb::NamedClaim::held_elsewhere:
        refuse("another out bridge of channel " + config_.channel + " is running on this machine");
      case zeb::NamedClaim::open_failed:
      case zeb::NamedClaim::failed:
        tools::fail("cannot open " + name + ": " + claim_.error_text());
    }
  }

  // The newest record published: the one the next publish follows.
  int32_t last_sent_number() const { return window_.empty() ? stored_.number : window_.back().number; }
  uint64_t last_sent_sequence() const { return window_.empty() ? stored_.sequence : window_.back().sequence; }
  // The sequence the next publish gets when all goes as foreseen; after a
  // purge the stream's sequences go on from where they were.
  uint64_t next_sequence() const {
    uint64_t last = last_sent_sequence();
    return (last == 0 ? stream_last_ : last) + 1;
  }

  // Publishes the records after the last one published while there is room
  // on the way; true when it published any.
  bool send_more() {
    bool sent = false;
    while (window_.size() < kInFlight) {
      zeb::LoadedRecord next;
      if (!zeb::follower_read_after(follower_, last_sent_number(), next)) {
        if (zeb::follower_error(follower_).code != 0) {
          channel_failed();
        } else if (!sent) {
          idle_ = true;
          if (window_.empty()) {
            // Nothing new: every record is in the stream.
            report_.recovered();
            report_.set_lag(0);
          }
        }
        return sent;
      }
      if (idle_ && !still_the_channel()) return sent;
      idle_ = false;
      uint64_t foreseen = next_sequence();
      Outcome published = link_.publish(next.number, next.record, last_sent_sequence());
      if (!published.is_ok()) {
        lose_step(published);
        return sent;
      }
      window_.push_back({next.number, foreseen, next.record, next.number <= own_up_to_});
      own_up_to_ = std::max(own_up_to_, next.number);
      sent = true;
    }
    return sent;
  }

  // A channel started anew numbers from 1 again, and by the time the bridge
  // looks its count may have passed the records stored: whenever records
  // come after a quiet, the newest one stored must still be the channel's.
  // False when the channel cannot be read now.
  bool still_the_channel() {
    if (stored_.sequence == 0) return true;
    return check_stored_record(zeb::follower_paths(follower_), config_, stored_, kStartedAnew, report_);
  }

  void channel_failed() {
    int32_t count = zeb::follower_published(follower_);
    if (count < last_sent_number()) {
      if (stored_.sequence != 0 &&
          !check_stored_record(zeb::follower_paths(follower_), config_, stored_, kStartedAnew, report_))
        return;
      refuse("channel " + config_.master + " under " + config_.root + " now counts " + std::to_string(count) +
             " records, fewer than the " + std::to_string(last_sent_number()) + " this bridge published: " +
             kStartedAnew);
    }
    report_.error(zeb::follower_error(follower_).message);
    report_.waiting_on("the channel to be readable");
    backoff_.wait();
  }

  // Takes the answers that came, in the order sent, and commits the newest
  // record stored with all before it; true when any came.
  bool take_answers() {
    bool took = false;
    PublishAck answer;
    while (in_step_ && link_.take_ack(answer)) {
      took = true;
      take_answer(answer);
    }
    if (stored_.number > committed_ && (window_.empty() || stored_.number - committed_ >= kCommitEvery))
      commit(stored_.number);
    return took;
  }

  void take_answer(const PublishAck& answer) {
    if (window_.empty() || answer.number != window_.front().number)
      return lose_step(answer.outcome.is_ok() ? Outcome{Outcome::unexpected_last, ""} : answer.outcome);
    InFlight sent = window_.front();
    window_.pop_front();
    if (!answer.outcome.is_ok()) return lose_step(answer.outcome);
    if (answer.duplicate && !sent.again && !stored_before_start(answer, sent)) return;
    stored_.sequence = answer.sequence;
    stored_.number = sent.number;
    stored_.record = sent.record;
    report_.carried(sent.number, zeb::follower_published(follower_) - sent.number);
    report_.recovered();
    backoff_.reset();
    // The publishes after it foresaw another sequence: they fail.
    if (answer.sequence != sent.sequence) lose_step({Outcome::unexpected_last, ""});
  }

  // A bridge killed with publishes on their way leaves the server storing
  // them a moment after it died, possibly after this one looked up the
  // stream's end. So shortly after its start, a bridge takes a record that
  // it never published and that the stream holds as the channel does (or
  // held: it may have been purged since) for one of those; otherwise, and
  // later, somebody else publishes the channel.
  bool may_be_predecessors() const { return Clock::now() - first_look_ < kPredecessorGrace; }

  // A record never published by this bridge came back as stored before:
  // true when it is taken as stored, false when the stream cannot tell now.
  bool stored_before_start(const PublishAck& answer, const InFlight& sent) {
    if (!may_be_predecessors()) refuse_second_bridge(sent.number);
    StoredRecord held;
    Outcome looked = link_.record_at(answer.sequence, held);
    if (looked.kind == Outcome::not_a_record) refuse(looked.error);
    if (looked.kind == Outcome::failed) {
      lose_step(looked);
      return false;
    }
    if (looked.is_ok() && (held.number != sent.number || std::memcmp(&held.record, &sent.record, sizeof sent.record) != 0))
      refuse_second_bridge(sent.number);
    return true;
  }

  [[noreturn]] void refuse_second_bridge(int32_t number) {
    refuse("another out bridge is publishing channel " + config_.channel + " to stream " + config_.stream() +
           " (record " + std::to_string(number) + " was stored by someone else)");
  }

  // Stops publishing until the stream's end is looked up again; `why`
  // is reported unless it is the stream's answer, which the look-up explains.
  void lose_step(const Outcome& why) {
    if (!why.error.empty() && why.kind != Outcome::unexpected_last) report_.error(why.error);
    rest_before_lookup_ = why.kind != Outcome::unexpected_last;
    in_step_ = false;
    waiting_on_the_server("the server to answer");
  }

  // Says what the bridge waits on while it cannot publish: the next record
  // to store, when the channel has one, and `otherwise` when not.
  void waiting_on_the_server(const std::string& otherwise) {
    int32_t count = zeb::follower_published(follower_);
    report_.set_lag(count - stored_.number);
    zeb::LoadedRecord next;
    if (count > stored_.number && zeb::follower_read_after(follower_, stored_.number, next))
      report_.waiting_on("the server to store record " + std::to_string(next.number));
    else
      report_.waiting_on(otherwise);
  }

  // Once every answer still on its way has come (the server may yet store
  // what it answers), learns the stream's end.
  void resynchronise() {
    PublishAck late;
    while (link_.take_ack(late)) {
    }
    if (link_.unanswered() > 0) {
      link_.wait_for_ack(std::chrono::milliseconds(50));
      return;
    }
    window_.clear();
    if (rest_before_lookup_) backoff_.wait();
    if (tools::interrupted()) return;
    in_step_ = find_stream_end();
    rest_before_lookup_ = !in_step_;
  }

  // Makes sure the channel's stream exists and is this channel's, learns
  // the last record it holds and commits up to it. False when the server
  // cannot tell yet.
  bool find_stream_end() {
    StreamFacts facts;
    Outcome found = link_.stream(facts);
    if (found.kind == Outcome::not_found) found = link_.create_stream(facts);
    if (!found.is_ok()) {
      report_.error(found.error);
      waiting_on_the_server("stream " + config_.stream());
      return false;
    }
    check_stream_is_ours(facts);
    StoredRecord last;
    Outcome looked = link_.last_record(last);
    if (looked.kind == Outcome::not_a_record) refuse(looked.error);
    if (looked.kind == Outcome::failed) {
      report_.error(looked.error);
      waiting_on_the_server("the stream's last record");
      return false;
    }
    if (looked.is_ok() ? !take_stream_end(last) : !take_empty_stream(facts)) return false;
    if (!looked_before_) first_look_ = Clock::now();
    looked_before_ = true;
    own_up_to_ = std::max(own_up_to_, stored_.number);
    if (stored_.number > committed_) commit(stored_.number);
    report_.recovered();
    report_.set_last_record(stored_.number);
    backoff_.reset();
    report_.event("ready",
                  "stream " + config_.stream() + " holds records up to " + std::to_string(stored_.number),
                  {Report::text("stream", config_.stream()), Report::number("last_record", stored_.number),
                   Report::number("last_sequence", static_cast<int64_t>(stored_.sequence))});
    return true;
  }

  bool take_stream_end(const StoredRecord& last) {
    // Since the first look, the stream's end can only be a record this
    // bridge published, or one a bridge killed before it did.
    if (looked_before_ && last.number > own_up_to_) {
      StoredMatch match = compare_stored_record(zeb::follower_paths(follower_), last);
      if (match == StoredMatch::unreadable) {
        report_.error("cannot read record " + std::to_string(last.number) + " to compare it with the stream's");
        return false;
      }
      if (!may_be_predecessors() || match != StoredMatch::same) refuse_second_bridge(last.number);
    }
    // Records the stream holds are committed without being sent, so its
    // last one must be the channel's: a channel started anew numbers from 1
    // again, and its records would be taken for stored ones and never sent.
    if (!check_stored_record(zeb::follower_paths(follower_), config_, last, kStartedAnew, report_)) return false;
    int32_t had = std::max(committed_, stored_.number);
    // The server lost its newest messages (a store restored from an older
    // copy): the channel still holds the records, which go again.
    if (last.number < had)
      report_.event("behind",
                    "stream " + config_.stream() + " ends at record " + std::to_string(last.number) +
                        ", though it had stored records up to " + std::to_string(had) + ": the server lost records " +
                        std::to_string(last.number + 1) + " to " + std::to_string(had) + "; publishing them again",
                    {Report::text("stream", config_.stream()), Report::number("last_record", last.number),
                     Report::number("stored_before", had)});
    stored_ = last;
    return true;
  }

  // The subject holds no message: a stream new, lost and made again, or purged.
  bool take_empty_stream(const StreamFacts& facts) {
    int32_t had = std::max(committed_, stored_.number);
    stored_ = StoredRecord();
    stream_last_ = facts.last_sequence;
    if (had == 0) return true;
    if (facts.last_sequence == 0) {
      report_.event("behind",
                    "stream " + config_.stream() + " holds no record, though it had stored records up to " +
                        std::to_string(had) + ": publishing the channel's records from the first again",
                    {Report::text("stream", config_.stream()), Report::number("last_record", 0),
                     Report::number("stored_before", had)});
      return true;
    }
    // A purge took the records and left the sequences going on: somebody
    // chose to drop them, and the bridge carries on after them. Copies that
    // had not taken them cannot get them from the stream any more.
    report_.event("purged",
                  "stream " + config_.stream() + " was purged: it holds none of the records up to " +
                      std::to_string(had) + " any more; carrying on after record " + std::to_string(had),
                  {Report::text("stream", config_.stream()), Report::number("stored_before", had),
                   Report::number("last_sequence", static_cast<int64_t>(facts.last_sequence))});
    stored_.number = had;
    return true;
  }

  void check_stream_is_ours(const StreamFacts& facts) {
    if (facts.subjects.size() != 1 || facts.subjects[0] != config_.subject())
      refuse("stream " + config_.stream() + " does not hold exactly the subject " + config_.subject());
    // A stream made by hand carries no description of ours, and is taken as given.
    const std::string ours = stream_description(config_.master);
    const std::string prefix = stream_description("");
    if (facts.description.compare(0, prefix.size(), prefix) == 0 && facts.description != ours)
      refuse("stream " + config_.stream() + " carries the channel of master " +
             facts.description.substr(prefix.size()) + ", not of " + config_.master +
             ": give this channel an id of its own with --channel");
  }

  void commit(int32_t number) {
    if (!zeb::follower_commit_at(follower_, number)) report_.error(zeb::follower_error(follower_).message);
    // The cursor moved even when its file could not be written.
    committed_ = number;
  }

  const BridgeConfig& config_;
  Report& report_;
  NatsLink link_;
  zeb::FollowerState follower_;
  zeb::MachineClaim claim_;  // on the channel id
  int32_t committed_ = 0;    // the cursor

  // The newest record known to be stored, every one before it stored too;
  // sequence 0 when the subject holds no message (the number then says
  // after which record publishing goes on).
  StoredRecord stored_;
  uint64_t stream_last_ = 0;      // the stream's last sequence when its subject held no message
  std::deque<InFlight> window_;  // publishes unanswered, oldest first
  int32_t own_up_to_ = 0;        // the highest number published by this bridge or known to be by one before it
  bool looked_before_ = false;   // the stream's end was looked up once
  using Clock = std::chrono::steady_clock;
  Clock::time_point first_look_;
  bool in_step_ = false;         // the stream's end is known, publishing may go on
  bool rest_before_lookup_ = false;
  bool idle_ = false;  // the last look at the channel found nothing new

  PollPace pace_;
  Backoff backoff_;
};

}  // namespace

int run_out(const BridgeConfig& config, Report& report) {
  OutBridge bridge(config, report);
  bridge.start();
  bridge.run();
  return 0;
}

}  // namespace zebbridge
