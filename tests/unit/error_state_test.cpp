#include <gtest/gtest.h>

#include <string>

#include "error_state.h"

namespace zeb {
namespace {

bool all_zero(const ErrorState& error) {
  for (char c : error.message)
    if (c != 0) return false;
  return true;
}

TEST(ErrorState, ResetClearsTheCodeAndEveryByteOfTheMessage) {
  ErrorState error;
  error_fail(error, "Write: could not open %s file.", std::string(500, 'x').c_str());
  ASSERT_EQ(error.code, -1);
  error_reset(error);
  EXPECT_EQ(error.code, 0);
  EXPECT_TRUE(all_zero(error));
}

TEST(ErrorState, FailureFormatsTheMessageAndReturnsZero) {
  ErrorState error;
  EXPECT_EQ(error_fail(error, "Read: could not open %s file.", "/r/m/000007"), 0);
  EXPECT_EQ(error.code, -1);
  EXPECT_STREQ(error.message, "Read: could not open /r/m/000007 file.");
}

TEST(ErrorState, ShorterMessageLeavesNoTailOfALongerOne) {
  ErrorState error;
  error_fail(error, "%s", std::string(300, 'y').c_str());
  error_fail(error, "short");
  EXPECT_STREQ(error.message, "short");
  EXPECT_EQ(error.message[6], 0);
  EXPECT_EQ(error.message[299], 0);
}

TEST(ErrorState, MessagesWithFullPathsAreKeptWholeAndOverlongOnesCutSafely) {
  ErrorState error;
  std::string path(259, 'p');
  error_fail(error, "Write: could not open %s file.", path.c_str());
  EXPECT_EQ(std::string(error.message), "Write: could not open " + path + " file.");
  error_fail(error, "%s", std::string(5000, 'q').c_str());
  EXPECT_EQ(std::string(error.message).size(), sizeof error.message - 1);
}

}  // namespace
}  // namespace zeb
