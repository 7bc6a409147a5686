// zebctl status, show and tail against real channels: they report what is on
// disk and in the live counter, and change nothing.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "follower.h"
#include "support/zebctl_fixture.h"

namespace zeb {
namespace {

using nlohmann::json;

class ZebctlInspectTest : public test::ZebctlTest {
 protected:
  // Records 1..6 with 3 and 5 missing; followers alpha at 6 and bravo at 2,
  // and a leftover temporary index file that is nobody's cursor.
  void make_channel_with_gaps() {
    publish_up_to(6);
    std::filesystem::remove(record_path("000003"));
    std::filesystem::remove(record_path("000005"));
    test::write_text(index_path("alpha"), "6");
    test::write_text(index_path("bravo"), "2");
    test::write_text(index_path(".zebtmp-bravo"), "3");
  }

  std::vector<std::string> system_entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(system_dir()))
      names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(ZebctlInspectTest, StatusShowsCountsGapsAndEachFollowersLag) {
  make_channel_with_gaps();
  test::CommandResult result = zebctl({"status", root, master});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  const std::string& out = result.out;
  EXPECT_NE(out.find("master index     6\n"), std::string::npos) << out;
  EXPECT_NE(out.find("published        6 (live counter zeb_" + master + ")\n"), std::string::npos) << out;
  EXPECT_NE(out.find("records on disk  4, highest 6\n"), std::string::npos) << out;
  EXPECT_NE(out.find("gaps             2 missing: 3, 5\n"), std::string::npos) << out;
  EXPECT_NE(out.find("followers        2 (lag behind the published count)\n"), std::string::npos) << out;
  EXPECT_NE(out.find("  alpha              6           0\n"), std::string::npos) << out;
  EXPECT_NE(out.find("  bravo              2           4\n"), std::string::npos) << out;
  EXPECT_EQ(out.find(".zebtmp"), std::string::npos) << out;
}

TEST_F(ZebctlInspectTest, StatusJsonIsValidAndSaysTheSame) {
  make_channel_with_gaps();
  // Names are bytes of no declared encoding; the JSON must stay valid.
  std::string odd = "q\"uote\xff";
  test::write_text(index_path(odd), "9");  // ahead of the count: the channel was started anew
  test::CommandResult result = zebctl({"status", root, master, "--json"});
  ASSERT_EQ(result.status, 0) << result.err;
  json status = json::parse(result.out);
  EXPECT_EQ(status["root"], root);
  EXPECT_EQ(status["master"], master);
  EXPECT_EQ(status["master_index"], 6);
  EXPECT_EQ(status["live"], true);
  EXPECT_EQ(status["published"], 6);
  EXPECT_EQ(status["records"], 4);
  EXPECT_EQ(status["highest"], 6);
  EXPECT_EQ(status["missing"], 2);
  EXPECT_EQ(status["gaps"], json::parse("[[3,3],[5,5]]"));
  ASSERT_EQ(status["followers"].size(), 3u);
  EXPECT_EQ(status["counter_warning"], nullptr);
  EXPECT_EQ(status["short_files"], 0);
  EXPECT_EQ(status["blocking"], json::array());
  EXPECT_EQ(status["followers"][0],
            json::parse(R"({"name":"alpha","cursor":6,"lag":0,"blocked_at":null,"ahead":false})"));
  EXPECT_EQ(status["followers"][1],
            json::parse(R"({"name":"bravo","cursor":2,"lag":4,"blocked_at":null,"ahead":false})"));
  EXPECT_EQ(status["followers"][2]["name"], "q\"uote\xc3\xbf");  // the byte 0xFF as U+00FF
  EXPECT_EQ(status["followers"][2]["lag"], -3);
  EXPECT_EQ(status["followers"][2]["ahead"], true);
  EXPECT_EQ(status["counter_denied"], false);
}

// What followers pass over (short files) and what stops them (an entry that
// is not a file) are told apart from whole records and from gaps; a
// directory in system/ is nobody's cursor.
// What node_exporter's and windows_exporter's textfile collectors read, read
// here by Prometheus' own parser; names of any bytes stay valid label values.
TEST_F(ZebctlInspectTest, StatusForPrometheusParsesAndSaysTheSame) {
  make_channel_with_gaps();
  test::write_text(index_path("q\"uote\xff"), "9");
  test::CommandResult result = zebctl({"status", root, master, "--prometheus"});
  ASSERT_EQ(result.status, 0) << result.err;
  test::write_text(dir / "status.prom", result.out);
  std::vector<std::string> samples = test::prometheus_samples(dir / "status.prom");
  std::string channel = "master=\"" + master + "\",root=\"" + root + "\"";
  for (const std::string& expected :
       {"zeb_channel_live{" + channel + "} 1", "zeb_channel_published_records{" + channel + "} 6",
        "zeb_channel_records_on_disk{" + channel + "} 4", "zeb_channel_missing_records{" + channel + "} 2",
        "zeb_follower_lag_records{follower=\"bravo\"," + channel + "} 4",
        "zeb_follower_ahead{follower=\"q\"uote\xc3\xbf\"," + channel + "} 1"})
    EXPECT_NE(std::find(samples.begin(), samples.end(), expected), samples.end()) << expected << "\n" << result.out;
  EXPECT_EQ(zebctl({"status", root, master, "--json", "--prometheus"}).status, 2);
}

TEST_F(ZebctlInspectTest, StatusTellsShortFilesAndBlockingEntriesApart) {
  publish_up_to(6);
  TradeRecord partial = test::sample_record(2);
  test::write_bytes(record_path("000002"), &partial, 40);
  std::filesystem::remove(record_path("000004"));
  test::make_directory(record_path("000004"));
  std::filesystem::remove(record_path("000005"));
  test::write_text(index_path("fine"), "1");   // next: 3, past the short file
  test::write_text(index_path("stuck"), "3");  // next: the directory
  test::make_directory(index_path("lost+found"));

  test::CommandResult text = zebctl({"status", root, master});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("records on disk  3, highest 6\n"
                          "short files      1: 2 (under 80 bytes: followers pass over them)\n"
                          "blocking entries 1: 4 (not files: Read stops there)\n"
                          "gaps             1 missing: 5\n"
                          "followers        2 (lag behind the published count), 1 blocked\n"),
            std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("  fine               1           5\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("  stuck              3           3  blocked at 4\n"), std::string::npos) << text.out;
  EXPECT_EQ(text.out.find("lost+found"), std::string::npos) << text.out;

  json status = json::parse(zebctl({"status", root, master, "--json"}).out);
  EXPECT_EQ(status["records"], 3);
  EXPECT_EQ(status["short_files"], 1);
  EXPECT_EQ(status["short"], json::parse("[[2,2]]"));
  EXPECT_EQ(status["blocking_entries"], 1);
  EXPECT_EQ(status["blocking"], json::parse("[[4,4]]"));
  EXPECT_EQ(status["gaps"], json::parse("[[5,5]]"));
  ASSERT_EQ(status["followers"].size(), 2u);
  EXPECT_EQ(status["followers"][0]["blocked_at"], nullptr);
  EXPECT_EQ(status["followers"][1]["blocked_at"], 4);
}

// Bytes a terminal would act on or garble are shown as \xNN; a root given
// with a trailing separator gets no second one.
TEST_F(ZebctlInspectTest, StatusShowsNamesEscapedAndPathsJoinedOnce) {
  publish_up_to(1);
  test::write_text(index_path("caf\xe9\t\xc3\xa9"), "1");
  test::CommandResult result = zebctl({"status", root + "/", master});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("channel          " + master_dir() + "\n"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("  caf\\xE9\\x09\xc3\xa9  "), std::string::npos) << result.out;

  std::string odd_root = dir / "r\x1b[2Joot";
  test::make_directory(odd_root);
  test::make_directory(odd_root + "/m\xff");
  test::CommandResult odd = zebctl({"status", odd_root, "m\xff"});
  ASSERT_EQ(odd.status, 0) << odd.err;
  EXPECT_NE(odd.out.find("channel          " + std::string(dir / "r\\x1B[2Joot/m\\xFF") + "\n"), std::string::npos)
      << odd.out;
  EXPECT_NE(odd.out.find("(no process holds zeb_m\\xFF)"), std::string::npos) << odd.out;
}

// The counter is named after the master alone: a master of the same name
// under another root shares it, and status says so.
TEST_F(ZebctlInspectTest, StatusWarnsWhenTheLiveCounterMayServeAnotherRoot) {
  publish_up_to(3);
  std::string other = dir / "other";
  std::string other_dir = other + "/" + master;
  test::make_directory(other);
  test::make_directory(other_dir);
  test::make_directory(other_dir + "/system");
  test::CommandResult empty = zebctl({"status", other, master});
  EXPECT_NE(empty.out.find("warning          the live count 3 is above every record under this root: zeb_" +
                           master + " is counting for a master of the same name under another root\n"),
            std::string::npos)
      << empty.out;

  for (int n = 1; n <= 7; ++n) {
    TradeRecord record = test::sample_record(n);
    char name[16];
    std::snprintf(name, sizeof name, "%06d", n);
    test::write_bytes(other_dir + "/" + name, &record, sizeof record);
  }
  test::write_text(other_dir + "/system/" + master, "7");
  json status = json::parse(zebctl({"status", other, master, "--json"}).out);
  EXPECT_EQ(status["counter_warning"], "the live count 3 is not this root's master index 7: a master of the "
                                       "same name under another root may share zeb_" +
                                           master);
  EXPECT_EQ(zebctl({"status", root, master}).out.find("warning"), std::string::npos);
}

// An observer must not become a holder: that would keep a stale counter
// alive, or create one that the next follower trusts instead of seeding it.
TEST_F(ZebctlInspectTest, StatusWithNoHolderNeitherCreatesNorHoldsTheCounter) {
  make_channel_with_gaps();
  writer.counter.close();
  test::write_text(index_path(master), "5");
  test::CommandResult result = zebctl({"status", root, master, "--json"});
  ASSERT_EQ(result.status, 0) << result.err;
  json status = json::parse(result.out);
  EXPECT_EQ(status["live"], false);
  EXPECT_TRUE(status["published"].is_null());
  EXPECT_EQ(status["master_index"], 5);
  EXPECT_EQ(status["followers"][1]["lag"], 3);  // against the master index

  EXPECT_NE(
      zebctl({"status", root, master}).out.find("published        - (no process holds zeb_" + master + ")"),
      std::string::npos);
  FollowerState follower;
  ASSERT_EQ(follower_init(follower, root.c_str(), "carol", master.c_str()), 1);
  EXPECT_FALSE(follower.counter.already_existed());
}

TEST_F(ZebctlInspectTest, ShowDecodesEveryFieldOfARecord) {
  publish_up_to(3);
  test::CommandResult result = zebctl({"show", root, master, "2"});
  ASSERT_EQ(result.status, 0) << result.err;
  std::string file_line = "file         " + record_path("000002") + "\n";
  EXPECT_EQ(result.out, "record       2\n" + file_line +
                            "cmd          2\n"
                            "ticket       100002\n"
                            "type         0\n"
                            "symbol       SYM2\n"
                            "lot          0.02\n"
                            "open_price   1.002\n"
                            "sl           2.5\n"
                            "tp           4.5\n"
                            "close_price  5.25\n"
                            "time_local   1700000002\n"
                            "time_server  1700003602\n");
}

TEST_F(ZebctlInspectTest, ShowLatestAsJsonGivesTheExactValues) {
  publish_up_to(3);
  test::CommandResult result = zebctl({"show", root, master, "latest", "--json"});
  ASSERT_EQ(result.status, 0) << result.err;
  json shown = json::parse(result.out);
  TradeRecord expected = test::sample_record(3);
  EXPECT_EQ(shown["number"], 3);
  EXPECT_EQ(shown["file"], record_path("000003"));
  EXPECT_EQ(shown["cmd"], expected.cmd);
  EXPECT_EQ(shown["ticket"], expected.ticket);
  EXPECT_EQ(shown["type"], expected.type);
  EXPECT_EQ(shown["symbol"], "SYM3");
  // Shortest round-trip text: the very same doubles come back.
  EXPECT_EQ(shown["lot"].get<double>(), expected.lot);
  EXPECT_EQ(shown["open_price"].get<double>(), expected.open_price);
  EXPECT_EQ(shown["sl"].get<double>(), expected.sl);
  EXPECT_EQ(shown["tp"].get<double>(), expected.tp);
  EXPECT_EQ(shown["close_price"].get<double>(), expected.close_price);
  EXPECT_EQ(shown["time_local"], expected.time_local);
  EXPECT_EQ(shown["time_server"], expected.time_server);
}

TEST_F(ZebctlInspectTest, ShowExplainsWhatItCannotShow) {
  publish_up_to(3);
  TradeRecord partial = test::sample_record(2);
  test::write_bytes(record_path("000002"), &partial, 40);

  test::CommandResult missing = zebctl({"show", root, master, "9"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "zebctl show: record 9 is not published yet (the live count is 3)\n");
  test::CommandResult incomplete = zebctl({"show", root, master, "2"});
  EXPECT_EQ(incomplete.status, 1);
  EXPECT_EQ(incomplete.err,
            "zebctl show: record 2 is incomplete: " + record_path("000002") +
                " holds fewer than 80 bytes (a failed Write left it; followers pass over it)\n");
  std::filesystem::remove(record_path("000001"));
  writer.counter.close();
  test::CommandResult gone = zebctl({"show", root, master, "1"});
  EXPECT_EQ(gone.status, 1);
  EXPECT_EQ(gone.err, "zebctl show: record 1 not found in " + master_dir() + "\n");
}

// A file above the live count may be one the master is writing right now:
// reading it could make the master's open fail, so observers leave it alone.
TEST_F(ZebctlInspectTest, ObserversNeverReadAboveTheLiveCount) {
  publish_up_to(2);
  TradeRecord unpublished = test::sample_record(99);
  test::write_bytes(record_path("000003"), &unpublished, sizeof unpublished);
  EXPECT_EQ(json::parse(zebctl({"show", root, master, "latest", "--json"}).out)["number"], 2);
  EXPECT_EQ(zebctl({"show", root, master, "3"}).status, 1);

  int tail = start_zebctl("tail", {"tail", root, master, "--from", "1", "--count", "3"});
  ASSERT_TRUE(test::eventually([&] { return lines(log("tail") + ".out").size() == 2; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(lines(log("tail") + ".out").size(), 2u);
  publish_up_to(3);  // replaces 000003 and raises the count
  EXPECT_EQ(test::wait_for(tail), 0);
  EXPECT_EQ(lines(log("tail") + ".out"), (std::vector<std::string>{line_of(1), line_of(2), line_of(3)}));

  writer.counter.close();  // no master running: nothing is being written
  EXPECT_EQ(json::parse(zebctl({"show", root, master, "latest", "--json"}).out)["number"], 3);
}

TEST_F(ZebctlInspectTest, TailPrintsOnlyNewRecordsAndWritesNoCursor) {
  publish_up_to(2);
  std::vector<std::string> before = system_entries();
  int tail = start_zebctl("tail", {"tail", root, master, "--count", "3"});
  // It starts after the records already there; keep publishing until it
  // has seen one.
  ASSERT_TRUE(test::eventually([&] {
    publish_up_to(writer.count + 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return !lines(log("tail") + ".out").empty();
  }));
  int first = std::stoi(lines(log("tail") + ".out")[0].substr(1));
  EXPECT_GT(first, 2);
  publish_up_to(first + 2);
  EXPECT_EQ(test::wait_for(tail), 0);
  EXPECT_EQ(lines(log("tail") + ".out"),
            (std::vector<std::string>{line_of(first), line_of(first + 1), line_of(first + 2)}));
  EXPECT_EQ(system_entries(), before);
}

TEST_F(ZebctlInspectTest, TailPassesOverGapsAndShortFilesAsFollowersDo) {
  publish_up_to(5);
  std::filesystem::remove(record_path("000002"));
  TradeRecord partial = test::sample_record(4);
  test::write_bytes(record_path("000004"), &partial, 40);
  test::CommandResult result = zebctl({"tail", root, master, "--from", "1", "--count", "3", "--json"});
  ASSERT_EQ(result.status, 0) << result.err;
  std::vector<int> numbers;
  for (size_t start = 0, end; (end = result.out.find('\n', start)) != std::string::npos; start = end + 1)
    numbers.push_back(json::parse(result.out.substr(start, end - start))["number"]);
  EXPECT_EQ(numbers, (std::vector<int>{1, 3, 5}));
  // The same fields as show --json, as the help says.
  json shown = json::parse(zebctl({"show", root, master, "5", "--json"}).out);
  EXPECT_EQ(json::parse(result.out.substr(result.out.rfind('\n', result.out.size() - 2) + 1)), shown);
}

// Output that cannot be written is a failure, never a silent success; a
// watcher whose reader has gone ends without waiting for another record.
TEST_F(ZebctlInspectTest, OutputThatCannotBeWrittenEndsTheCommand) {
  publish_up_to(3);
  for (std::vector<std::string> args : {std::vector<std::string>{"status", root, master},
                                        {"show", root, master, "1", "--json"}, {"status", "--help"}}) {
    args.insert(args.begin(), ZEBCTL);
    EXPECT_EQ(test::wait_for(test::spawn_logged(args, "/dev/full", log("full.err"))), 1) << args[1];
    EXPECT_EQ(test::read_text(log("full.err")), "zebctl " + args[1] +
                                                    ": could not write to standard output: No space left "
                                                    "on device\n");
  }

  // tail --from 1 | head -3, with exactly three records.
  int reader = -1;
  int tail = start_zebctl_piped("tail", {"tail", root, master, "--from", "1"}, &reader);
  EXPECT_EQ(read_lines(reader, 3), (std::vector<std::string>{line_of(1), line_of(2), line_of(3)}));
  ::close(reader);
  EXPECT_EQ(ends_by_itself(tail), 1);
  EXPECT_EQ(test::read_text(log("tail") + ".err"),
            "zebctl tail: standard output is closed: nothing printed now could be read\n");
}

TEST_F(ZebctlInspectTest, TailStopsCleanlyOnCtrlCWithStatus130) {
  publish_up_to(1);
  int tail = start_zebctl("tail", {"tail", root, master, "--from", "1"});
  ASSERT_TRUE(test::eventually([&] { return lines(log("tail") + ".out").size() == 1; }));
  ::kill(tail, SIGINT);
  EXPECT_EQ(test::wait_for(tail), 130);
  EXPECT_EQ(lines(log("tail") + ".out"), std::vector<std::string>{line_of(1)});
  EXPECT_EQ(test::read_text(log("tail") + ".err"), "");
}

}  // namespace
}  // namespace zeb
