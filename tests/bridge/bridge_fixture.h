#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/peer_run.h"

// What the bridge tests share: two roots on tmpfs standing for two machines
// (A with the source channel, B with its copy), zebbridge run as a program,
// a master writing on A, and the comparison of the two channels.
namespace zeb::test {

// Lower-case hex of a name's bytes: the channel id a bridge derives from a
// master name.
std::string hex_id(const std::string& name);

// The whole records of a channel, by number, as a follower can load them:
// the 80-byte files with a number for a name in ROOT/MASTER.
std::map<int, std::vector<unsigned char>> whole_records(const std::string& master_dir);

// Expects B's whole records to be A's: the same numbers, the same bytes.
void expect_same_records(const std::string& master_dir_a, const std::string& master_dir_b);

// A master on a thread of the test writing sample_record(1..count) in about
// `seconds`. At `gaps` points spread over the run it stops, leaves a
// zero-byte file two numbers above its count and starts again, so it
// resumes after that file: one number is never used and one holds nothing,
// and both are gaps that followers pass over.
class PacedMaster {
 public:
  PacedMaster(const std::string& root, const std::string& master, int count, double seconds, int gaps);
  ~PacedMaster();
  PacedMaster(const PacedMaster&) = delete;
  PacedMaster& operator=(const PacedMaster&) = delete;

  bool done() const { return done_; }
  void join();

 private:
  void run(const std::string& root, const std::string& master, int count, double seconds, int gaps);

  std::atomic<bool> done_{false};
  std::thread thread_;
};

class BridgeTest : public ::testing::Test {
 protected:
  // Kills what the test started and left running (a failed assertion
  // leaves bridges that would otherwise reconnect forever).
  ~BridgeTest() override;

  TempDir dir{"/dev/shm"};
  std::string root_a = dir / "A";
  std::string root_b = dir / "B";
  // The counter of a channel is named after its master alone, so the copy
  // on "machine" B has a master name of its own.
  std::string master_a = unique_name("src");
  std::string master_b = unique_name("far");
  std::string channel = hex_id(master_a);

  std::string master_dir_a() const { return root_a + "/" + master_a; }
  std::string master_dir_b() const { return root_b + "/" + master_b; }

  // `zebbridge out A master_a` (its channel id derived from the master
  // name) and `zebbridge in B master_b --channel <that id>`, then `extra`.
  std::vector<std::string> out_args(const std::string& url, std::vector<std::string> extra = {}) const;
  std::vector<std::string> in_args(const std::string& url, std::vector<std::string> extra = {}) const;

  // Starts zebbridge; its stdout and stderr go to log(name) + ".out"/".err".
  int start_bridge(const std::string& name, std::vector<std::string> args) const;
  // Runs zebbridge to its end (at most a minute).
  CommandResult bridge(std::vector<std::string> args) const;
  std::string log(const std::string& name) const { return dir / name; }

  // Writes `count` records, sample_record(first) on, on a channel with a
  // master in this process.
  static void write_records(const std::string& root, const std::string& master, int count, int first = 1);
  // Writes `count` records on A, carries them to B with both bridges through
  // `url`, and ends the in bridge; `out` is the out bridge, left running.
  void carry_then_end_in(const std::string& url, int count, int* out);
  // Whether B's copy records the stream position "channel sequence".
  bool position_is(uint64_t sequence) const;
  // SIGTERM (or SIGINT) ends a bridge with status 0.
  void terminate(int pid, const std::string& name, int signal = SIGTERM) const;

  // A self-signed certificate for a server on 127.0.0.1, and its key.
  void make_certificate(const std::string& certificate, const std::string& key) const;

  // A zeb_peer follower of B's copy that checks every record's fields and
  // logs the sample number of each (log("far")), until it has `count`.
  int start_far_follower(int count) const;
  // Expects that follower to have taken 1..count in order, each once.
  void expect_far_follower_complete(int count) const;

 private:
  mutable std::vector<int> children_;
};

}  // namespace zeb::test
