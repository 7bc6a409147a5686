// A channel carried from root A to root B through real nats-server
// processes while the bridges and the servers are killed with SIGKILL at
// random moments and started again: B must end up with every whole record
// of A under the same number, byte for byte, gaps kept, and its follower
// must get each record once, in order.
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>

#include "bridge/bridge_fixture.h"
#include "bridge/jetstream_view.h"
#include "support/nats_server.h"

namespace zeb::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A bridge process the test kills and starts again; each start logs under
// a name of its own.
struct Bridge {
  std::string name;
  std::vector<std::string> args;
  int pid = 0;
  int starts = 0;
  int kills = 0;
  std::string log_name() const { return name + "." + std::to_string(starts); }
};

class CarryTest : public BridgeTest {
 protected:
  void start(Bridge& bridge) {
    ++bridge.starts;
    bridge.pid = start_bridge(bridge.log_name(), bridge.args);
  }
  // Fails when the bridge ended by itself, showing why.
  void expect_running(const Bridge& bridge) {
    int status;
    if (::waitpid(bridge.pid, &status, WNOHANG) == bridge.pid)
      ADD_FAILURE() << bridge.name << " ended by itself with status " << status << ": "
                    << read_text(log(bridge.log_name()) + ".err");
  }
  void kill_and_restart(Bridge& bridge) {
    expect_running(bridge);
    ::kill(bridge.pid, SIGKILL);
    ASSERT_EQ(wait_for(bridge.pid, 10), 128 + SIGKILL) << bridge.name;
    ++bridge.kills;
    start(bridge);
  }
  void stop(const Bridge& bridge) {
    expect_running(bridge);
    terminate(bridge.pid, bridge.log_name());
  }
  // Waits for B's follower to take the last record, then checks the copy:
  // the stream holds each record once and B holds A's records.
  void expect_carried_exactly(int far_follower, int records, const std::string& url) {
    ASSERT_EQ(wait_for(far_follower, 120), 0) << "B's follower did not get every record";
    expect_far_follower_complete(records);
    expect_same_records(master_dir_a(), master_dir_b());
    StreamState stream = stream_state(url, "ZEB_" + channel);
    EXPECT_EQ(stream.messages, static_cast<uint64_t>(records)) << "the stream holds a record twice";
    EXPECT_TRUE(position_is(records)) << read_text(master_dir_b() + "/bridge.position");
  }
};

TEST_F(CarryTest, RandomKillsOfBridgesAndServerLoseNothingAndRepeatNothing) {
  constexpr int kRecords = 2000;
  NatsServer server("/dev/shm");
  ASSERT_TRUE(server.start()) << read_text(server.log_path());
  Bridge out{"out", out_args(server.url(), {"--status-interval", "1"})};
  Bridge in{"in", in_args(server.url(), {"--status-interval", "1"})};
  start(out);
  start(in);
  int far_follower = start_far_follower(kRecords);

  unsigned seed = std::random_device()();
  std::mt19937 random(seed);
  int server_kills = 0;
  {
    PacedMaster source(root_a, master_a, kRecords, 15, 3);
    // Kills go on for 30 s at least, past the last record, while the
    // bridges catch up.
    Clock::time_point until = Clock::now() + 30s;
    while (Clock::now() < until || !source.done()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50 + random() % 400));
      switch (random() % 8) {
        case 0:
        case 1:
        case 2:
          kill_and_restart(out);
          break;
        case 3:
        case 4:
        case 5:
          kill_and_restart(in);
          break;
        default:
          server.kill();
          ++server_kills;
          ASSERT_TRUE(server.start()) << read_text(server.log_path());
      }
      ASSERT_FALSE(HasFailure()) << "seed " << seed;
    }
  }
  std::printf("kills: out %d, in %d, server %d, records %zu (seed %u)\n", out.kills, in.kills,
              server_kills, whole_records(master_dir_a()).size(), seed);

  expect_carried_exactly(far_follower, kRecords, server.url());
  stop(out);
  stop(in);
}

TEST_F(CarryTest, AClusterLosingTheStreamLeaderLosesNothing) {
  constexpr int kRecords = 800;
  NatsCluster cluster("/dev/shm");
  ASSERT_TRUE(cluster.start()) << read_text(cluster.node(0).log_path());
  Bridge out{"out", out_args(cluster.url(), {"--replicas", "3"})};
  Bridge in{"in", in_args(cluster.url())};
  start(out);
  start(in);
  int far_follower = start_far_follower(kRecords);
  {
    PacedMaster source(root_a, master_a, kRecords, 8, 1);
    ASSERT_TRUE(eventually([&] { return last_logged(log("far")) >= kRecords / 4; }, 60));
    StreamState stream = stream_state(cluster.url(), "ZEB_" + channel);
    EXPECT_EQ(stream.replicas, 3);
    std::string leader = stream.leader;
    int victim = leader == cluster.node(1).name() ? 1 : leader == cluster.node(2).name() ? 2 : 0;
    cluster.node(victim).kill();
    std::printf("cluster: %s (stream leader '%s') killed after record %d reached B\n",
                cluster.node(victim).name().c_str(), leader.c_str(), last_logged(log("far")));
    ASSERT_TRUE(eventually([&] { return last_logged(log("far")) >= kRecords * 3 / 4; }, 60))
        << "nothing carried after " << cluster.node(victim).name() << " (leader '" << leader << "') died\n"
        << read_text(log(out.log_name()) + ".out") << read_text(log(in.log_name()) + ".out");
    ASSERT_TRUE(cluster.node(victim).start());
  }
  expect_carried_exactly(far_follower, kRecords, cluster.url());
  stop(out);
  stop(in);
}

