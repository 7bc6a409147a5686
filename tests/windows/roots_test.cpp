// Roots as Windows users give them: with a trailing separator, as a literal
// path, or a bare drive.
#include <gtest/gtest.h>

#include "support/library_fixture.h"

namespace zeb::test {
namespace {

class RootsTest : public LibraryTest {
 protected:
  // Publishes two records under `root` and reads them back as a follower,
  // with both libraries loaded afresh.
  void carry_records() {
    restart_master();
    restart_follower();
    start_master();
    for (int n = 1; n <= 2; ++n) {
      zebmaster.SetTicket(n);
      ASSERT_EQ(zebmaster.Write(), 1) << master_message();
    }
    ASSERT_EQ(init_follower(), 1) << follower_message();
    for (int n = 1; n <= 2; ++n) {
      ASSERT_EQ(zebfollower.Read(), 1) << follower_message();
      EXPECT_EQ(zebfollower.GetTicket(), n);
      ASSERT_EQ(zebfollower.Commit(), 1) << follower_message();
    }
    EXPECT_EQ(zebfollower.Read(), 0);
    EXPECT_EQ(zebfollower.ErrorCode(), 0);
  }
};

TEST_F(RootsTest, ATrailingSeparatorWorksForInitWriteAndRead) {
  for (const char* name : {"back", "slash"}) {
    master = unique_name("m");
    root = dir / name + (name[0] == 'b' ? "\\" : "/");
    carry_records();
    EXPECT_TRUE(exists(dir / name + "\\" + master + "\\000002")) << name;
    EXPECT_EQ(read_text(dir / name + "\\" + master + "\\system\\F"), "2") << name;
  }
}

TEST_F(RootsTest, ALiteralPathWithATrailingSeparatorWorksLikeThePlainPath) {
  root = "\\\\?\\" + dir / "literal\\";
  carry_records();
  EXPECT_TRUE(exists(dir / "literal\\" + master + "\\000002"));
  EXPECT_EQ(read_text(dir / "literal\\" + master + "\\system\\F"), "2");
}

TEST_F(RootsTest, ADriveRootWorksForInitWriteAndRead) {
  for (const char* drive : {"C:", "C:\\"}) {
    master = unique_name("drive");
    root = drive;
    carry_records();
    EXPECT_TRUE(exists("C:\\" + master + "\\000002")) << drive;
    remove_all("C:\\" + master);
  }
}

}  // namespace
}  // namespace zeb::test
