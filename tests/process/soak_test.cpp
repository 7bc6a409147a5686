// A long run on tmpfs: one master publishing up to 200,000 records, in
// batches as fast as it can, to eight follower processes that are killed
// and started again at random all the while. Every follower must end with
// every record published, in order, each field checked by the peer,
// repeating only a record it had not committed when killed. Publishing
// stops early only if the channel is too slow to reach 200,000 in time.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "support/peer_run.h"

namespace zeb {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kRecords = 200000;
constexpr int kBatch = 5000;
constexpr int kFollowers = 8;
// Past this the master publishes no further batch; the followers still get
// every record already published.
constexpr auto kPublishingTime = 2min;

TEST(Soak, EightFollowersRestartingAtRandomGetEveryRecordOfUpTo200000) {
  test::PeerRun run("/dev/shm", kRecords);
  std::vector<std::string> names;
  std::vector<int> pids;
  for (int i = 0; i < kFollowers; ++i) {
    names.push_back("follower" + std::to_string(i));
    pids.push_back(run.start_follower(names.back()));
  }

  unsigned seed = std::random_device()();
  std::mt19937 random(seed);
  Clock::time_point start = Clock::now();
  int restarts = 0;
  int published = 0;
  // The master publishes a batch as fast as it can; while the followers
  // catch up, one at a time is killed and started again.
  while (published < kRecords && Clock::now() - start < kPublishingTime) {
    int master = run.start_master(std::min(published + kBatch, kRecords));
    ASSERT_EQ(test::wait_for(master), 0);
    published = std::min(published + kBatch, kRecords);
    Clock::time_point deadline = Clock::now() + 5min;
    for (int i = 0; i < kFollowers && Clock::now() < deadline;) {
      if (test::last_logged(run.log(names[i])) == published) {
        ++i;
        continue;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % 400));
      int victim = static_cast<int>(random() % kFollowers);
      ::kill(pids[victim], SIGKILL);
      int status = test::wait_for(pids[victim]);
      ASSERT_TRUE(status == 128 + SIGKILL || (status == 0 && published == kRecords))
          << names[victim] << " failed (seed " << seed << ")";
      pids[victim] = run.start_follower(names[victim]);
      ++restarts;
    }
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  for (int pid : pids) {
    ::kill(pid, SIGKILL);
    test::wait_for(pid);
  }

  int repeats = 0;
  for (const std::string& name : names)
    repeats += test::expect_complete_in_order(test::logged_numbers(run.log(name)), published, name);
  std::printf("soak: %d records, 1 master and %d followers, %d follower restarts, %d records "
              "received again after a restart, %.1f s (%.0f records/s to every follower)\n",
              published, kFollowers, restarts, repeats, seconds, published / seconds);
}

}  // namespace
}  // namespace zeb