// Killed with many publishes on its way, an out bridge leaves the server
// storing some of them after it died, maybe after the next one looked up
// the stream's end: that one takes them for what they are.
TEST_F(CarryTest, OutBridgesKilledWithPublishesOnTheirWayStoreEachRecordOnce) {
  constexpr int kRecords = 20000;
  NatsServer server("/dev/shm");
  ASSERT_TRUE(server.start());
  write_records(root_a, master_a, kRecords);
  Bridge out{"out", out_args(server.url())};
  start(out);
  for (uint64_t stored = 0; out.kills < 6;) {
    ASSERT_TRUE(eventually([&] { return stream_state(server.url(), "ZEB_" + channel).last > stored + 1000; }, 30))
        << read_text(log(out.log_name()) + ".err");
    kill_and_restart(out);
    stored = stream_state(server.url(), "ZEB_" + channel).last;
  }
  ASSERT_TRUE(eventually([&] { return stream_state(server.url(), "ZEB_" + channel).last == kRecords; }, 60));
  EXPECT_EQ(stream_state(server.url(), "ZEB_" + channel).messages, static_cast<uint64_t>(kRecords));
  stop(out);
}

// A server back with an older copy of its store lacks the newest records
// it had stored: the out bridge publishes them again and carries on.
TEST_F(CarryTest, AServerBackWithAnOlderStoreGetsTheRecordsItLostAgain) {
  NatsServer server("/dev/shm");
  ASSERT_TRUE(server.start());
  int out = 0;
  ASSERT_NO_FATAL_FAILURE(carry_then_end_in(server.url(), 20, &out));
  std::string older = dir / "older-store";
  server.stop();
  std::filesystem::copy(server.store_path(), older, std::filesystem::copy_options::recursive);
  ASSERT_TRUE(server.start());
  write_records(root_a, master_a, 20, 21);
  ASSERT_TRUE(eventually([&] { return stream_state(server.url(), "ZEB_" + channel).last == 40; }, 30));
  server.stop();
  remove_all(server.store_path());
  std::filesystem::rename(older, server.store_path());
  ASSERT_TRUE(server.start());

  ASSERT_TRUE(eventually([&] { return stream_state(server.url(), "ZEB_" + channel).messages == 40; }, 30))
      << read_text(log("out") + ".out") << read_text(log("out") + ".err");
  EXPECT_NE(read_text(log("out") + ".out").find("lost records 21 to 40"), std::string::npos);
  int in = start_bridge("in-again", in_args(server.url()));
  ASSERT_TRUE(eventually([&] { return position_is(40); }, 30)) << read_text(log("in-again") + ".err");
  terminate(in, "in-again");
  terminate(out, "out");
  expect_same_records(master_dir_a(), master_dir_b());
  EXPECT_EQ(stream_state(server.url(), "ZEB_" + channel).messages, 40u);
}

// A purge while both bridges run drops the records stored so far, and the
// bridges carry on after them; a stream deleted is made anew and gets the
// channel's records again.
TEST_F(CarryTest, APurgedStreamIsCarriedOnAndADeletedOneMadeAnew) {
  NatsServer server("/dev/shm");
  ASSERT_TRUE(server.start());
  write_records(root_a, master_a, 10);
  int out = start_bridge("out", out_args(server.url()));
  int in = start_bridge("in", in_args(server.url()));
  ASSERT_TRUE(eventually([&] { return position_is(10); }, 30)) << read_text(log("in") + ".err");
  ASSERT_TRUE(purge_stream(server.url(), "ZEB_" + channel));
  write_records(root_a, master_a, 5, 11);
  ASSERT_TRUE(eventually([&] { return position_is(15); }, 30)) << read_text(log("out") + ".out");
  EXPECT_NE(read_text(log("out") + ".out").find("was purged"), std::string::npos);
  terminate(in, "in");
  expect_same_records(master_dir_a(), master_dir_b());

  ASSERT_TRUE(delete_stream(server.url(), "ZEB_" + channel));
  write_records(root_a, master_a, 5, 16);
  ASSERT_TRUE(eventually([&] { return stream_state(server.url(), "ZEB_" + channel).last == 20; }, 30))
      << read_text(log("out") + ".out");
  EXPECT_EQ(stream_state(server.url(), "ZEB_" + channel).messages, 20u);
  terminate(out, "out");
}

// A write killed on B leaves a short file above B's published count; the
// record that comes again after the restart takes its place.
TEST_F(CarryTest, ARecordFileAKilledCopyLeftShortIsWrittenWhole) {
  NatsServer server("/dev/shm");
  ASSERT_TRUE(server.start());
  int out = 0;
  ASSERT_NO_FATAL_FAILURE(carry_then_end_in(server.url(), 10, &out));

  write_bytes(master_dir_b() + "/000011", "half a record", 13);
  write_records(root_a, master_a, 5, 11);
  int in = start_bridge("in-again", in_args(server.url()));
  ASSERT_TRUE(eventually([&] { return position_is(15); }, 30)) << read_text(log("in-again") + ".err");
  terminate(in, "in-again");
  terminate(out, "out");
  expect_same_records(master_dir_a(), master_dir_b());
}

}  // namespace
}  // namespace zeb::test
