#include <gtest/gtest.h>
#include <sys/stat.h>

#include "map_file.h"
#include "support/test_support.h"

namespace zeb {
namespace {

class MapFileTest : public ::testing::Test {
 protected:
  std::string master = test::unique_name("mf");
  std::string name = "zeb_" + master;
};

TEST_F(MapFileTest, OpenCloseAndReopen) {
  MapFile counter;
  EXPECT_FALSE(counter.is_open());
  ASSERT_EQ(counter.Open(name.c_str()), 1);
  EXPECT_TRUE(counter.is_open());
  EXPECT_FALSE(counter.already_existed());
  counter.publish(5);
  EXPECT_EQ(counter.read(), 5);
  EXPECT_EQ(counter.Close(), 1);
  EXPECT_FALSE(counter.is_open());
  EXPECT_EQ(counter.Close(), 1);  // a second Close does nothing
  ASSERT_EQ(counter.Open(name.c_str()), 1);
  EXPECT_EQ(counter.read(), 0);  // the last holder had gone: a new block
}

TEST_F(MapFileTest, OpeningTwiceKeepsExactlyOneHold) {
  MapFile counter;
  ASSERT_EQ(counter.Open(name.c_str()), 1);
  counter.publish(9);
  // The second Open releases the first hold before joining: had the first
  // stayed open, this one would find the block already held.
  ASSERT_EQ(counter.Open(name.c_str()), 1);
  EXPECT_FALSE(counter.already_existed());
  MapFile other;
  ASSERT_EQ(other.Open(name.c_str()), 1);
  EXPECT_TRUE(other.already_existed());
}

TEST_F(MapFileTest, JoiningAHeldBlockReportsItAndSharesTheValue) {
  MapFile first, second;
  ASSERT_EQ(first.Open(name.c_str()), 1);
  first.publish(12);
  ASSERT_EQ(second.Open(name.c_str()), 1);
  EXPECT_TRUE(second.already_existed());
  EXPECT_EQ(second.read(), 12);
}

TEST_F(MapFileTest, RaiseNeverLowersALargerValue) {
  MapFile counter;
  ASSERT_EQ(counter.Open(name.c_str()), 1);
  counter.raise_to(10);
  EXPECT_EQ(counter.read(), 10);
  counter.raise_to(4);
  EXPECT_EQ(counter.read(), 10);
  counter.raise_to(11);
  EXPECT_EQ(counter.read(), 11);
}

TEST_F(MapFileTest, CreationFailureIsReportedAndLeavesItClosed) {
  ASSERT_EQ(::mkdir(("/dev/shm/" + name).c_str(), 0700), 0);
  MapFile counter;
  EXPECT_EQ(counter.Open(name.c_str()), 0);
  EXPECT_STREQ(counter.error_text(), "Could not create file-mapping object.");
  EXPECT_FALSE(counter.is_open());
  ErrorState error;
  EXPECT_EQ(open_channel_counter(counter, error, master.c_str()), 0);
  EXPECT_STREQ(error.message, "MapFile: Could not create file-mapping object.");
  ::rmdir(("/dev/shm/" + name).c_str());
}

}  // namespace
}  // namespace zeb
