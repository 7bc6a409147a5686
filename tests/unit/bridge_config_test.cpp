#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "bridge_config.h"
#include "bridge_report.h"
#include "channel_id.h"
#include "command_line.h"
#include "position_file.h"
#include "support/channel_fixture.h"
#include "support/test_support.h"

namespace zebbridge {
namespace {

using Environment = std::map<std::string, std::string>;

const std::string kUrl = "nats://127.0.0.1:4222";

BridgeConfig parse(std::vector<std::string> args, const Environment& environment = {}) {
  return parse_config(args, [&](const char* name) -> const char* {
    auto found = environment.find(name);
    return found == environment.end() ? nullptr : found->second.c_str();
  });
}

// The usage error a command line gets, or "" when it is accepted.
std::string refusal(std::vector<std::string> args, const Environment& environment = {}) {
  try {
    parse(args, environment);
    return "";
  } catch (const tools::Failure& failure) {
    EXPECT_EQ(failure.status, tools::kBadUsage);
    return failure.message;
  }
}

TEST(BridgeConfig, TheChannelIdIsTheMasterNameInHexUnlessGiven) {
  BridgeConfig config = parse({"out", "/r", "M1", "--server", "nats://127.0.0.1:4222"});
  EXPECT_EQ(config.channel, "4d31");
  EXPECT_EQ(config.stream(), "ZEB_4d31");
  EXPECT_EQ(config.subject(), "zeb.ch.4d31");
  EXPECT_EQ(config.follower(), "bridge-4d31");
  // Master names NATS could not carry still give an id; no two names share one.
  EXPECT_EQ(channel_id_of_master("a.b c\xe9"), "612e622063e9");
  EXPECT_NE(channel_id_of_master("41"), channel_id_of_master("A"));
  EXPECT_EQ(parse({"in", "/r", "M1", "--server", kUrl, "--channel", "Desk_7-b"}).channel, "Desk_7-b");
}

TEST(BridgeConfig, BadCommandLinesAreRefusedWithTheReason) {
  const std::vector<std::string> base = {"out", "/r", "M1", "--server", kUrl};
  auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> args = base;
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  EXPECT_NE(refusal({"sideways", "/r", "M1", "--server", kUrl}).find("unknown mode"), std::string::npos);
  EXPECT_NE(refusal({"out", "/r", "M1"}).find("--server URL is needed"), std::string::npos);
  EXPECT_NE(refusal(with({"--channel", "a.b"})).find("only letters, digits"), std::string::npos);
  EXPECT_NE(refusal(with({"--channel", ""})).find("empty"), std::string::npos);
  EXPECT_NE(refusal({"out", "/r", std::string(61, 'm'), "--server", kUrl}).find("give one with --channel"),
            std::string::npos);
  EXPECT_EQ(refusal({"out", "/r", std::string(60, 'm'), "--server", kUrl}), "");
  EXPECT_NE(refusal({"in", "/r", "M1", "--server", kUrl, "--replicas", "3"}).find("out bridge"), std::string::npos);
  EXPECT_NE(refusal(with({"--user", "u"})).find("password"), std::string::npos);
  EXPECT_NE(refusal(with({"--token", "t"}), {{"ZEB_NATS_CREDS", "/c"}}).find("one of"), std::string::npos);
  EXPECT_NE(refusal(with({"--tls-cert", "c"})).find("--tls-key"), std::string::npos);
  EXPECT_NE(refusal(with({"--metrics-file", ""})).find("--metrics-file needs a file name"), std::string::npos);
}

// A URL the client would take for something else, or never reach, is bad
// usage rather than a server that is down forever; the refusal shows no
// password.
TEST(BridgeConfig, ServerUrlsMustNameAServer) {
  for (std::string url : {"nats://127.0.0.1:4222", "TLS://carrier:pw@hub.example.com", "nats://[::1]:4222, nats://b_2:1"})
    EXPECT_EQ(refusal({"out", "/r", "M1", "--server", url}), "") << url;
  const std::map<std::string, std::string> wrong = {
      {"nats://127.0.0.1:99999", "nats://127.0.0.1:99999 names no port from 1 to 65535"},
      {"http://127.0.0.1:4222", "http://127.0.0.1:4222 is no NATS URL"},
      {"nats://u:s3cr3t@:4222", "nats://***@:4222 names no host"},
      {"nats://", "nats:// names no host"},
      {"my server", "\"my server\" is no URL"},
      {" , ", "--server names no URL"}};
  for (const auto& [url, reason] : wrong) {
    std::string refused = refusal({"in", "/r", "M1", "--server", url});
    EXPECT_NE(refused.find(reason), std::string::npos) << url << ": " << refused;
  }
}

TEST(BridgeConfig, CredentialsComeFromOptionsBeforeTheEnvironment) {
  Environment environment = {{"ZEB_NATS_USER", "env-user"}, {"ZEB_NATS_PASSWORD", "env-pass"},
                             {"ZEB_NATS_TLS_CA", "/ca.pem"}};
  BridgeConfig config = parse({"out", "/r", "M1", "--server", kUrl, "--password", "opt-pass"}, environment);
  EXPECT_EQ(config.credentials.user, "env-user");
  EXPECT_EQ(config.credentials.password, "opt-pass");
  EXPECT_EQ(config.credentials.tls_ca, "/ca.pem");
  EXPECT_TRUE(config.credentials.tls);
  EXPECT_FALSE(parse({"out", "/r", "M1", "--server", kUrl}).credentials.tls);
}

TEST(BridgeConfig, NoPrintedTextShowsAPasswordOrToken) {
  Credentials credentials;
  credentials.password = "*";
  credentials.token = "s3cret";
  EXPECT_EQ(without_secrets("nats://bob:pw@h:4222, tls://x@h2/ token s3cret and a * here", credentials),
            "nats://***@h:4222, tls://***@h2/ token *** and a *** here");
  EXPECT_EQ(without_secrets("nats://127.0.0.1:4222 (bob@home)", {}), "nats://127.0.0.1:4222 (bob@home)");
}

// One event, one line, whatever a root or a server's text holds.
TEST(BridgeConfig, ATextEventIsOneLine) {
  BridgeConfig config = parse({"out", "/r\noot", "M1", "--server", kUrl});
  Report report(config);
  testing::internal::CaptureStdout();
  report.event("started", "under " + config.root + " \x1b[2J");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "zebbridge out: under /r\\x0Aoot \\x1B[2J\n");
}

class PositionFileTest : public zeb::test::ChannelTest {};

TEST_F(PositionFileTest, APositionSurvivesARoundTripAndABadFileIsNotTakenForOne) {
  zeb::ErrorState error;
  zeb::ChannelPaths paths;
  ASSERT_TRUE(paths.set(error, root.c_str(), master.c_str(), master.c_str()));
  ASSERT_TRUE(zeb::ensure_channel_directories(error, "Init", paths));
  Position position;
  EXPECT_EQ(read_position(paths, position), PositionRead::missing);
  ASSERT_TRUE(write_position(paths, {"ch-1", 18446744073709551615u}));
  ASSERT_EQ(read_position(paths, position), PositionRead::found);
  EXPECT_EQ(position.channel, "ch-1");
  EXPECT_EQ(position.sequence, 18446744073709551615u);
  for (const char* bad : {"", "ch-1\n", "ch-1 12", " 12\n", "ch-1 x\n"}) {
    zeb::test::write_text(paths.entry("bridge.position").c_str(), bad);
    EXPECT_EQ(read_position(paths, position), PositionRead::unreadable) << bad;
  }
  // The temporary file is made anew: a link put in its place is never written through.
  zeb::test::write_text(dir / "precious", "kept");
  ASSERT_EQ(::symlink((dir / "precious").c_str(), paths.entry("bridge.position.new").c_str()), 0);
  ASSERT_TRUE(write_position(paths, {"ch-1", 7}));
  EXPECT_EQ(zeb::test::read_text(dir / "precious"), "kept");
  ASSERT_EQ(read_position(paths, position), PositionRead::found);
  EXPECT_EQ(position.sequence, 7u);
}

}  // namespace
}  // namespace zebbridge
