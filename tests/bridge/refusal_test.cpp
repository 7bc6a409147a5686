// What zebbridge refuses to do, and how it ends: a refusal (going on would
// lose or duplicate records) exits 3 with "zebbridge: " and the reason on
// stderr; bad usage exits 2 and touches nothing; a channel it cannot open
// exits 1; SIGTERM and SIGINT exit 0. Secrets are never printed.
#include <nlohmann/json.hpp>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

#include "bridge/bridge_fixture.h"
#include "bridge/jetstream_view.h"
#include "master.h"
#include "support/sample_record.h"
#include "support/nats_server.h"

namespace zeb::test {
namespace {

using RefusalTest = BridgeTest;

// The message's first line.
std::string first_line(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

// Whether --json output holds an event of that name.
bool has_event(const std::string& output, const std::string& name) {
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
    if (event.is_object() && event.value("event", "") == name) return true;
  }
  return false;
}

void expect_refused(const CommandResult& result, const std::string& reason) {
  EXPECT_EQ(result.status, 3) << result.err;
  EXPECT_EQ(result.err.rfind("zebbridge: ", 0), 0u) << result.err;
  EXPECT_NE(first_line(result.err).find(reason), std::string::npos) << result.err;
}

// A second out bridge on the master's machine is refused at once, and the
// first carries on alone.
TEST_F(RefusalTest, ASecondOutBridgeIsRefusedAndTheChannelIsCarriedOnce) {
  constexpr int kRecords = 600;
  NatsServer server("/dev/shm");
  ASSERT_TRUE(server.start());
  PacedMaster source(root_a, master_a, kRecords, 6, 0);
  int first = start_bridge("out1", out_args(server.url()));
  int in = start_bridge("in", in_args(server.url()));
  ASSERT_TRUE(eventually([&] { return stream_state(server.url(), "ZEB_" + channel).last >= 50; }, 30));
  expect_refused(bridge(out_args(server.url())),
                 "another out bridge of channel " + channel + " is running on this machine");
  source.join();
  ASSERT_TRUE(eventually([&] { return position_is(kRecords); }, 60)) << read_text(master_dir_b() + "/bridge.position");
  EXPECT_EQ(stream_state(server.url(), "ZEB_" + channel).messages, static_cast<uint64_t>(kRecords));
  terminate(first, "out1");
  terminate(in, "in");
  expect_same_records(master_dir_a(), master_dir_b());
}

// One on another machine shows itself in the stream: a record other than
// the channel's stored by someone else under the number the bridge
// publishes next (the server takes it for a duplicate), or past it (the
// subject's last sequence is not the one the bridge expects).
TEST_F(RefusalTest, AnOutBridgeRefusesWhenSomeoneElseStoresItsRecords) {
  NatsServer server("/dev/shm");
  ASSERT_TRUE(server.start());
  write_records(root_a, master_a, 10);
  for (int32_t stored_elsewhere : {11, 13}) {
    std::string name = "out-" + std::to_string(stored_elsewhere);
    int out = start_bridge(name, out_args(server.url()));
    // The bridge has looked up the stream's end (else it would take the
    // record for one it stored itself), carried A's records and waits.
    ASSERT_TRUE(eventually(
        [&] {
          return read_text(log(name) + ".out").find("holds records up to") != std::string::npos &&
                 stream_state(server.url(), "ZEB_" + channel).last >= 10;
        },
        30));
    TradeRecord record = sample_record(100 + stored_elsewhere);
    ASSERT_TRUE(publish_record(server.url(), channel, stored_elsewhere, &record));
    write_records(root_a, master_a, 1, stored_elsewhere == 11 ? 11 : 12);
    expect_refused({wait_for(out, 30), "", read_text(log(name) + ".err")},
                   "another out bridge is publishing channel " + channel);
    // The next bridge makes the stream anew and sends the channel again.
    if (stored_elsewhere == 11) {
      ASSERT_TRUE(delete_stream(server.url(), "ZEB_" + channel));
    }
  }
  EXPECT_EQ(stream_state(server.url(), "ZEB_" + channel).messages, 12u);
}

// A channel started anew numbers from 1 again. Its out bridge would take
// its records for the ones the old stream holds and never send them; a copy
// of the old channel, given a new stream that grew past its position, would
// read on from there and miss the new stream's first records.
TEST_F(RefusalTest, BridgesRefuseToMixAChannelStartedAnewWithTheOldOne) {
  NatsServer server("/dev/shm");
  ASSERT_TRUE(server.start());
  int out = 0;
  ASSERT_NO_FATAL_FAILURE(carry_then_end_in(server.url(), 10, &out));
  terminate(out, "out");

  remove_all(root_a);
  ASSERT_EQ(::shm_unlink(("/zeb_" + master_a).c_str()), 0);
  write_records(root_a, master_a, 3, 101);
  expect_refused(bridge(out_args(server.url())), "holds record 10, which this channel does not hold");
  write_records(root_a, master_a, 9, 104);
  expect_refused(bridge(out_args(server.url())), "holds record 10 unlike this channel's");
  EXPECT_EQ(stream_state(server.url(), "ZEB_" + channel).messages, 10u);

  ASSERT_TRUE(delete_stream(server.url(), "ZEB_" + channel));
  out = start_bridge("out-anew", out_args(server.url()));
  ASSERT_TRUE(eventually([&] { return stream_state(server.url(), "ZEB_" + channel).last == 12; }, 30));
  expect_refused(bridge(in_args(server.url())), "holds record 10 unlike this channel's: it is not the stream");
  EXPECT_TRUE(position_is(10));
  EXPECT_EQ(whole_records(master_dir_b()).size(), 10u);
  terminate(out, "out-anew");
}

// ... and a channel started anew under a running out bridge stops it with
// the same refusal, before any new record goes past the old ones.
TEST_F(RefusalTest, AnOutBridgeStopsWhenItsChannelIsStartedAnewUnderIt) {
  NatsServer server("/dev/shm");
  ASSERT_TRUE(server.start());
  int out = 0;
  ASSERT_NO_FATAL_FAILURE(carry_then_end_in(server.url(), 10, &out));
  remove_all(root_a);
  ASSERT_EQ(::shm_unlink(("/zeb_" + master_a).c_str()), 0);
  MasterState anew;
  ASSERT_TRUE(master_init(anew, root_a.c_str(), master_a.c_str())) << anew.error.message;
  for (int n = 101; n <= 112; ++n) {
    anew.staged = sample_record(n);
    ASSERT_TRUE(master_write(anew)) << anew.error.message;
  }
  expect_refused({wait_for(out, 30), "", read_text(log("out") + ".err")}, "the channel was started anew");
  EXPECT_EQ(stream_state(server.url(), "ZEB_" + channel).messages, 10u);
}

TEST_F(RefusalTest, AnInBridgeRefusesWhenTheStreamNoLongerHoldsItsNextRecord) {
  NatsServer server("/dev/shm");
  ASSERT_TRUE(server.start());
  ASSERT_TRUE(create_stream(server.url(), channel, master_a, 5));
  write_records(root_a, master_a, 40);
  int out = start_bridge("out", out_args(server.url()));
  ASSERT_TRUE(eventually([&] { return stream_state(server.url(), "ZEB_" + channel).last == 40; }, 30))
      << read_text(log("out") + ".err");
  EXPECT_EQ(stream_state(server.url(), "ZEB_" + channel).first, 36u);

  expect_refused(bridge(in_args(server.url())), "no longer holds");
  EXPECT_TRUE(whole_records(master_dir_b()).empty());
  terminate(out, "out");
}

TEST_F(RefusalTest, AnInBridgeRefusesWhenAPurgeTookRecordsItHadNotCopied) {
  NatsServer server("/dev/shm");
  ASSERT_TRUE(server.start());
  int out = 0;
  ASSERT_NO_FATAL_FAILURE(carry_then_end_in(server.url(), 10, &out));
  write_records(root_a, master_a, 5, 11);
  ASSERT_TRUE(eventually([&] { return stream_state(server.url(), "ZEB_" + channel).last == 15; }, 30));
  ASSERT_TRUE(purge_stream(server.url(), "ZEB_" + channel));

  expect_refused(bridge(in_args(server.url())), "no longer holds");
  EXPECT_TRUE(position_is(10));
  EXPECT_EQ(whole_records(master_dir_b()).size(), 10u);
  terminate(out, "out");
}

// The in bridge saves its position once a burst is copied: a saved position
// behind the records the copy holds is no gap when the stream has dropped
// the messages in between since.
TEST_F(RefusalTest, AnInBridgeWhosePositionLagsItsRecordsTakesNoDroppedMessageForAGap) {
  NatsServer server("/dev/shm");
  ASSERT_TRUE(server.start());
  int out = 0;
  ASSERT_NO_FATAL_FAILURE(carry_then_end_in(server.url(), 10, &out));
  write_text(master_dir_b() + "/bridge.position", channel + " 4\n");
  ASSERT_TRUE(purge_stream(server.url(), "ZEB_" + channel));
  write_records(root_a, master_a, 5, 11);
  ASSERT_TRUE(eventually([&] { return stream_state(server.url(), "ZEB_" + channel).last == 15; }, 30));

  int in = start_bridge("in-again", in_args(server.url()));
  ASSERT_TRUE(eventually([&] { return position_is(15); }, 30)) << read_text(log("in-again") + ".err");
  terminate(in, "in-again");
  terminate(out, "out");
  expect_same_records(master_dir_a(), master_dir_b());
}

TEST_F(RefusalTest, BridgesRefuseAChannelIdThatIsNotTheirChannels) {
  NatsServer server("/dev/shm");
  ASSERT_TRUE(server.start());
  int out = 0;
  ASSERT_NO_FATAL_FAILURE(carry_then_end_in(server.url(), 10, &out));

  // B's copy came from `channel`; with --json the refusal is an event too.
  CommandResult other = bridge({"in", root_b, master_b, "--server", server.url(), "--channel", "other", "--json"});
  expect_refused(other, "is a copy of channel");
  EXPECT_TRUE(has_event(other.out, "refused")) << other.out;
  EXPECT_TRUE(position_is(10));
  terminate(out, "out");

  // The stream of `channel` was made for master_a, not for another master of A.
  std::string another = unique_name("oth");
  write_records(root_a, another, 1);
  expect_refused(bridge({"out", root_a, another, "--server", server.url(), "--channel", channel}),
                 "carries the channel of master");
  EXPECT_EQ(stream_state(server.url(), "ZEB_" + channel).last, 10u);

  // A local channel with records of its own is no copy to carry into.
  std::string own = unique_name("own");
  write_records(root_b, own, 1);
  expect_refused(bridge({"in", root_b, own, "--server", server.url(), "--channel", channel}),
                 "holds records that did not come from");
  expect_same_records(master_dir_a(), master_dir_b());
}

// The copy's master claim is held only while its bridge runs. A record a
// master published on B meanwhile is refused at the next start, whether
// the stream ends before it or holds other bytes under its number; the
// stream's own record there (a crash between a write and the position's
// save leaves one) is taken as copied.
TEST_F(RefusalTest, AnInBridgeRefusesACopyThatGotRecordsOfItsOwnWhileItWasStopped) {
  NatsServer server("/dev/shm");
  ASSERT_TRUE(server.start());
  int out = 0;
  ASSERT_NO_FATAL_FAILURE(carry_then_end_in(server.url(), 10, &out));
  write_records(root_b, master_b, 1, 99);
  expect_refused(bridge(in_args(server.url())), "holds records up to 11, but stream ZEB_" + channel +
                                                     " ends with record 10: the copy holds records that did not come");
  write_records(root_a, master_a, 2, 11);
  ASSERT_TRUE(eventually([&] { return stream_state(server.url(), "ZEB_" + channel).last == 12; }, 30));
  expect_refused(bridge(in_args(server.url())), "holds record 11 unlike this channel's: the copy holds records");
  EXPECT_TRUE(position_is(10));

  TradeRecord copied = sample_record(11);
  write_bytes(master_dir_b() + "/000011", &copied, sizeof copied);
  int in = start_bridge("in", in_args(server.url()));
  ASSERT_TRUE(eventually([&] { return position_is(12); }, 30)) << read_text(log("in") + ".err");
  terminate(in, "in");
  terminate(out, "out");
  expect_same_records(master_dir_a(), master_dir_b());
}

// A copy whose stream was deleted says so at once. It goes on from a new
// stream that holds the channel from its first record (filled under a new
// channel id) once its position names that id at sequence 0: the records
// it holds are passed over, each checked against the stream.
TEST_F(RefusalTest, AnInBridgeReportsADeletedStreamAtOnceAndResumesFromANewOne) {
  NatsServer server("/dev/shm");
  ASSERT_TRUE(server.start());
  int out = 0;
  ASSERT_NO_FATAL_FAILURE(carry_then_end_in(server.url(), 10, &out));
  int in = start_bridge("in", in_args(server.url()));
  write_records(root_a, master_a, 1, 11);
  ASSERT_TRUE(eventually([&] { return position_is(11); }, 30)) << read_text(log("in") + ".err");
  ASSERT_TRUE(delete_stream(server.url(), "ZEB_" + channel));
  EXPECT_TRUE(eventually([&] { return read_text(log("in") + ".out").find("is not on the server") != std::string::npos; },
                         10))
      << read_text(log("in") + ".out");
  terminate(in, "in");
  terminate(out, "out");

  std::string renewed = channel + "-2";
  write_text(master_dir_b() + "/bridge.position", renewed + " 0\n");
  out = start_bridge("out-renewed", out_args(server.url(), {"--channel", renewed}));
  in = start_bridge("in-renewed", {"in", root_b, master_b, "--server", server.url(), "--channel", renewed});
  write_records(root_a, master_a, 4, 12);
  EXPECT_TRUE(eventually([&] { return read_text(master_dir_b() + "/bridge.position") == renewed + " 15\n"; }, 30))
      << read_text(log("in-renewed") + ".err");
  terminate(in, "in-renewed");
  terminate(out, "out-renewed");
  ::shm_unlink(("/zebbridge_" + renewed).c_str());
  expect_same_records(master_dir_a(), master_dir_b());
}

TEST_F(RefusalTest, BadUsageExitsTwoAndCreatesNothing) {
  std::string url = "nats://127.0.0.1:" + std::to_string(free_port());
  std::string long_id(121, 'a');
  for (auto [mode, root, master] : {std::tuple{"out", root_a, master_a}, std::tuple{"in", root_b, master_b}}) {
    for (const std::string& id : {std::string("a.b"), std::string("a b"), std::string(""), long_id}) {
      CommandResult result = bridge({mode, root, master, "--server", url, "--channel", id});
      EXPECT_EQ(result.status, 2) << mode << " --channel '" << id << "': " << result.err;
      EXPECT_NE(first_line(result.err).find("channel id"), std::string::npos) << result.err;
    }
    CommandResult bad_domain = bridge({mode, root, master, "--server", url, "--domain", "hub.east"});
    EXPECT_EQ(bad_domain.status, 2) << bad_domain.err;
    EXPECT_NE(first_line(bad_domain.err).find("JetStream domain"), std::string::npos) << bad_domain.err;
    CommandResult bad_server = bridge({mode, root, master, "--server", "nats://127.0.0.1:99999"});
    EXPECT_EQ(bad_server.status, 2) << bad_server.err;
    CommandResult no_server = bridge({mode, root, master});
    EXPECT_EQ(no_server.status, 2) << no_server.err;
    EXPECT_EQ(no_server.err, "zebbridge: --server URL is needed (see zebbridge --help)\n");
  }
  CommandResult no_mode = bridge({"sideways", root_a, master_a, "--server", url});
  EXPECT_EQ(no_mode.status, 2) << no_mode.err;
  EXPECT_NE(first_line(no_mode.err).find("sideways"), std::string::npos) << no_mode.err;
  EXPECT_FALSE(exists(root_a));
  EXPECT_FALSE(exists(root_b));
}

TEST_F(RefusalTest, BridgesWaitForTheirServerAndStreamAndEndWithZeroOnSigterm) {
  NatsServer server("/dev/shm");
  // The in bridge first, before the server and before any stream.
  int in = start_bridge("in", in_args(server.url(), {"--json"}));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_TRUE(server.start());
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  write_records(root_a, master_a, 20);
  int out = start_bridge("out", out_args(server.url(), {"--status-interval", "1"}));
  ASSERT_TRUE(eventually([&] { return position_is(20); }, 30)) << read_text(log("in") + ".err");
  StreamState stream = stream_state(server.url(), "ZEB_" + channel);
  EXPECT_TRUE(stream.on_file);
  EXPECT_EQ(stream.duplicate_window_s, 600);
  EXPECT_EQ(stream.replicas, 1);
  EXPECT_TRUE(eventually(
      [&] { return read_text(log("out") + ".out").find("zebbridge out: carried 20 records, lag 0") != std::string::npos; },
      5))
      << read_text(log("out") + ".out");
  EXPECT_NE(read_text(log("out") + ".out").find("zebbridge out: connected to"), std::string::npos);
  EXPECT_TRUE(has_event(read_text(log("in") + ".out"), "connected")) << read_text(log("in") + ".out");
  terminate(out, "out");
  terminate(in, "in");
  expect_same_records(master_dir_a(), master_dir_b());

  // With the server gone, both keep trying until told to stop; SIGINT
  // stops them as SIGTERM does.
  server.kill();
  out = start_bridge("out-again", out_args(server.url()));
  in = start_bridge("in-again", in_args(server.url()));
  std::this_thread::sleep_for(std::chrono::seconds(2));
  terminate(out, "out-again");
  terminate(in, "in-again", SIGINT);
}

TEST_F(RefusalTest, ABridgeThatCannotOpenItsChannelExitsOneSayingWhy) {
  MasterState running;
  ASSERT_TRUE(master_init(running, root_b.c_str(), master_b.c_str())) << running.error.message;
  std::string url = "nats://127.0.0.1:" + std::to_string(free_port());
  CommandResult in = bridge(in_args(url));
  EXPECT_EQ(in.status, 1) << in.err;
  EXPECT_NE(in.err.find("another master named " + master_b), std::string::npos) << in.err;
}

// Credentials reach the server from the options or the environment, and
// are never printed, also when the server turns them down.
TEST_F(RefusalTest, CredentialsAreUsedAndNeverPrinted) {
  NatsServer server("/dev/shm");
  server.require_user("carrier", "s3cr3t-pw");
  ASSERT_TRUE(server.start());
  write_records(root_a, master_a, 10);
  int out = start_bridge("out", out_args(server.url(), {"--user", "carrier", "--password", "s3cr3t-pw"}));
  ::setenv("ZEB_NATS_USER", "carrier", 1);
  ::setenv("ZEB_NATS_PASSWORD", "s3cr3t-pw", 1);
  int in = start_bridge("in", in_args(server.url(), {"--json"}));
  ASSERT_TRUE(eventually([&] { return position_is(10); }, 30)) << read_text(log("in") + ".err");
  terminate(out, "out");
  terminate(in, "in");
  ::setenv("ZEB_NATS_PASSWORD", "wr0ng-pw", 1);
  int turned_down = start_bridge("turned-down", out_args(server.url(), {"--status-interval", "1"}));
  ::unsetenv("ZEB_NATS_USER");
  ::unsetenv("ZEB_NATS_PASSWORD");
  ASSERT_TRUE(eventually([&] { return read_text(log("turned-down") + ".out").find("carried 0") != std::string::npos; }, 20));
  terminate(turned_down, "turned-down");
  for (const char* name : {"out", "in", "turned-down"}) {
    std::string printed = read_text(log(name) + ".out") + read_text(log(name) + ".err");
    EXPECT_EQ(printed.find("s3cr3t"), std::string::npos) << name << ": " << printed;
    EXPECT_EQ(printed.find("wr0ng"), std::string::npos) << name << ": " << printed;
  }
  // The operator learns why: the server turned the credentials down.
  std::string turned_down_out = read_text(log("turned-down") + ".out");
  EXPECT_NE(turned_down_out.find("zebbridge out: carried 0 records"), std::string::npos) << turned_down_out;
  EXPECT_NE(turned_down_out.find("Authorization Violation"), std::string::npos) << turned_down_out;
}

// TLS: given the authority that signed the server's certificate, a bridge
// carries; without it, it carries nothing and says the certificate failed.
TEST_F(RefusalTest, TlsIsUsedWithTheAuthorityGiven) {
  std::string certificate = log("server.pem"), key = log("server.key");
  ASSERT_NO_FATAL_FAILURE(make_certificate(certificate, key));
  NatsServer server("/dev/shm");
  server.require_tls(certificate, key);
  ASSERT_TRUE(server.start()) << read_text(server.log_path());
  write_records(root_a, master_a, 10);
  int out = start_bridge("out", out_args(server.url(), {"--tls-ca", certificate}));
  ::setenv("ZEB_NATS_TLS_CA", certificate.c_str(), 1);
  int in = start_bridge("in", in_args(server.url()));
  ::unsetenv("ZEB_NATS_TLS_CA");
  ASSERT_TRUE(eventually([&] { return position_is(10); }, 30)) << read_text(log("in") + ".err");
  terminate(out, "out");
  terminate(in, "in");
  int unverified = start_bridge("unverified", out_args(server.url(), {"--tls", "--status-interval", "1"}));
  ASSERT_TRUE(eventually([&] { return read_text(log("unverified") + ".out").find("carried 0") != std::string::npos; }, 20));
  terminate(unverified, "unverified");
  std::string unverified_out = read_text(log("unverified") + ".out");
  EXPECT_NE(unverified_out.find("carried 0 records"), std::string::npos) << unverified_out;
  EXPECT_NE(unverified_out.find("certificate"), std::string::npos) << unverified_out;
}

}  // namespace
}  // namespace zeb::test
