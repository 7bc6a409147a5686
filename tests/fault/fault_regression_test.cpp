// Faults that once lost, replayed or misreported records, each pinned down
// on the in-memory platform.
#include <gtest/gtest.h>

#include <cstdio>

#include "conflict_retry.h"
#include "fault_platform.h"
#include "follower.h"
#include "master.h"
#include "support/sample_record.h"

namespace zeb {
namespace {

using fault::Call;

class FaultRegression : public ::testing::Test {
 protected:
  void SetUp() override {
    fault::reset();
    for (const char* dir : {"R", "R\\M", "R\\M\\system"}) fault::put_directory(dir);
  }
  void TearDown() override { fault::reset(); }

  // Record n as the master lays it down, with the master index at `n`.
  void place_record(int n) {
    TradeRecord record = test::sample_record(n);
    char name[16];
    std::snprintf(name, sizeof name, "%06d", n);
    fault::put_file(std::string("R\\M\\") + name, std::string(reinterpret_cast<char*>(&record), sizeof record));
  }
  // Fails the kth call of `kind` from now on.
  static void fail_next(Call kind, int k) { fault::fail_call(kind, fault::calls(kind) + k); }

  int32_t start_follower(FollowerState& follower) { return follower_init(follower, "R", "F", "M"); }
};

// Listed newest first, a listing that broke off after "000003" used to pass
// for the whole directory: Read delivered 3 and the commit lost 2.
TEST_F(FaultRegression, ReadTreatsAListingThatBreaksOffAsAFailedListing) {
  place_record(2);
  place_record(3);
  fault::put_file("R\\M\\system\\M", "3");
  FollowerState follower;
  ASSERT_EQ(start_follower(follower), 1);
  // ".", "..", "system", "000003", then the listing fails.
  fail_next(Call::listing_next, 5);
  EXPECT_EQ(follower_read(follower), 0);
  EXPECT_STREQ(follower.error.message, "Read: FindFirstFile failed.");
  EXPECT_EQ(follower.pending, 0);
  ASSERT_EQ(follower_read(follower), 1);
  EXPECT_EQ(follower.pending, 2);
}

// A master whose index was lost numbers after the newest record on disk; a
// listing that broke off early made it start again at 1, replacing records.
TEST_F(FaultRegression, MasterInitRefusesToNumberFromAListingThatBrokeOff) {
  place_record(1);
  place_record(2);
  MasterState master;
  fail_next(Call::listing_next, 4);  // ".", "..", "system", then the failure
  EXPECT_EQ(master_init(master, "R", "M"), 0);
  EXPECT_STREQ(master.error.message, "Init: could not list R\\M directory.");
  ASSERT_EQ(master_init(master, "R", "M"), 1);
  EXPECT_EQ(master.count, 2);
}

// A master killed in Write leaves its newest record half written. Init used
// to publish that number, and every follower's Read failed ("Read: unknown
// exception") until the next Write.
TEST_F(FaultRegression, MasterInitPublishesNoFurtherThanTheNewestWholeRecord) {
  place_record(1);
  place_record(2);
  fault::put_file("R\\M\\system\\M", "1");  // killed before its index, after record 2
  fault::put_file("R\\M\\000003", std::string(40, 'x'));  // killed while writing 3
  MasterState master;
  ASSERT_EQ(master_init(master, "R", "M"), 1);
  EXPECT_EQ(master.count, 3);
  EXPECT_EQ(fault::counter_value("zeb_M"), 2);
  FollowerState follower;
  ASSERT_EQ(start_follower(follower), 1);
  for (int n = 1; n <= 2; ++n) {
    ASSERT_EQ(follower_read(follower), 1);
    ASSERT_EQ(follower_commit(follower), 1);
  }
  EXPECT_EQ(follower_read(follower), 0);
  EXPECT_EQ(follower.error.code, 0);
  master.staged = test::sample_record(4);
  ASSERT_EQ(master_write(master), 1);
  ASSERT_TRUE(fault::file("R\\M\\000004"));
  ASSERT_EQ(follower_read(follower), 1);
  EXPECT_EQ(follower.pending, 4);
}

// A cursor file that could not be read used to read as 0: the follower then
// replayed every record ever published.
TEST_F(FaultRegression, FollowerInitRefusesACursorFileItCannotRead) {
  for (int n = 1; n <= 6; ++n) place_record(n);
  fault::put_file("R\\M\\system\\M", "6");
  fault::put_file("R\\M\\system\\F", "5");
  FollowerState follower;
  for (Call kind : {Call::read_open, Call::read_data}) {
    fail_next(kind, 1);
    EXPECT_EQ(start_follower(follower), 0);
    EXPECT_STREQ(follower.error.message, "Init: could not read R\\M\\system\\F file.");
    EXPECT_EQ(follower_read(follower), 0);
    EXPECT_STREQ(follower.error.message, "Read: could not get MapFile pointer.");
  }
  ASSERT_EQ(start_follower(follower), 1);
  EXPECT_EQ(follower.cursor, 5);
  ASSERT_EQ(follower_read(follower), 1);
  EXPECT_EQ(follower.pending, 6);
}

// Likewise the master index that seeds a counter nobody held: read as 0 it
// hid every record until the master came back.
TEST_F(FaultRegression, FollowerInitRefusesToSeedFromAMasterIndexItCannotRead) {
  place_record(1);
  fault::put_file("R\\M\\system\\M", "1");
  FollowerState follower;
  fail_next(Call::read_open, 2);  // its own index reads fine (it is missing)
  EXPECT_EQ(start_follower(follower), 0);
  EXPECT_STREQ(follower.error.message, "Init: could not read R\\M\\system\\M file.");
  EXPECT_EQ(fault::counter_value("zeb_M"), std::nullopt);  // not left behind unseeded
  ASSERT_EQ(start_follower(follower), 1);
  EXPECT_EQ(fault::counter_value("zeb_M"), 1);
  ASSERT_EQ(follower_read(follower), 1);
}

// An Init that fails at any step binds nothing: a Commit after it must not
// write the old channel's pending number into the new channel's index file,
// nor a Write number records in the new channel's directory.
TEST_F(FaultRegression, AnInitFailingAtAnyStepLeavesNothingBound) {
  place_record(1);
  fault::put_file("R\\M\\system\\M", "1");
  for (int kind = 0; kind < fault::kCallKinds; ++kind) {
    FollowerState follower;
    MasterState master;
    ASSERT_EQ(start_follower(follower), 1);
    ASSERT_EQ(follower_read(follower), 1);
    ASSERT_EQ(master_init(master, "R", "M"), 1);
    fault::fail_calls_from(static_cast<Call>(kind), fault::calls(static_cast<Call>(kind)) + 1);
    bool follower_failed = follower_init(follower, "R", "F", "H") == 0;
    bool master_failed = master_init(master, "R", "H") == 0;
    fault::clear_faults();
    const char* kind_name = fault::call_name(static_cast<Call>(kind));
    if (follower_failed) {
      EXPECT_EQ(follower_commit(follower), 0) << kind_name;
      EXPECT_STREQ(follower.error.message, "Commit: Init has not been called.") << kind_name;
      EXPECT_EQ(follower_read(follower), 0) << kind_name;
      EXPECT_STREQ(follower.error.message, "Read: could not get MapFile pointer.") << kind_name;
    }
    if (master_failed) {
      EXPECT_EQ(master_write(master), 0) << kind_name;
      EXPECT_STREQ(master.error.message, "Write: could not get MapFile pointer.") << kind_name;
    }
    EXPECT_FALSE(fault::file("R\\H\\system\\F")) << kind_name;
    EXPECT_FALSE(fault::file("R\\M\\system\\F")) << kind_name;
    EXPECT_FALSE(fault::file("R\\H\\000001")) << kind_name;
    EXPECT_FALSE(fault::file("R\\M\\000002")) << kind_name;
  }
}

// A Write whose record can be neither indexed nor withdrawn: the record is
// whole and would reach followers at the next count, so the Write counts as
// published, and the next Write brings the index file up to date.
TEST_F(FaultRegression, ARecordThatCannotBeWithdrawnIsPublished) {
  MasterState master;
  ASSERT_EQ(master_init(master, "R", "M"), 1);
  fail_next(Call::replace, 1);
  fail_next(Call::truncate, 1);
  master.staged = test::sample_record(1);
  EXPECT_EQ(master_write(master), 1);
  EXPECT_EQ(master.error.code, 0);
  EXPECT_EQ(fault::counter_value("zeb_M"), 1);
  EXPECT_EQ(fault::file("R\\M\\system\\M"), std::nullopt);
  master.staged = test::sample_record(2);
  ASSERT_EQ(master_write(master), 1);
  EXPECT_EQ(fault::file("R\\M\\system\\M"), "2");

  // A record that was not written whole stays a gap either way.
  fail_next(Call::write_data, 1);
  fail_next(Call::truncate, 1);
  master.staged = test::sample_record(3);
  EXPECT_EQ(master_write(master), 0);
  EXPECT_STREQ(master.error.message, "Write: WriteFile R\\M\\000003 failed.");
  EXPECT_EQ(fault::file("R\\M\\000003")->size(), sizeof(TradeRecord) / 2);
  EXPECT_EQ(fault::counter_value("zeb_M"), 2);

  // One that can be neither cut nor read back may be whole: it is published,
  // so the host's retry is never delivered beside it.
  fail_next(Call::write_data, 1);
  fail_next(Call::truncate, 1);
  fault::fail_calls_from(Call::read_open, fault::calls(Call::read_open) + 1);
  master.staged = test::sample_record(4);
  EXPECT_EQ(master_write(master), 1);
  EXPECT_EQ(fault::counter_value("zeb_M"), 4);
}

// A program that holds a file for a moment costs a Write or Commit some
// growing delays, never its result; one that holds it past the last delay
// makes the call fail, and the Write withdraws its record.
TEST_F(FaultRegression, ConflictsAreRetriedUpToTheBound) {
  constexpr int kRetries = static_cast<int>(std::size(kConflictDelaysMs));
  MasterState master;
  ASSERT_EQ(master_init(master, "R", "M"), 1);
  FollowerState follower;
  ASSERT_EQ(start_follower(follower), 1);
  fault::conflict_calls(Call::replace, fault::calls(Call::replace) + 1, kRetries);
  master.staged = test::sample_record(1);
  ASSERT_EQ(master_write(master), 1) << master.error.message;
  EXPECT_EQ(fault::slept_ms(), 958);
  ASSERT_EQ(follower_read(follower), 1);
  fault::conflict_calls(Call::write_open, fault::calls(Call::write_open) + 1, 2);
  ASSERT_EQ(follower_commit(follower), 1);
  EXPECT_EQ(fault::slept_ms(), 958 + 1 + 2);
  EXPECT_EQ(fault::file("R\\M\\system\\F"), "1");

  fault::conflict_calls(Call::replace, fault::calls(Call::replace) + 1, kRetries + 1);
  master.staged = test::sample_record(2);
  EXPECT_EQ(master_write(master), 0);
  EXPECT_STREQ(master.error.message, "WriteInd: could not open R\\M\\system\\M file.");
  EXPECT_EQ(fault::file("R\\M\\000002"), "");
  EXPECT_EQ(fault::calls(Call::replace), 1 + 2 * (kRetries + 1));
  fault::hold("R\\M\\system\\F", false);
  EXPECT_EQ(follower_commit(follower), 0);
  EXPECT_STREQ(follower.error.message, "WriteInd: could not open R\\M\\system\\F file.");
  EXPECT_EQ(fault::file("R\\M\\system\\F"), "1");
}

}  // namespace
}  // namespace zeb
