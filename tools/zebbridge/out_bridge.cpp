#include "backoff.h"
#include "bridge.h"
#include "command_line.h"
#include "follower.h"
#include "interrupt.h"
#include "master.h"
#include "nats_link.h"
#include "stored_record_check.h"

namespace zebbridge {

namespace {

// Follows the channel and publishes each record, committing it only once the
// server has stored it. The stream's subject holds the records in order, at
// most once each: every publish names the subject's last message it expects
// to follow, and carries the record number in its message id.
class OutBridge {
 public:
  OutBridge(const BridgeConfig& config, Report& report) : config_(config), report_(report), link_(config) {}

  void start() {
    if (!zeb::follower_init(follower_, config_.root.c_str(), config_.follower().c_str(), config_.master.c_str()))
      tools::fail(zeb::follower_error(follower_).message);
    claim_channel();
    report_.event("started",
                  "following " + config_.master + " under " + config_.root + " as " + config_.follower() +
                      ", publishing to stream " + config_.stream(),
                  {Report::text("root", config_.root), Report::text("master", config_.master),
                   Report::text("stream", config_.stream())});
  }

  void run() {
    bool ready = false;
    while (!tools::interrupted()) {
      note_connection(link_, report_);
      if (!ready) {
        ready = find_stream_end();
        if (!ready) backoff_.wait();
        continue;
      }
      if (!zeb::follower_read(follower_)) {
        if (zeb::follower_error(follower_).code == 0) {
          // Nothing new: every record is in the stream.
          report_.recovered();
          report_.set_lag(0);
          tools::pause_between_polls();
        } else {
          report_.error(zeb::follower_error(follower_).message);
          report_.waiting_on("the channel to be readable");
          backoff_.wait();
        }
        continue;
      }
      zeb::LoadedRecord loaded = zeb::follower_loaded(follower_);
      // A record the stream already holds was stored before a restart that
      // came before its Commit: it is committed, not sent again.
      if (loaded.number > last_.number && !publish(loaded)) return;
      if (!zeb::follower_commit(follower_)) report_.error(zeb::follower_error(follower_).message);
      report_.carried(loaded.number, zeb::follower_published(follower_) - loaded.number);
    }
  }

 private:
  // One out bridge per channel on a machine: one started by mistake beside
  // it is refused at once, and the running one goes on. A second one on
  // another machine is caught by the stream itself (publish below).
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

  // Makes sure the channel's stream exists and is this channel's, and learns
  // the last record it holds. False when the server cannot tell yet.
  bool find_stream_end() {
    StreamFacts facts;
    Outcome found = link_.stream(facts);
    if (found.kind == Outcome::not_found) found = link_.create_stream(facts);
    if (!found.is_ok()) {
      report_.error(found.error);
      report_.waiting_on("stream " + config_.stream());
      return false;
    }
    check_stream_is_ours(facts);
    StoredRecord last;
    Outcome looked = link_.last_record(last);
    if (looked.kind == Outcome::not_a_record) refuse(looked.error);
    if (looked.kind == Outcome::failed) {
      report_.error(looked.error);
      report_.waiting_on("the stream's last record");
      return false;
    }
    last_ = looked.is_ok() ? last : StoredRecord();
    // Records the stream holds are committed without being sent, so its
    // last one must be the channel's: a channel started anew numbers from 1
    // again, and its records would be taken for stored ones and never sent.
    if (last_.number > 0 &&
        !check_stored_record(zeb::follower_paths(follower_), config_, last_,
                             "the channel was started anew or is not the stream's; carry it under a channel id "
                             "of its own with --channel",
                             report_))
      return false;
    report_.recovered();
    report_.set_last_record(last_.number);
    backoff_.reset();
    report_.event("ready", "stream " + config_.stream() + " holds records up to " + std::to_string(last_.number),
                  {Report::text("stream", config_.stream()), Report::number("last_record", last_.number),
                   Report::number("last_sequence", static_cast<int64_t>(last_.sequence))});
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

  [[noreturn]] void refuse_second_bridge(int32_t number) {
    refuse("another out bridge is publishing channel " + config_.channel + " to stream " + config_.stream() +
           " (record " + std::to_string(number) + " was stored by someone else)");
  }

  // Publishes the record until the server stores it; false when SIGINT or
  // SIGTERM came first. A publish whose answer was lost is sent again: the
  // server recognises it by its message id, or, after the duplicate window,
  // the stream's last message shows it was stored.
  bool publish(const zeb::LoadedRecord& loaded) {
    int32_t number = loaded.number;
    bool sent_before = false;
    report_.waiting_on("the server to store record " + std::to_string(number));
    while (!tools::interrupted()) {
      uint64_t sequence = 0;
      bool duplicate = false;
      Outcome sent = link_.publish(number, loaded.record, last_.sequence, sequence, duplicate);
      if (sent.is_ok()) {
        // Only a publish of ours that was sent before may already be stored.
        if (duplicate && !sent_before) refuse_second_bridge(number);
        last_.sequence = sequence;
        last_.number = number;
        report_.recovered();
        backoff_.reset();
        return true;
      }
      if (sent.kind == Outcome::unexpected_last) {
        if (!sent_before) refuse_second_bridge(number);
        StoredRecord stored;
        Outcome looked = link_.last_record(stored);
        if (looked.is_ok()) {
          if (stored.number != number || stored.sequence != last_.sequence + 1) refuse_second_bridge(number);
          last_ = stored;
          return true;
        }
        sent = looked;
      }
      report_.error(sent.error);
      report_.set_lag(zeb::follower_published(follower_) - last_.number);
      sent_before = true;
      backoff_.wait();
      note_connection(link_, report_);
    }
    return false;
  }

  const BridgeConfig& config_;
  Report& report_;
  NatsLink link_;
  zeb::FollowerState follower_;
  zeb::MachineClaim claim_;  // on the channel id
  StoredRecord last_;         // the newest record the stream holds, as far as known
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
