#pragma once

#include <string>
#include <vector>

#include "support/delivery_log.h"
#include "support/test_support.h"

namespace zeb::test {

// Starts a zeb_peer follower `name` of ROOT/MASTER that logs the number of
// each record it takes to `log`, up to `count`; returns its pid.
int start_peer_follower(const std::string& root, const std::string& name, const std::string& master, int count,
                        const std::string& log);

// One master and its followers as separate zeb_peer processes, on a fresh
// root under `base` (empty: the default temporary directory, on the real
// disk). Each process logs the record numbers it handled.
class PeerRun {
 public:
  PeerRun(const std::string& base, int count);

  // Start a process and return its pid; a restarted one carries on. A
  // master publishes up to record `up_to` (by default the run's count).
  int start_master(int up_to = 0) const;
  int start_follower(const std::string& name) const;

  std::string log(const std::string& name) const { return dir_ / (name + ".log"); }
  std::string master_log() const { return log("master"); }
  std::string system_dir() const { return root_ + "/" + master_ + "/system"; }
  int count() const { return count_; }

 private:
  TempDir dir_;
  std::string root_;
  std::string master_;
  int count_;
};

}  // namespace zeb::test
