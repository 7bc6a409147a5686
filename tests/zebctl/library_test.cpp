// zebctl publish and follow: a master and a follower through the real
// libraries, on real channels.
#include <gtest/gtest.h>
#include <signal.h>

#include <nlohmann/json.hpp>

#include "support/zebctl_fixture.h"

namespace zeb {
namespace {

class ZebctlLibraryTest : public test::ZebctlTest {};

TEST_F(ZebctlLibraryTest, PublishWritesOneRecordThroughTheMasterLibrary) {
  test::make_directory(root);
  test::CommandResult first = zebctl({"publish",
                                      root,
                                      master,
                                      "--cmd",
                                      "1",
                                      "--ticket",
                                      "-5001",
                                      "--type",
                                      "1",
                                      "--symbol",
                                      "EURUSD",
                                      "--lot",
                                      "0.1",
                                      "--open-price",
                                      "1.08412",
                                      "--sl",
                                      "1.08",
                                      "--tp=1.09",
                                      "--close-price",
                                      "-0.5",
                                      "--time-local",
                                      "1718000000",
                                      "--time-server",
                                      "1718007200"});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.out, "published record 1: " + record_path("000001") + "\n");
  TradeRecord expected = {1, -5001, 1, {}, 0.1, 1.08412, 1.08, 1.09, -0.5, 1718000000, 1718007200};
  record_set_symbol(expected, "EURUSD");
  std::vector<unsigned char> bytes = test::read_bytes(record_path("000001"));
  ASSERT_EQ(bytes.size(), sizeof expected);
  EXPECT_EQ(std::memcmp(bytes.data(), &expected, sizeof expected), 0);

  // A new process stages a fresh record: fields not given are zero.
  test::CommandResult second = zebctl({"publish", root, master, "--ticket", "7"});
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.out, "published record 2: " + record_path("000002") + "\n");
  TradeRecord only_ticket = {};
  only_ticket.ticket = 7;
  EXPECT_EQ(test::read_bytes(record_path("000002")),
            std::vector<unsigned char>(reinterpret_cast<unsigned char*>(&only_ticket),
                                       reinterpret_cast<unsigned char*>(&only_ticket + 1)));
  EXPECT_EQ(test::read_text(index_path(master)), "2");
}

