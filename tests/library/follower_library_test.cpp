// The follower library through its exports, as a host calls them, beside
// the master library, on every system.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "support/library_fixture.h"

namespace zeb::test {
namespace {

using FollowerLibraryTest = LibraryTest;

TEST_F(FollowerLibraryTest, BeforeInitGettersGiveZerosAndReadAndCommitFail) {
  EXPECT_EQ(zebfollower.GetCmd(), 0);
  EXPECT_EQ(zebfollower.GetTicket(), 0);
  EXPECT_EQ(zebfollower.GetType(), 0);
  EXPECT_EQ(zebfollower.GetLot(), 0.0);
  EXPECT_EQ(zebfollower.GetOpenPrice(), 0.0);
  EXPECT_EQ(zebfollower.GetSL(), 0.0);
  EXPECT_EQ(zebfollower.GetTP(), 0.0);
  EXPECT_EQ(zebfollower.GetClosePrice(), 0.0);
  EXPECT_EQ(zebfollower.GetTimeLocal(), 0);
  EXPECT_EQ(zebfollower.GetTimeServer(), 0);
  EXPECT_STREQ(zebfollower.GetSymbol(), "");
  EXPECT_EQ(zebfollower.ErrorCode(), 0);
  EXPECT_STREQ(zebfollower.ErrorMsg(), "");
  EXPECT_EQ(zebfollower.Read(), 0);
  EXPECT_EQ(zebfollower.ErrorCode(), -1);
  EXPECT_EQ(follower_message(), "Read: could not get MapFile pointer.");
  EXPECT_EQ(zebfollower.Commit(), 0);
  EXPECT_EQ(follower_message(), "Commit: Init has not been called.");
}

TEST_F(FollowerLibraryTest, ReceivesEveryRecordInOrderAndCommitPersistsTheCursor) {
  // Before any master: Init makes the tree, and finding nothing is no error.
  ASSERT_EQ(init_follower(), 1);
  EXPECT_TRUE(exists(system_dir()));
  EXPECT_EQ(zebfollower.Read(), 0);
  EXPECT_EQ(zebfollower.ErrorCode(), 0);
  start_master();
  publish(1, 3);
  for (int n = 1; n <= 3; ++n) {
    ASSERT_EQ(zebfollower.Read(), 1) << follower_message();
    EXPECT_TRUE(same_bytes(tools::received_record(zebfollower), sample_record(n))) << n;
    ASSERT_EQ(zebfollower.Commit(), 1);
    EXPECT_EQ(read_text(index_path(follower)), std::to_string(n));
  }
  // Nothing new leaves the received record and its number alone.
  EXPECT_EQ(zebfollower.Read(), 0);
  EXPECT_EQ(zebfollower.ErrorCode(), 0);
  EXPECT_EQ(received_number(), 3);
  ASSERT_EQ(zebfollower.Commit(), 1);
  EXPECT_EQ(read_text(index_path(follower)), "3");
}

TEST_F(FollowerLibraryTest, ARecordReadButNotCommittedIsReadAgainAlsoAfterARestart) {
  start_master();
  publish(1, 7);
  write_text(index_path(follower), "5");
  ASSERT_EQ(init_follower(), 1);
  for (int read = 1; read <= 2; ++read) {
    ASSERT_EQ(zebfollower.Read(), 1);
    EXPECT_EQ(received_number(), 6) << "read " << read;
  }
  // The cursor on disk is the last committed number.
  restart_follower();
  ASSERT_EQ(init_follower(), 1);
  ASSERT_EQ(zebfollower.Read(), 1);
  EXPECT_EQ(received_number(), 6);
}

// Any entry whose name reads as a number is a candidate, in whatever order
// the directory lists it; missing numbers are passed over.
TEST_F(FollowerLibraryTest, ReadTakesTheSmallestNumberAboveTheCursorAsListed) {
  start_master();
  ASSERT_EQ(init_follower(), 1);
  place_record("000006", 6);
  place_record("7.txt", 7);
  place_record("000012", 12);
  place_record("readme", 1);
  set_counter(12);
  for (int expected : {6, 7, 12}) {
    ASSERT_EQ(zebfollower.Read(), 1) << follower_message();
    EXPECT_EQ(received_number(), expected);
    ASSERT_EQ(zebfollower.Commit(), 1);
  }
  EXPECT_EQ(read_text(index_path(follower)), "12");
  EXPECT_EQ(zebfollower.Read(), 0);
  EXPECT_EQ(zebfollower.ErrorCode(), 0);
}

// A record above the count belongs to a Write that has not returned and may
// still withdraw it.
TEST_F(FollowerLibraryTest, NoRecordAboveThePublishedCountIsDelivered) {
  start_master();
  ASSERT_EQ(init_follower(), 1);
  place_record("000003", 3);
  place_record("000012", 12);
  set_counter(3);
  ASSERT_EQ(zebfollower.Read(), 1);
  ASSERT_EQ(zebfollower.Commit(), 1);
  set_counter(5);
  EXPECT_EQ(zebfollower.Read(), 0);
  EXPECT_EQ(follower_message(), "Read: unknown exception");
  ASSERT_EQ(zebfollower.Commit(), 1);
  EXPECT_EQ(read_text(index_path(follower)), "3");
  set_counter(12);
  ASSERT_EQ(zebfollower.Read(), 1);
  EXPECT_EQ(received_number(), 12);
}

// A channel started anew under a follower: its new records up to the cursor
// would be skipped, so Read says so for as long as the count is below it.
TEST_F(FollowerLibraryTest, ACursorAboveTheCounterIsReportedUntilTheCounterPassesIt) {
  start_master();
  write_text(index_path(follower), "10");
  ASSERT_EQ(init_follower(), 1);
  publish(1, 5);
  EXPECT_EQ(zebfollower.Read(), 0);
  EXPECT_EQ(zebfollower.ErrorCode(), -1);
  EXPECT_EQ(follower_message(), "Read: cursor 10 is above the published count 5.");
  publish(6, 10);
  EXPECT_EQ(zebfollower.Read(), 0);
  EXPECT_EQ(zebfollower.ErrorCode(), 0);
  publish(11, 11);
  ASSERT_EQ(zebfollower.Read(), 1);
  EXPECT_EQ(received_number(), 11);
}

// A file shorter than a record is what a failed Write leaves behind: it is
// passed over like a missing number and never changes the received record.
// A longer one gives its first 80 bytes.
TEST_F(FollowerLibraryTest, ShortFilesArePassedOverAndLongOnesGiveTheirFirstRecord) {
  start_master();
  publish(1, 1);
  ASSERT_EQ(init_follower(), 1);
  ASSERT_EQ(zebfollower.Read(), 1);
  ASSERT_EQ(zebfollower.Commit(), 1);
  place_record("000002", 2, 40);
  write_bytes(record_path("000003"), "", 0);
  set_counter(3);
  EXPECT_EQ(zebfollower.Read(), 0);
  EXPECT_EQ(follower_message(), "Read: unknown exception");
  EXPECT_TRUE(same_bytes(tools::received_record(zebfollower), sample_record(1)));
  ASSERT_EQ(zebfollower.Commit(), 1);
  EXPECT_EQ(read_text(index_path(follower)), "1");

  TradeRecord fourth = sample_record(4);
  std::memset(fourth.symbol, 'S', sizeof fourth.symbol);
  std::string bytes(reinterpret_cast<const char*>(&fourth), sizeof fourth);
  bytes += "trailing";
  write_bytes(record_path("000004"), bytes.data(), bytes.size());
  set_counter(4);
  ASSERT_EQ(zebfollower.Read(), 1) << follower_message();
  // A Symbol area without a NUL stops at 19 characters.
  fourth.symbol[19] = '\0';
  EXPECT_TRUE(same_bytes(tools::received_record(zebfollower), fourth));
}

TEST_F(FollowerLibraryTest, AWriterHoldingARecordFileMakesReadFail) {
  start_master();
  publish(1, 1);
  ASSERT_EQ(init_follower(), 1);
  {
    HeldFile held(record_path("000001"), HeldFile::writing);
    EXPECT_EQ(zebfollower.Read(), 0);
    EXPECT_EQ(follower_message(), "Read: could not open " + record_path("000001") + " file.");
  }
  ASSERT_EQ(zebfollower.Read(), 1);
  EXPECT_EQ(received_number(), 1);
}

TEST_F(FollowerLibraryTest, FailuresNameTheirPaths) {
  start_master();
  publish(1, 2);
  ASSERT_EQ(init_follower(), 1);
  // The oldest record cannot be opened, a numbered directory: nothing counts
  // as read.
  std::remove(record_path("000001").c_str());
  make_directory(record_path("000001"));
  EXPECT_EQ(zebfollower.Read(), 0);
  EXPECT_EQ(zebfollower.ErrorCode(), -1);
  EXPECT_EQ(follower_message(), "Read: could not open " + record_path("000001") + " file.");
  ASSERT_EQ(zebfollower.Commit(), 1);
  EXPECT_EQ(read_text(index_path(follower)), "0");
  // Every record above the cursor is gone.
  remove_all(record_path("000001"));
  std::remove(record_path("000002").c_str());
  EXPECT_EQ(zebfollower.Read(), 0);
  EXPECT_EQ(follower_message(), "Read: unknown exception");
  // The directories are checked in order and never created.
  remove_all(system_dir());
  EXPECT_EQ(zebfollower.Read(), 0);
  EXPECT_EQ(follower_message(), "Read: system directory not found: " + system_dir());
  remove_all(master_dir());
  EXPECT_EQ(zebfollower.Read(), 0);
  EXPECT_EQ(follower_message(), "Read: master directory not found: " + master_dir());
  remove_all(root);
  EXPECT_EQ(zebfollower.Read(), 0);
  EXPECT_EQ(follower_message(), "Read: root directory not found: " + root);
  EXPECT_FALSE(exists(root));
}

TEST_F(FollowerLibraryTest, AGetterAfterAFailedReadErasesTheReportButKeepsTheRecord) {
  start_master();
  publish(1, 1);
  ASSERT_EQ(init_follower(), 1);
  ASSERT_EQ(zebfollower.Read(), 1);
  const char* symbol = zebfollower.GetSymbol();
  remove_all(system_dir());
  EXPECT_EQ(zebfollower.Read(), 0);
  EXPECT_EQ(zebfollower.ErrorCode(), -1);
  EXPECT_EQ(received_number(), 1);
  EXPECT_EQ(zebfollower.ErrorCode(), 0);
  EXPECT_STREQ(zebfollower.ErrorMsg(), "");
  EXPECT_EQ(zebfollower.GetLot(), sample_record(1).lot);
  // The symbol pointer is the record's own, for the library's life.
  EXPECT_EQ(zebfollower.GetSymbol(), symbol);
  EXPECT_STREQ(symbol, sample_record(1).symbol);
}

// Committing before any record was loaded must never rewind the cursor to 0
// (which would replay every trade) nor carry a number from elsewhere.
TEST_F(FollowerLibraryTest, CommitWithoutARecordRewritesTheLoadedCursor) {
  start_master();
  publish(1, 14);
  write_text(index_path(follower), "12");
  ASSERT_EQ(init_follower(), 1);
  ASSERT_EQ(zebfollower.Commit(), 1);
  EXPECT_EQ(read_text(index_path(follower)), "12");
  ASSERT_EQ(zebfollower.Read(), 1);
  EXPECT_EQ(received_number(), 13);
  for (int commit = 1; commit <= 2; ++commit) {
    ASSERT_EQ(zebfollower.Commit(), 1);
    EXPECT_EQ(read_text(index_path(follower)), "13") << "commit " << commit;
  }

  // A record loaded from one channel is not committed into another.
  std::string other = unique_name("m");
  ASSERT_EQ(zebfollower.Init(root.c_str(), follower.c_str(), other.c_str()), 1);
  ASSERT_EQ(zebfollower.Commit(), 1);
  EXPECT_EQ(read_text(join(join(join(root, other), "system"), follower)), "0");
}

TEST_F(FollowerLibraryTest, AFailedCommitStillMovesTheCursorInMemory) {
  start_master();
  publish(1, 3);
  ASSERT_EQ(init_follower(), 1);
  ASSERT_EQ(zebfollower.Read(), 1);
  make_directory(index_path(follower));
  EXPECT_EQ(zebfollower.Commit(), 0);
  EXPECT_EQ(zebfollower.ErrorCode(), -1);
  EXPECT_EQ(follower_message(), "WriteInd: could not open " + index_path(follower) + " file.");
  ASSERT_EQ(zebfollower.Read(), 1);
  EXPECT_EQ(received_number(), 2);
}

// Names are one plain path component. A refused Init touches no file, and
// leaves no channel bound even after a good one.
TEST_F(FollowerLibraryTest, InitRefusesBadArgumentsAndThenLeavesNothingBound) {
  for (const char* name : {"", ".", "..", "a/b", "a\\b"}) {
    EXPECT_EQ(zebfollower.Init(root.c_str(), name, master.c_str()), 0) << name;
    EXPECT_EQ(follower_message().rfind("Init: follower name ", 0), 0u) << follower_message();
    EXPECT_EQ(zebfollower.Init(root.c_str(), follower.c_str(), name), 0) << name;
    EXPECT_EQ(follower_message().rfind("Init: master name ", 0), 0u) << follower_message();
  }
  EXPECT_EQ(follower_message(), "Init: master name must not contain '/' or '\\': a\\b");
  EXPECT_EQ(zebfollower.Init(nullptr, follower.c_str(), master.c_str()), 0);
  EXPECT_EQ(zebfollower.Init(root.c_str(), nullptr, master.c_str()), 0);
  EXPECT_EQ(zebfollower.Init(root.c_str(), follower.c_str(), nullptr), 0);
  EXPECT_EQ(follower_message(), "Init: master name is a null pointer.");
  EXPECT_EQ(zebfollower.Init(root.c_str(), std::string(300, 'f').c_str(), master.c_str()), 0);
  EXPECT_FALSE(exists(root));
  write_text(dir / "file", "");
  std::string bad_root = join(dir / "file", "sub");
  EXPECT_EQ(zebfollower.Init(bad_root.c_str(), follower.c_str(), master.c_str()), 0);
  EXPECT_EQ(follower_message(), "Init: CreateDirectory " + bad_root + " failed");

  ASSERT_EQ(init_follower(), 1);
  EXPECT_EQ(zebfollower.Init(root.c_str(), follower.c_str(), nullptr), 0);
  EXPECT_EQ(zebfollower.Read(), 0);
  EXPECT_EQ(follower_message(), "Read: could not get MapFile pointer.");
  EXPECT_EQ(zebfollower.Commit(), 0);
  EXPECT_EQ(follower_message(), "Commit: Init has not been called.");
}

// Reading such a cursor as 0 would replay every record ever published.
TEST_F(FollowerLibraryTest, InitRefusesACursorFileThatCannotBeRead) {
  start_master();
  publish(1, 2);
  make_directory(index_path(follower));
  EXPECT_EQ(init_follower(), 0);
  EXPECT_EQ(follower_message(), "Init: could not read " + index_path(follower) + " file.");
  EXPECT_EQ(zebfollower.Read(), 0);
  EXPECT_EQ(follower_message(), "Read: could not get MapFile pointer.");
}

// Its cursor would be the master's index, which its Commit would rewrite.
TEST_F(FollowerLibraryTest, AFollowerNamedAfterItsMasterIsRefused) {
  start_master();
  publish(1, 4);
  follower = master;
  EXPECT_EQ(init_follower(), 0);
  EXPECT_EQ(follower_message(), "Init: follower name must not be the master name: " + master);
  EXPECT_EQ(read_text(index_path(master)), "4");
}

// The first holder of the counter seeds it from the master's index.
TEST_F(FollowerLibraryTest, AFollowerThatFindsNoHolderSeedsTheCounterFromTheMasterIndex) {
  start_master();
  publish(1, 3);
  zebmaster_unload(&zebmaster);  // the master has gone, and with it the counter
  EXPECT_EQ(live_counter(master), -1);
  ASSERT_EQ(init_follower(), 1);
  EXPECT_EQ(live_counter(master), 3);
  for (int n = 1; n <= 3; ++n) {
    ASSERT_EQ(zebfollower.Read(), 1) << follower_message();
    EXPECT_EQ(received_number(), n);
    ASSERT_EQ(zebfollower.Commit(), 1);
  }
  EXPECT_EQ(zebfollower.Read(), 0);
  EXPECT_EQ(zebfollower.ErrorCode(), 0);
}

// A follower that created the counter and died before seeding it leaves a
// held block at 0: trusting that would hide every earlier record from the
// followers that joined it, for as long as no master runs.
TEST_F(FollowerLibraryTest, AFollowerJoiningAHeldButUnseededCounterSeedsIt) {
  start_master();
  publish(1, 3);
  zebmaster_unload(&zebmaster);
  set_counter(0);  // the creator, which never got to seed it
  ASSERT_EQ(init_follower(), 1);
  EXPECT_EQ(live_counter(master), 3);
  ASSERT_EQ(zebfollower.Read(), 1);
  EXPECT_EQ(received_number(), 1);
}

// Whatever the master index says; and the counter lives exactly as long as
// someone holds it.
TEST_F(FollowerLibraryTest, AFollowerJoiningALiveCounterTrustsIt) {
  start_master();
  publish(1, 5);
  write_text(index_path(master), "2");
  ASSERT_EQ(init_follower(), 1);
  EXPECT_EQ(live_counter(master), 5);
  zebmaster_unload(&zebmaster);
  EXPECT_EQ(live_counter(master), 5);
  zebfollower_unload(&zebfollower);
  EXPECT_EQ(live_counter(master), -1);
}

}  // namespace
}  // namespace zeb::test
