#include <gtest/gtest.h>

#include <string>

#include "channel_names.h"

namespace zeb {
namespace {

TEST(InitArguments, NamesMustBeOnePlainPathComponent) {
  ErrorState error;
  EXPECT_TRUE(check_name(error, "Master-1 with spaces", "master name"));
  EXPECT_TRUE(check_name(error, "\xC3\xA9t\xC3\xA9", "master name"));
  EXPECT_FALSE(check_name(error, "...", "master name"));
  EXPECT_STREQ(error.message, "Init: master name must not end with a dot or a space: \"...\"");
  EXPECT_FALSE(check_name(error, nullptr, "master name"));
  EXPECT_STREQ(error.message, "Init: master name is a null pointer.");
  EXPECT_FALSE(check_name(error, "", "follower name"));
  EXPECT_STREQ(error.message, "Init: follower name is empty.");
  EXPECT_FALSE(check_name(error, ".", "master name"));
  EXPECT_STREQ(error.message, "Init: master name must be a plain name, not \".\".");
  EXPECT_FALSE(check_name(error, "..", "master name"));
  EXPECT_FALSE(check_name(error, "a/b", "master name"));
  EXPECT_STREQ(error.message, "Init: master name must not contain '/' or '\\': a/b");
  EXPECT_FALSE(check_name(error, "a\\b", "master name"));
  EXPECT_FALSE(check_name(error, ".zebtmp-F", "follower name"));
  EXPECT_STREQ(error.message,
               "Init: follower name must not begin with \".zebtmp-\", which is reserved: .zebtmp-F");
  EXPECT_TRUE(check_name(error, ".zebtmp", "follower name"));
  EXPECT_FALSE(check_name(error, std::string(260, 'n').c_str(), "master name"));
  EXPECT_STREQ(error.message, "Init: master name is too long (260 characters, at most 259).");
  EXPECT_EQ(error.code, -1);
}

TEST(InitArguments, RootMayBeAnyPathThatFits) {
  ErrorState error;
  EXPECT_TRUE(check_root(error, "relative/dir"));
  EXPECT_TRUE(check_root(error, "/abs/dir/"));
  // Only names are held to the rules of one file name.
  EXPECT_TRUE(check_root(error, "C:\\trades\\ COM1 .|?*"));
  EXPECT_FALSE(check_root(error, nullptr));
  EXPECT_STREQ(error.message, "Init: root is a null pointer.");
  EXPECT_FALSE(check_root(error, ""));
  EXPECT_FALSE(check_root(error, std::string(300, 'r').c_str()));
  EXPECT_STREQ(error.message, "Init: root is too long (300 characters, at most 259).");
}

}  // namespace
}  // namespace zeb
