// Real processes killed with SIGKILL at random moments, hundreds of times:
// the master mostly inside Write (it writes as fast as it can), followers
// inside Read and Commit. Each is started again at once. After every kill
// no index file may be empty or unparseable and no cursor may have moved
// back; at the end every follower must hold every record, in order, with
// nothing garbled (the peers check every field) and nothing repeated but
// the record in flight at a kill.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <thread>

#include "support/peer_run.h"

namespace zeb {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Peer {
  std::string name;  // "master" or a follower's name
  int pid;
  bool finished;
  int kills;
};

// Every index file holds a whole number, and no follower's cursor is below
// what it was at the last look.
void expect_index_files_whole(const test::PeerRun& run, std::map<std::string, long>& cursors) {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(run.system_dir(), ignored)) {
    std::string name = entry.path().filename().string();
    if (name.rfind(".zebtmp-", 0) == 0) continue;
    std::string text = test::read_text(entry.path().string());
    bool whole = !text.empty() && text.size() <= 11 &&
                 text.find_first_not_of("0123456789", text[0] == '-' ? 1 : 0) == std::string::npos &&
                 text != "-";
    ASSERT_TRUE(whole) << "index file " << name << " holds '" << text << "'";
    long value = std::stol(text);
    auto last = cursors.find(name);
    if (last != cursors.end()) {
      EXPECT_GE(value, last->second) << name << "'s index moved back";
    }
    cursors[name] = value;
  }
}

void kill_at_random(const std::string& base, int count, int max_kills) {
  test::PeerRun run(base, count);
  std::vector<Peer> peers = {{"master", 0, false, 0}};
  for (const char* name : {"alpha", "bravo", "charlie"}) peers.push_back({name, 0, false, 0});
  auto start = [&](Peer& peer) {
    peer.pid = peer.name == "master" ? run.start_master() : run.start_follower(peer.name);
  };
  for (Peer& peer : peers) start(peer);

  unsigned seed = std::random_device()();
  std::mt19937 random(seed);
  std::map<std::string, long> cursors;
  int kills = 0;
  Clock::time_point deadline = Clock::now() + 120s;
  while (kills < max_kills && Clock::now() < deadline) {
    std::vector<Peer*> running;
    for (Peer& peer : peers)
      if (!peer.finished) running.push_back(&peer);
    if (running.empty()) break;
    // Half the kills go to the master while it still writes.
    Peer* victim = running[0]->name == "master" && random() % 2 == 0
                       ? running[0]
                       : running[random() % running.size()];
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    ::kill(victim->pid, SIGKILL);
    int status = test::wait_for(victim->pid);
    if (status == 0) {
      victim->finished = true;
    } else {
      ASSERT_EQ(status, 128 + SIGKILL) << victim->name << " failed on its own (seed " << seed << ")";
      ++kills;
      ++victim->kills;
      start(*victim);
    }
    expect_index_files_whole(run, cursors);
    if (::testing::Test::HasFatalFailure()) break;
  }

  Clock::time_point finish = Clock::now() + 120s;
  for (Peer& peer : peers) {
    if (peer.finished) continue;
    double left = std::chrono::duration<double>(finish - Clock::now()).count();
    EXPECT_EQ(test::wait_for(peer.pid, std::max(left, 1.0)), 0) << peer.name << " (seed " << seed << ")";
  }
  expect_index_files_whole(run, cursors);

  // The master's log holds each number whose Write returned 1, once.
  std::vector<int> confirmed = test::logged_numbers(run.master_log());
  EXPECT_EQ(test::expect_complete_in_order(confirmed, count, "master"), 0);
  // A record arrives twice only when the master died after writing it and
  // wrote it again, or the follower died before committing it.
  int repeats = 0;
  for (size_t i = 1; i < peers.size(); ++i) {
    int again = test::expect_complete_in_order(test::logged_numbers(run.log(peers[i].name)), count,
                                               peers[i].name);
    EXPECT_LE(again, peers[0].kills + peers[i].kills) << peers[i].name;
    repeats += again;
  }
  std::printf("%d kills (%d of the master) while publishing %d records on %s; %d records "
              "received twice in all, each right after itself\n",
              kills, peers[0].kills, count, base.empty() ? "the real disk" : base.c_str(), repeats);
}

TEST(Kill, RandomKillsOnTmpfsLoseNothingAndGarbleNothing) {
  kill_at_random("/dev/shm", 5000, 600);
}

TEST(Kill, RandomKillsOnTheRealDiskLoseNothingAndGarbleNothing) {
  kill_at_random("", 800, 150);
}

}  // namespace
}  // namespace zeb
