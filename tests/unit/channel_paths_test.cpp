#include <gtest/gtest.h>

#include <string>

#include "channel_paths.h"
#include "support/test_support.h"

namespace zeb {
namespace {

using test::TempDir;

ChannelPaths channel(const std::string& root, const char* master, const char* owner = "F") {
  ChannelPaths paths;
  ErrorState error;
  EXPECT_TRUE(paths.set(error, root.c_str(), master, owner)) << error.message;
  return paths;
}

TEST(ChannelPaths, AreComposedOnceWithOneSeparatorBetweenParts) {
  ChannelPaths paths = channel("/r", "m", "f");
  EXPECT_STREQ(paths.root(), "/r");
  EXPECT_STREQ(paths.owner(), "f");
  EXPECT_STREQ(paths.master_dir(), "/r/m");
  EXPECT_STREQ(paths.system_dir(), "/r/m/system");
  EXPECT_STREQ(paths.index("f").c_str(), "/r/m/system/f");
  EXPECT_STREQ(paths.index_temp("f").c_str(), "/r/m/system/.zebtmp-f");
  EXPECT_STREQ(paths.counter_name(), "zeb_m");
  // Record files are named zero-padded to six digits, and grow beyond.
  EXPECT_STREQ(paths.record(7).c_str(), "/r/m/000007");
  EXPECT_STREQ(paths.record(1234567).c_str(), "/r/m/1234567");
  EXPECT_STREQ(paths.record(INT32_MAX).c_str(), "/r/m/2147483647");
  // A root given with its trailing separator keeps just that one.
  EXPECT_STREQ(channel("/r/", "m").master_dir(), "/r/m");
  // A listed name that would not fit gives an empty path, never a cut one.
  EXPECT_STREQ(paths.entry(std::string(260, 'e').c_str()).c_str(), "");
  EXPECT_STREQ(paths.index(std::string(260, 'e').c_str()).c_str(), "");
}

TEST(ChannelDirectories, AreCreatedInOrderAndExistingEntriesCountAsPresent) {
  TempDir dir;
  ErrorState error;
  std::string root = dir / "root";
  ASSERT_TRUE(ensure_channel_directories(error, "Init", channel(root, "M")));
  EXPECT_TRUE(test::exists(root + "/M/system"));
  // Running again over a complete tree changes nothing and succeeds.
  EXPECT_TRUE(ensure_channel_directories(error, "Init", channel(root, "M")));
  // A plain file where the system directory belongs counts as present.
  test::make_directory(root + "/N");
  test::write_text(root + "/N/system", "");
  EXPECT_TRUE(ensure_channel_directories(error, "Write", channel(root, "N")));
  EXPECT_EQ(error.code, 0);
}

TEST(ChannelDirectories, FailureNamesTheOperationAndTheFirstPathThatFailed) {
  TempDir dir;
  ErrorState error;
  test::write_text(dir / "file", "x");
  std::string root = dir / "file/root";
  EXPECT_FALSE(ensure_channel_directories(error, "Write", channel(root, "M")));
  EXPECT_EQ(std::string(error.message), "Write: CreateDirectory " + root + " failed");
  // Only one level is ever created: a root whose parent is missing fails.
  std::string deep = dir / "a/b";
  EXPECT_FALSE(ensure_channel_directories(error, "Init", channel(deep, "M")));
  EXPECT_EQ(std::string(error.message), "Init: CreateDirectory " + deep + " failed");
  EXPECT_FALSE(test::exists(dir / "a"));
}

TEST(InitArguments, EveryComposedPathMustFit) {
  ErrorState error;
  ChannelPaths paths;
  std::string root(150, 'r');
  EXPECT_TRUE(paths.set(error, root.c_str(), "M", "F"));
  // The longest path is an index file's temporary twin: the owner's is
  // checked first, then the master's. A refusal leaves the paths as they were.
  std::string name(110, 'n');
  EXPECT_FALSE(paths.set(error, root.c_str(), "M", name.c_str()));
  EXPECT_EQ(std::string(error.message),
            "Init: paths under root " + root + " for master M and " + name + " would be too long.");
  name.resize(50);
  EXPECT_FALSE(paths.set(error, root.c_str(), name.c_str(), "F"));
  EXPECT_EQ(std::string(error.message),
            "Init: paths under root " + root + " for master " + name + " and " + name +
                " would be too long.");
  EXPECT_STREQ(paths.owner(), "F");
}

}  // namespace
}  // namespace zeb
