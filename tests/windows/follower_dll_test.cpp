// zebfollower.dll through its exports, beside zebmaster.dll in one process,
// on Windows paths. Each case loads both libraries afresh.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "dll_channel_fixture.h"

namespace zeb::wintest {
namespace {

class FollowerDllTest : public DllChannelTest {
 protected:
  Master writer;
  Follower lib;
  const FollowerApi& api = lib.api;
  std::string follower = "F1";

  void start_master() { ASSERT_EQ(writer.api.Init(root.c_str(), master.c_str()), 1); }
  void publish(int from, int to) {
    for (int n = from; n <= to; ++n) write_sample(writer.api, n);
  }
  int init() { return api.Init(root.c_str(), follower.c_str(), master.c_str()); }
  void place_record(const std::string& name, int n, size_t size = sizeof(TradeRecord)) {
    TradeRecord record = test::sample_record(n);
    test::write_bytes(record_path(name), &record, size);
  }
  std::string message() const { return api.ErrorMsg(); }
  int ticket() const { return api.GetTicket() - test::sample_record(0).ticket; }
};

TEST_F(FollowerDllTest, GettersBeforeAnyReadGiveZerosAndAnEmptySymbol) {
  EXPECT_EQ(api.GetCmd(), 0);
  EXPECT_EQ(api.GetTicket(), 0);
  EXPECT_EQ(api.GetType(), 0);
  EXPECT_EQ(api.GetLot(), 0.0);
  EXPECT_EQ(api.GetOpenPrice(), 0.0);
  EXPECT_EQ(api.GetSL(), 0.0);
  EXPECT_EQ(api.GetTP(), 0.0);
  EXPECT_EQ(api.GetClosePrice(), 0.0);
  EXPECT_EQ(api.GetTimeLocal(), 0);
  EXPECT_EQ(api.GetTimeServer(), 0);
  EXPECT_STREQ(api.GetSymbol(), "");
  EXPECT_EQ(api.ErrorCode(), 0);
}

TEST_F(FollowerDllTest, ReceivesEveryRecordInOrderAndCommitPersistsTheCursor) {
  start_master();
  ASSERT_EQ(init(), 1);
  EXPECT_EQ(api.Read(), 0);
  EXPECT_EQ(api.ErrorCode(), 0);
  publish(1, 3);
  for (int n = 1; n <= 3; ++n) {
    ASSERT_EQ(api.Read(), 1) << message();
    TradeRecord expected = test::sample_record(n);
    TradeRecord got = received(api);
    EXPECT_TRUE(test::same_bytes(got, expected)) << n;
    ASSERT_EQ(api.Commit(), 1);
    EXPECT_EQ(test::read_text(index_path(follower)), std::to_string(n));
  }
  EXPECT_EQ(api.Read(), 0);
  EXPECT_EQ(api.ErrorCode(), 0);
}

TEST_F(FollowerDllTest, ARecordReadButNotCommittedIsReadAgainAlsoAfterARestart) {
  start_master();
  publish(1, 7);
  test::write_text(index_path(follower), "5");
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(api.Read(), 1);
  EXPECT_EQ(ticket(), 6);
  ASSERT_EQ(api.Read(), 1);
  EXPECT_EQ(ticket(), 6);
  Follower restarted;
  ASSERT_EQ(restarted.api.Init(root.c_str(), follower.c_str(), master.c_str()), 1);
  ASSERT_EQ(restarted.api.Read(), 1);
  EXPECT_EQ(restarted.api.GetTicket(), test::sample_record(6).ticket);
}

TEST_F(FollowerDllTest, ReadTakesTheSmallestNumberAboveTheCursorAsListed) {
  start_master();
  ASSERT_EQ(init(), 1);
  place_record("000006", 6);
  place_record("7.txt", 7);
  place_record("000012", 12);
  place_record("readme", 1);
  set_counter(12);
  for (int expected : {6, 7, 12}) {
    ASSERT_EQ(api.Read(), 1) << message();
    EXPECT_EQ(ticket(), expected);
    ASSERT_EQ(api.Commit(), 1);
  }
  EXPECT_EQ(api.Read(), 0);
  EXPECT_EQ(api.ErrorCode(), 0);
}

TEST_F(FollowerDllTest, ShortFilesArePassedOverAndLongOnesGiveTheirFirstRecord) {
  start_master();
  ASSERT_EQ(init(), 1);
  place_record("000001", 1, 40);
  test::write_bytes(record_path("000002"), "", 0);
  TradeRecord third = test::sample_record(3);
  std::memset(third.symbol, 'S', sizeof third.symbol);
  std::string bytes(reinterpret_cast<const char*>(&third), sizeof third);
  test::write_bytes(record_path("000003"), (bytes + "trailing").data(), bytes.size() + 8);
  set_counter(3);
  ASSERT_EQ(api.Read(), 1) << message();
  EXPECT_EQ(ticket(), 3);
  // A Symbol area without a NUL stops at 19 characters.
  EXPECT_EQ(std::string(api.GetSymbol()), std::string(19, 'S'));
}

TEST_F(FollowerDllTest, ACursorAboveTheCounterSeesNothingUntilTheCounterPassesIt) {
  start_master();
  test::write_text(index_path(follower), "10");
  ASSERT_EQ(init(), 1);
  publish(1, 10);
  EXPECT_EQ(api.Read(), 0);
  EXPECT_EQ(api.ErrorCode(), 0);
  publish(11, 11);
  ASSERT_EQ(api.Read(), 1);
  EXPECT_EQ(ticket(), 11);
}

TEST_F(FollowerDllTest, FailuresNameTheirWindowsPaths) {
  start_master();
  publish(1, 2);
  ASSERT_EQ(init(), 1);
  // The oldest record cannot be opened: a numbered directory.
  std::remove(record_path("000001").c_str());
  test::make_directory(record_path("000001"));
  EXPECT_EQ(api.Read(), 0);
  EXPECT_EQ(message(), "Read: could not open " + record_path("000001") + " file.");
  // Every record above the cursor is gone.
  remove_all(record_path("000001"));
  std::remove(record_path("000002").c_str());
  EXPECT_EQ(api.Read(), 0);
  EXPECT_EQ(message(), "Read: unknown exception");
  // The directories are checked in order and never created.
  remove_all(system_dir());
  EXPECT_EQ(api.Read(), 0);
  EXPECT_EQ(message(), "Read: system directory not found: " + system_dir());
  remove_all(master_dir());
  EXPECT_EQ(api.Read(), 0);
  EXPECT_EQ(message(), "Read: master directory not found: " + master_dir());
  remove_all(root);
  EXPECT_EQ(api.Read(), 0);
  EXPECT_EQ(message(), "Read: root directory not found: " + root);
  EXPECT_FALSE(exists(root));
}

TEST_F(FollowerDllTest, AGetterAfterAFailedReadErasesTheReportButKeepsTheRecord) {
  start_master();
  publish(1, 1);
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(api.Read(), 1);
  const char* symbol = api.GetSymbol();
  remove_all(system_dir());
  EXPECT_EQ(api.Read(), 0);
  EXPECT_EQ(api.ErrorCode(), -1);
  EXPECT_EQ(ticket(), 1);
  EXPECT_EQ(api.ErrorCode(), 0);
  EXPECT_STREQ(api.ErrorMsg(), "");
  EXPECT_EQ(api.GetSymbol(), symbol);
  EXPECT_STREQ(symbol, test::sample_record(1).symbol);
}

TEST_F(FollowerDllTest, ReadBeforeInitFails) {
  EXPECT_EQ(api.Read(), 0);
  EXPECT_EQ(api.ErrorCode(), -1);
  EXPECT_EQ(message(), "Read: could not get MapFile pointer.");
}

TEST_F(FollowerDllTest, CommitWithoutARecordRewritesTheLoadedCursor) {
  start_master();
  publish(1, 14);
  test::write_text(index_path(follower), "12");
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(api.Commit(), 1);
  EXPECT_EQ(test::read_text(index_path(follower)), "12");
  ASSERT_EQ(api.Read(), 1);
  EXPECT_EQ(ticket(), 13);
  ASSERT_EQ(api.Commit(), 1);
  ASSERT_EQ(api.Commit(), 1);
  EXPECT_EQ(test::read_text(index_path(follower)), "13");
}

TEST_F(FollowerDllTest, AFailedCommitStillMovesTheCursorInMemory) {
  start_master();
  publish(1, 3);
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(api.Read(), 1);
  test::make_directory(index_path(follower));
  EXPECT_EQ(api.Commit(), 0);
  EXPECT_EQ(message(), "WriteInd: could not open " + index_path(follower) + " file.");
  ASSERT_EQ(api.Read(), 1);
  EXPECT_EQ(ticket(), 2);
}

TEST_F(FollowerDllTest, InitCreatesTheTreeAndRefusesBadNames) {
  ASSERT_EQ(init(), 1);
  EXPECT_TRUE(exists(system_dir()));
  EXPECT_EQ(api.Init(root.c_str(), "a\\b", master.c_str()), 0);
  EXPECT_STREQ(api.ErrorMsg(), "Init: follower name must not contain '/' or '\\': a\\b");
  EXPECT_EQ(api.Init(root.c_str(), follower.c_str(), nullptr), 0);
  EXPECT_STREQ(api.ErrorMsg(), "Init: master name is a null pointer.");
  // Refused arguments leave no channel bound.
  EXPECT_EQ(api.Read(), 0);
  EXPECT_STREQ(api.ErrorMsg(), "Read: could not get MapFile pointer.");
  EXPECT_EQ(api.Commit(), 0);
  EXPECT_STREQ(api.ErrorMsg(), "Commit: Init has not been called.");
}

// Both DLLs export Init, ErrorCode and ErrorMsg; each keeps to its own state.
TEST_F(FollowerDllTest, BothLibrariesInOneProcessKeepTheirOwnState) {
  EXPECT_EQ(api.Read(), 0);
  EXPECT_EQ(api.ErrorCode(), -1);
  EXPECT_EQ(writer.api.ErrorCode(), 0);
  EXPECT_STREQ(writer.api.ErrorMsg(), "");
  EXPECT_NE(::GetProcAddress(writer.dll.module(), "Init"), ::GetProcAddress(lib.dll.module(), "Init"));
}

}  // namespace
}  // namespace zeb::wintest
