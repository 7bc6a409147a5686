// The channel end to end: a master and followers in separate processes,
// each loading its library the way a host program does.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "support/peer_run.h"

namespace zeb {
namespace {

using namespace std::chrono_literals;

using test::expect_complete_in_order;
using test::logged_numbers;

void run_with_a_restart(test::PeerRun& run) {
  std::vector<std::string> followers = {"alpha", "bravo", "charlie"};
  std::vector<int> pids;
  for (const std::string& name : followers) pids.push_back(run.start_follower(name));
  int master = run.start_master();

  // Kill one follower partway through, then start it again.
  auto deadline = std::chrono::steady_clock::now() + 60s;
  while (logged_numbers(run.log("bravo")).size() < static_cast<size_t>(run.count() / 3) &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(2ms);
  ::kill(pids[1], SIGKILL);
  EXPECT_EQ(test::wait_for(pids[1]), 128 + SIGKILL);
  pids[1] = run.start_follower("bravo");

  EXPECT_EQ(test::wait_for(master), 0);
  for (size_t i = 0; i < followers.size(); ++i) {
    EXPECT_EQ(test::wait_for(pids[i]), 0) << followers[i];
    expect_complete_in_order(logged_numbers(run.log(followers[i])), run.count(), followers[i]);
  }
}

// Several thousand records on tmpfs, where creating a file is cheap.
TEST(Channel, EveryFollowerGetsEveryRecordInOrderAcrossAKillAndRestart) {
  test::PeerRun run("/dev/shm", 4000);
  run_with_a_restart(run);
}

// The same on the real disk, with fewer records.
TEST(Channel, EveryFollowerGetsEveryRecordOnTheRealDisk) {
  test::PeerRun run("", 400);
  run_with_a_restart(run);
}

// A peer killed mid-append can leave its log's last line torn ("4" of "43").
// Such a line counts for nothing: the restarted master publishes that record
// again rather than number on from the torn digits, and a restarted
// follower's next line does not run into it.
TEST(Channel, PeersCarryOnPastATornLastLineOfTheirLogs) {
  test::PeerRun run("/dev/shm", 3);
  ASSERT_EQ(test::wait_for(run.start_master(1)), 0);
  test::write_text(run.master_log(), test::read_text(run.master_log()) + "2");
  test::write_text(run.log("f"), "1\n2");
  ASSERT_EQ(test::wait_for(run.start_master()), 0);
  ASSERT_EQ(test::wait_for(run.start_follower("f")), 0);
  EXPECT_EQ(logged_numbers(run.master_log()), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(logged_numbers(run.log("f")), (std::vector<int>{1, 1, 2, 3}));
}

}  // namespace
}  // namespace zeb
