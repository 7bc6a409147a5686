// Every platform call of every scenario fails in turn, or is the last call
// of its process; the channel must keep its promises each time (see
// fault/channel_sim.h for what is checked).
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "channel_sim.h"
#include "conflict_retry.h"
#include "fault_platform.h"
#include "support/sample_record.h"

namespace zeb {
namespace {

using fault::Call;
using test::ChannelSim;

struct Scenario {
  const char* name;
  int followers;
  std::function<void(ChannelSim&)> setup;  // runs with no faults
  std::function<void(ChannelSim&)> script;
};

// Hosts come and go around a master publishing on an empty root: a follower
// that starts first, one that joins later, restarts of both sides.
void fresh_channel(ChannelSim& sim) {
  sim.follower_start(0);
  sim.master_start();
  for (int i = 0; i < 3; ++i) sim.master_write();
  sim.follower_drain(0);
  sim.follower_start(1);
  sim.master_write();
  sim.master_write();
  sim.follower_drain(0);
  sim.follower_drain(1);
  sim.master_stop();
  sim.master_start();
  sim.master_write();
  sim.follower_stop(0);
  sim.follower_drain(0);
  sim.follower_drain(1);
}

// A channel with a past: a gap, a record a killed master left half written,
// a follower part of the way through; then everybody leaves and the counter
// is gone, and a follower is the first to come back.
void channel_with_history(ChannelSim& sim) {
  for (const std::string& dir : {sim.root, sim.master_dir(), sim.system_dir()}) fault::put_directory(dir);
  for (int n : {1, 2, 4}) {
    TradeRecord record = test::sample_record(1000 + n);
    fault::put_file(sim.master_dir() + "\\00000" + std::to_string(n),
                    std::string(reinterpret_cast<const char*>(&record), sizeof record));
    sim.expect_on_disk(n, record);
  }
  fault::put_file(sim.master_dir() + "\\000005", std::string(40, 'x'));
  fault::put_file(sim.system_dir() + "\\" + sim.master, "4");
  fault::put_file(sim.system_dir() + "\\" + sim.follower_name(0), "1");
}

void history_script(ChannelSim& sim) {
  sim.follower_drain(0);
  sim.master_start();
  sim.master_write();
  sim.master_write();
  sim.follower_drain(0);
  sim.follower_drain(1);
  sim.master_stop();
  sim.follower_stop(0);
  sim.follower_stop(1);
  sim.follower_drain(1);
  sim.master_write();
  sim.follower_drain(0);
  sim.follower_drain(1);
}

// Another program holds the master index past every retry through a Write,
// which fails and withdraws its record, and again when the host tries once
// more.
void held_index(ChannelSim& sim) {
  std::string master_index = sim.system_dir() + "\\" + sim.master;
  sim.follower_start(0);
  sim.master_start();
  sim.master_write();
  sim.follower_drain(0);
  fault::hold(master_index, false);
  sim.master_write();
  fault::release(master_index);
  sim.follower_drain(0);
  sim.master_write();
  sim.follower_drain(0);
}

const Scenario kScenarios[] = {
    {"fresh channel", 2, [](ChannelSim&) {}, fresh_channel},
    {"channel with history", 2, channel_with_history, history_script},
    {"held master index", 1, [](ChannelSim&) {}, held_index},
};

// Calls of each kind, and of all kinds together.
struct Census {
  int by_kind[fault::kCallKinds] = {};
  int total = 0;
};

Census census_since(const Census& start) {
  Census now;
  for (int kind = 0; kind < fault::kCallKinds; ++kind)
    now.by_kind[kind] = fault::calls(Call(kind)) - start.by_kind[kind];
  now.total = fault::total_calls() - start.total;
  return now;
}

// Runs a scenario with whatever `arm` injects once its setup is done, and
// counts the calls its script makes.
std::vector<std::string> run(const Scenario& scenario, test::Delivery delivery,
                             const std::function<void()>& arm, Census* script_calls = nullptr,
                             int* failed_calls = nullptr) {
  fault::reset();
  std::vector<std::string> problems;
  {
    ChannelSim sim(scenario.followers, delivery);
    scenario.setup(sim);
    Census start = census_since(Census());
    arm();
    scenario.script(sim);
    if (script_calls != nullptr) *script_calls = census_since(start);
    sim.recover();
    problems = sim.problems();
    if (failed_calls != nullptr) *failed_calls = sim.failed_calls();
  }
  fault::reset();
  return problems;
}

std::string describe(const std::vector<std::string>& problems) {
  std::string text;
  for (const std::string& problem : problems) text += "\n  " + problem;
  return text;
}

// The calls a scenario's script makes when nothing fails, and how many of
// its calls fail all the same.
Census take_census(const Scenario& scenario, int* failed_calls = nullptr) {
  Census census;
  std::vector<std::string> problems =
      run(scenario, test::Delivery::exactly_once, [] {}, &census, failed_calls);
  EXPECT_TRUE(problems.empty()) << scenario.name << " without faults:" << describe(problems);
  return census;
}

TEST(FaultSweep, EveryCallOfEveryKindFailsInTurnAndNothingIsLostOrGarbled) {
  int runs = 0;
  for (const Scenario& scenario : kScenarios) {
    Census census = take_census(scenario);
    std::string counts;
    for (int kind = 0; kind < fault::kCallKinds; ++kind) {
      for (int k = 1; k <= census.by_kind[kind]; ++k) {
        std::vector<std::string> problems = run(scenario, test::Delivery::exactly_once, [&] {
          fault::fail_call(Call(kind), fault::calls(Call(kind)) + k);
        });
        ASSERT_TRUE(problems.empty()) << scenario.name << ", call " << k << " of "
                                      << fault::call_name(Call(kind)) << " failing:" << describe(problems);
        ++runs;
      }
      counts += std::string(" ") + fault::call_name(Call(kind)) + " " + std::to_string(census.by_kind[kind]);
    }
    std::printf("fault sweep, %s:%s\n", scenario.name, counts.c_str());
  }
  std::printf("fault sweep: %d runs, each with one failing call\n", runs);
}

// A device that goes bad: from some call on, every call of a kind fails
// until the faults stop. Hosts see their calls fail, again and again.
TEST(FaultSweep, LastingFaultsOfEveryKindFromEveryCallOnLoseNothing) {
  int runs = 0;
  for (const Scenario& scenario : kScenarios) {
    Census census = take_census(scenario);
    for (int kind = 0; kind < fault::kCallKinds; ++kind) {
      for (int k = 1; k <= census.by_kind[kind]; ++k) {
        std::vector<std::string> problems = run(scenario, test::Delivery::replay_after_restart, [&] {
          fault::fail_calls_from(Call(kind), fault::calls(Call(kind)) + k);
        });
        ASSERT_TRUE(problems.empty()) << scenario.name << ", " << fault::call_name(Call(kind))
                                      << " failing from call " << k << " on:" << describe(problems);
        ++runs;
      }
    }
  }
  std::printf("lasting-fault sweep: %d runs\n", runs);
}

// Another program holds the file of every open, replace and truncate in
// turn: a conflict that clears within the retries changes no result, one
// that outlasts them is a failure like any other.
TEST(FaultSweep, TransientConflictsAtEveryCallChangeNoResult) {
  constexpr int kRetries = static_cast<int>(std::size(kConflictDelaysMs));
  int runs = 0;
  for (const Scenario& scenario : kScenarios) {
    int expected_failures = 0;
    Census census = take_census(scenario, &expected_failures);
    for (Call kind : {Call::write_open, Call::read_open, Call::replace, Call::truncate}) {
      for (int k = 1; k <= census.by_kind[static_cast<int>(kind)]; ++k) {
        for (int tries : {1, kRetries, kRetries + 1}) {
          bool transient = tries <= kRetries;
          int failures = 0;
          std::vector<std::string> problems =
              run(scenario, transient ? test::Delivery::exactly_once : test::Delivery::replay_after_restart,
                  [&] { fault::conflict_calls(kind, fault::calls(kind) + k, tries); }, nullptr, &failures);
          ASSERT_TRUE(problems.empty()) << scenario.name << ", call " << k << " of " << fault::call_name(kind)
                                        << " in conflict " << tries << " times:" << describe(problems);
          if (transient) {
            ASSERT_EQ(failures, expected_failures) << scenario.name << ", call " << k << " of "
                                                   << fault::call_name(kind);
          }
          ++runs;
        }
      }
    }
  }
  std::printf("conflict sweep: %d runs\n", runs);
}

TEST(FaultSweep, AProcessKilledAtAnyCallLosesNothingOnceRestarted) {
  int runs = 0;
  for (const Scenario& scenario : kScenarios) {
    Census census = take_census(scenario);
    for (int n = 1; n <= census.total; ++n) {
      std::vector<std::string> problems =
          run(scenario, test::Delivery::again_after_kill,
              [&] { fault::crash_at_call(fault::total_calls() + n); });
      ASSERT_TRUE(problems.empty()) << scenario.name << ", killed at call " << n << ":" << describe(problems);
      ++runs;
    }
    std::printf("crash sweep, %s: %d calls\n", scenario.name, census.total);
  }
  std::printf("crash sweep: %d runs, each killing one process at one call\n", runs);
}

}  // namespace
}  // namespace zeb
