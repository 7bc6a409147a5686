#pragma once

// Host programs driving one master and its followers over the in-memory
// platform, checking after every call what the channel promises:
// - a failed call reports code -1 and one of its own messages; a call that
//   hit an injected write, listing or counter fault never reports success;
// - the published count never exceeds the newest complete record;
// - index files are always whole numbers, and cursors never move backwards;
// - a follower only receives records byte-identical to what Write staged
//   under that number, in order, and never a record whose Write returned 0
//   (its host sends the trade again);
// and, once recover() has run with the faults gone, that every record whose
// Write returned 1 reached every follower.
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "follower.h"
#include "master.h"

namespace zeb::test {

// How records may arrive at a follower, beyond "in order, nothing skipped".
enum class Delivery {
  exactly_once,
  // A follower killed between Read and Commit gets that record again.
  again_after_kill,
  // A follower whose Commits failed replays, once restarted, everything
  // after the cursor its index file kept.
  replay_after_restart,
};

class ChannelSim {
 public:
  ChannelSim(int followers, Delivery delivery);
  ~ChannelSim();

  const std::string root = "R";
  const std::string master = "M";
  std::string follower_name(int i) const { return "F" + std::to_string(i); }
  std::string master_dir() const { return root + "\\" + master; }
  std::string system_dir() const { return master_dir() + "\\system"; }

  // Tells the checks that record `number` on disk holds `record`.
  void expect_on_disk(int32_t number, const TradeRecord& record);

  // What a host does; a process that is not running is started first, and a
  // failed Init, Write or Commit is tried once more.
  void master_start();
  void master_write();
  void master_stop();
  void follower_start(int i);
  // Reads and commits until nothing is new, a Read fails, or `limit` reads.
  void follower_drain(int i, int limit = 20);
  void follower_stop(int i);

  // Faults off: starts whoever is down, drains every follower and checks
  // that each has received every record whose Write returned 1.
  void recover();

  // Broken promises, in the order found.
  const std::vector<std::string>& problems() const { return problems_; }
  // Calls that returned 0 with code -1.
  int failed_calls() const { return failed_calls_; }

 private:
  struct Follower {
    std::unique_ptr<FollowerState> state;
    std::vector<int32_t> received;  // numbers, as the host logged them
    int32_t persisted = 0;          // cursor last seen in the index file
    int32_t cursor = 0;             // cursor last seen in memory
    int32_t last_this_run = 0;      // newest record received since it started
  };

  enum class Op { master_init, write, follower_init, read, commit };
  // Runs one library call as `process` and checks it; false when the
  // process died in it (its state is then gone).
  bool run(int process, Op op, const std::function<int32_t()>& body, int32_t* result);
  void bury(int process);
  void check_result(Op op, int32_t result, const ErrorState& error);
  void check_world();
  void check_received(Follower& f);
  void problem(const std::string& what);
  const ErrorState& error_of(int process) const;

  std::unique_ptr<MasterState> master_state_;
  std::vector<Follower> followers_;
  std::map<int32_t, TradeRecord> staged_;  // record number -> what Write staged
  std::vector<int32_t> confirmed_;         // numbers whose Write returned 1
  std::set<int32_t> refused_;              // numbers whose Write returned 0
  int next_trade_ = 1;
  Delivery delivery_;
  bool recovering_ = false;
  std::vector<std::string> problems_;
  int failed_calls_ = 0;
};

}  // namespace zeb::test
