// What a bridge tells its operator while it runs: a status every interval
// whatever it waits on, its current error and when the last one happened,
// and the same figures in a Prometheus text file.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <sstream>

#include "bridge/bridge_fixture.h"
#include "bridge/jetstream_view.h"
#include "support/nats_server.h"

namespace zeb::test {
namespace {

using ReportTest = BridgeTest;

// The status events of a --json output, in order.
std::vector<nlohmann::json> statuses(const std::string& output) {
  std::vector<nlohmann::json> found;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
    if (event.is_object() && event.value("event", "") == "status") found.push_back(event);
  }
  return found;
}

// An out bridge stuck on a record while its server is down keeps its status
// interval, says what it waits on and why; once the record is stored, its
// status has no error, and tells when the last one happened.
TEST_F(ReportTest, StatusKeepsItsIntervalWhileTheBridgeWaitsAndHasNoErrorOnceItRecovers) {
  NatsServer server("/dev/shm");
  ASSERT_TRUE(server.start());
  write_records(root_a, master_a, 5);
  int out = start_bridge("out", out_args(server.url(), {"--json", "--status-interval", "1"}));
  ASSERT_TRUE(eventually([&] { return stream_state(server.url(), "ZEB_" + channel).last == 5; }, 30));
  server.kill();
  write_records(root_a, master_a, 1, 6);
  auto stuck = [&] {
    std::vector<nlohmann::json> lines = statuses(read_text(log("out") + ".out"));
    return std::count_if(lines.begin(), lines.end(), [](const nlohmann::json& status) {
      return status["waiting_on"] == "the server to store record 6" && status["error"].is_string() &&
             status["lag"] == 1;
    });
  };
  // Each retry waits up to 2 s and a publish up to 3 s; lines come every second.
  EXPECT_TRUE(eventually([&] { return stuck() >= 5; }, 30)) << read_text(log("out") + ".out");

  ASSERT_TRUE(server.start());
  ASSERT_TRUE(eventually([&] { return stream_state(server.url(), "ZEB_" + channel).last == 6; }, 30));
  EXPECT_TRUE(eventually(
      [&] {
        nlohmann::json last = statuses(read_text(log("out") + ".out")).back();
        return last["carried"] == 6 && last["error"].is_null() && last["waiting_on"].is_null() &&
               last["last_error"].is_string() && last["last_error_time"].is_number();
      },
      10))
      << read_text(log("out") + ".out");
  terminate(out, "out");
}

// What node_exporter's and windows_exporter's textfile collectors read, read
// here by Prometheus' own parser: written at start, at each interval and at
// exit, when the bridge is no longer up.
TEST_F(ReportTest, MetricsFileParsesAndFollowsTheBridge) {
  NatsServer server("/dev/shm");
  ASSERT_TRUE(server.start());
  std::string metrics = log("out.prom");
  int out = start_bridge("out", out_args(server.url(), {"--status-interval", "1", "--metrics-file", metrics}));
  ASSERT_TRUE(eventually([&] { return exists(metrics); }, 10));
  write_records(root_a, master_a, 10);
  std::string labels = "channel=\"" + channel + "\",master=\"" + master_a + "\",mode=\"out\",root=\"" + root_a + "\"";
  auto has = [&](const std::vector<std::string>& samples, const std::string& name, const std::string& value) {
    return std::find(samples.begin(), samples.end(), name + "{" + labels + "} " + value) != samples.end();
  };
  EXPECT_TRUE(eventually(
      [&] {
        std::vector<std::string> samples = prometheus_samples(metrics);
        return has(samples, "zeb_bridge_records_carried_total", "10") && has(samples, "zeb_bridge_last_record", "10");
      },
      20))
      << read_text(metrics);
  terminate(out, "out");
  std::vector<std::string> samples = prometheus_samples(metrics);
  for (auto [name, value] : {std::pair{"zeb_bridge_up", "0"}, {"zeb_bridge_connected", "1"},
                             {"zeb_bridge_lag_records", "0"}, {"zeb_bridge_reconnects_total", "0"},
                             {"zeb_bridge_failing", "0"}, {"zeb_bridge_last_error_timestamp_seconds", "0"}})
    EXPECT_TRUE(has(samples, name, value)) << name << "\n" << read_text(metrics);
  EXPECT_FALSE(exists(metrics + ".new"));
}

}  // namespace
}  // namespace zeb::test