TEST_F(ZebctlLibraryTest, PublishChecksEveryValueBeforeTouchingTheChannel) {
  test::make_directory(root);
  test::CommandResult result = zebctl({"publish", root, master, "--ticket", "7", "--lot", "0,1"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err,
            "zebctl publish: --lot must be a finite number, not '0,1' (see zebctl publish --help)\n");
  EXPECT_FALSE(test::exists(master_dir()));
}

// Two masters would take the same numbers: publish goes through the master
// library, which keeps a second master of the name out.
TEST_F(ZebctlLibraryTest, PublishIsRefusedWhileAMasterRuns) {
  publish_up_to(2);
  test::CommandResult refused = zebctl({"publish", root, master, "--ticket", "7"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("Init: another master named " + master + " is running on this machine."),
            std::string::npos)
      << refused.err;
  EXPECT_FALSE(test::exists(record_path("000003")));
  writer.counter.close();  // the master has gone
  test::CommandResult after = zebctl({"publish", root, master, "--ticket", "7"});
  EXPECT_EQ(after.status, 0) << after.err;
  EXPECT_TRUE(test::exists(record_path("000003")));
}

// A copy that zebbridge in keeps is its master only while the bridge runs;
// its numbers belong to the source, so publish keeps out unless forced.
TEST_F(ZebctlLibraryTest, PublishIntoABridgesCopyNeedsForce) {
  publish_up_to(2);
  writer.counter.close();
  test::write_text(master_dir() + "/bridge.position", "4d31 2\n");
  test::CommandResult refused = zebctl({"publish", root, master, "--ticket", "7"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err.rfind("zebctl publish: " + master_dir() + " is a copy that zebbridge in keeps", 0), 0u)
      << refused.err;
  EXPECT_FALSE(test::exists(record_path("000003")));
  test::CommandResult forced = zebctl({"publish", root, master, "--ticket", "7", "--force"});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_TRUE(test::exists(record_path("000003")));
}

TEST_F(ZebctlLibraryTest, FollowPrintsCommitsAndResumesAfterItsCursor) {
  publish_up_to(3);
  test::CommandResult first = zebctl({"follow", root, "copier", master, "--count", "2"});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.out, line_of(1) + "\n" + line_of(2) + "\n");
  EXPECT_EQ(test::read_text(index_path("copier")), "2");

  test::CommandResult next = zebctl({"follow", root, "copier", master, "--count", "1", "--json"});
  ASSERT_EQ(next.status, 0) << next.err;
  EXPECT_EQ(next.out, tools::record_json(3, test::sample_record(3), record_path("000003")) + "\n");
  EXPECT_EQ(test::read_text(index_path("copier")), "3");
}

TEST_F(ZebctlLibraryTest, FollowKeepsUpWithALiveMasterAndStopsOnCtrlCWithStatus130) {
  publish_up_to(1);
  int follow = start_zebctl("follow", {"follow", root, "copier", master});
  ASSERT_TRUE(test::eventually([&] { return lines(log("follow") + ".out").size() == 1; }));
  publish_up_to(4);
  ASSERT_TRUE(test::eventually([&] { return test::read_text(index_path("copier")) == "4"; }));
  ::kill(follow, SIGINT);
  EXPECT_EQ(test::wait_for(follow), 130);
  EXPECT_EQ(lines(log("follow") + ".out"),
            (std::vector<std::string>{line_of(1), line_of(2), line_of(3), line_of(4)}));
  EXPECT_EQ(test::read_text(log("follow") + ".err"), "");
}

// A record is committed only once its line is out: a full disk or a pipe
// that nobody reads any more ends follow with nothing further committed.
TEST_F(ZebctlLibraryTest, FollowCommitsOnlyWhatItPrinted) {
  publish_up_to(3);
  int full = test::spawn_logged({ZEBCTL, "follow", root, "copier", master}, "/dev/full", log("full.err"));
  EXPECT_EQ(ends_by_itself(full), 1);
  EXPECT_EQ(test::read_text(log("full.err")),
            "zebctl follow: could not write to standard output: No space left on device\n");
  EXPECT_FALSE(test::exists(index_path("copier")));

  int reader = -1;
  int piped = start_zebctl_piped("piped", {"follow", root, "copier", master}, &reader);
  EXPECT_EQ(read_lines(reader, 3), (std::vector<std::string>{line_of(1), line_of(2), line_of(3)}));
  ::close(reader);
  publish_up_to(5);
  EXPECT_EQ(ends_by_itself(piped), 1);
  EXPECT_EQ(test::read_text(index_path("copier")), "3");
  EXPECT_EQ(test::read_text(log("piped") + ".err").rfind("zebctl follow: ", 0), 0u);
}

// A numbered directory stops a follower, as Read's contract says; the tool
// says why once instead of on every poll, and the cursor stays put.
TEST_F(ZebctlLibraryTest, FollowReportsAFailingReadOnce) {
  publish_up_to(2);
  std::filesystem::remove(record_path("000002"));
  test::make_directory(record_path("000002"));
  int follow = start_zebctl("follow", {"follow", root, "copier", master});
  ASSERT_TRUE(test::eventually([&] { return !test::read_text(log("follow") + ".err").empty(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ::kill(follow, SIGINT);
  EXPECT_EQ(test::wait_for(follow), 130);
  EXPECT_EQ(lines(log("follow") + ".out"), std::vector<std::string>{line_of(1)});
  EXPECT_EQ(test::read_text(log("follow") + ".err"),
            "zebctl follow: Read: could not open " + record_path("000002") + " file.\n");
  EXPECT_EQ(test::read_text(index_path("copier")), "1");
}

// The channel end to end through zebctl alone: what publish writes, follow
// delivers and status accounts for.
TEST_F(ZebctlLibraryTest, PublishFollowAndStatusAgree) {
  test::make_directory(root);
  for (const char* ticket : {"11", "12"})
    ASSERT_EQ(zebctl({"publish", root, master, "--ticket", ticket}).status, 0);
  test::CommandResult followed = zebctl({"follow", root, "copier", master, "--count", "2", "--json"});
  ASSERT_EQ(followed.status, 0) << followed.err;
  EXPECT_EQ(nlohmann::json::parse(followed.out.substr(followed.out.find('\n') + 1))["ticket"], 12);
  nlohmann::json status = nlohmann::json::parse(zebctl({"status", root, master, "--json"}).out);
  EXPECT_EQ(status["master_index"], 2);
  EXPECT_EQ(status["followers"],
            nlohmann::json::parse(R"([{"name":"copier","cursor":2,"lag":0,"blocked_at":null,"ahead":false}])"));
}

}  // namespace
}  // namespace zeb
