// Windows file sharing between participants: a program holding an index
// file open for reading keeps the rename that rewrites it from replacing it,
// past every retry. (The sharing cases that hold on every system are in
// tests/library.)
#include <gtest/gtest.h>

#include "support/library_fixture.h"

namespace zeb::test {
namespace {

class SharingTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    start_master();
    publish(1, 1);
    ASSERT_EQ(init_follower(), 1);
  }
};

TEST_F(SharingTest, AReaderHoldingTheMasterIndexMakesWriteFailAndWithdrawItsRecord) {
  {
    HeldFile held(index_path(master), HeldFile::reading);
    EXPECT_EQ(zebmaster.Write(), 0);
    EXPECT_EQ(master_message(), "WriteInd: could not open " + index_path(master) + " file.");
    EXPECT_EQ(read_text(index_path(master)), "1");
    EXPECT_EQ(read_bytes(record_path("000002")).size(), 0u);
    EXPECT_EQ(live_counter(master), 1);
  }
  publish(3, 3);
  EXPECT_EQ(read_text(index_path(master)), "3");
  EXPECT_EQ(live_counter(master), 3);
  for (int n : {1, 3}) {
    ASSERT_EQ(zebfollower.Read(), 1) << follower_message();
    EXPECT_EQ(received_number(), n);
    ASSERT_EQ(zebfollower.Commit(), 1);
  }
}

TEST_F(SharingTest, AReaderHoldingTheFollowerIndexMakesCommitFail) {
  ASSERT_EQ(zebfollower.Read(), 1);
  ASSERT_EQ(zebfollower.Commit(), 1);
  publish(2, 2);
  ASSERT_EQ(zebfollower.Read(), 1);
  {
    HeldFile held(index_path(follower), HeldFile::reading);
    EXPECT_EQ(zebfollower.Commit(), 0);
    EXPECT_EQ(follower_message(), "WriteInd: could not open " + index_path(follower) + " file.");
    EXPECT_EQ(read_text(index_path(follower)), "1");
  }
  ASSERT_EQ(zebfollower.Commit(), 1);
  EXPECT_EQ(read_text(index_path(follower)), "2");
}

}  // namespace
}  // namespace zeb::test
