// The channel end to end: a master and followers in separate processes,
// each loading its library the way a host program does.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "support/delivery_log.h"
#include "support/test_support.h"

namespace zeb {
namespace {

using namespace std::chrono_literals;

using test::expect_complete_in_order;
using test::logged_numbers;

// One master and its followers as separate processes, on a fresh root under
// `base` (empty: the default temporary directory, on the real disk).
class ChannelRun {
 public:
  ChannelRun(const std::string& base, int count)
      : dir_(base), root_(dir_ / "root"), master_(test::unique_name("e2e")), count_(count) {}

  int start_master() {
    return test::spawn({ZEB_PEER, "master", ZEB_MASTER_LIBRARY, root_, master_, std::to_string(count_)});
  }
  int start_follower(const std::string& name) {
    return test::spawn({ZEB_PEER, "follower", ZEB_FOLLOWER_LIBRARY, root_, name, master_,
                        std::to_string(count_), log(name)});
  }
  std::string log(const std::string& name) const { return dir_ / (name + ".log"); }
  int count() const { return count_; }

 private:
  test::TempDir dir_;
  std::string root_;
  std::string master_;
  int count_;
};

void run_with_a_restart(ChannelRun& run) {
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
  ChannelRun run("/dev/shm", 4000);
  run_with_a_restart(run);
}

// The same on the real disk, with fewer records.
TEST(Channel, EveryFollowerGetsEveryRecordOnTheRealDisk) {
  ChannelRun run("", 400);
  run_with_a_restart(run);
}

}  // namespace
}  // namespace zeb
