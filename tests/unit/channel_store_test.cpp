#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <string>

#include "channel_names.h"
#include "channel_paths.h"
#include "index_file.h"
#include "listing.h"
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

TEST(ParseNumber, ReadsLikeAtolWithinThirtyTwoBits) {
  EXPECT_EQ(parse_number("  42abc"), 42);
  EXPECT_EQ(parse_number("\t\n7"), 7);
  EXPECT_EQ(parse_number("000007"), 7);
  EXPECT_EQ(parse_number("7.txt"), 7);
  EXPECT_EQ(parse_number("-1"), -1);
  EXPECT_EQ(parse_number("+12"), 12);
  EXPECT_EQ(parse_number("abc"), 0);
  EXPECT_EQ(parse_number(""), 0);
  EXPECT_EQ(parse_number("system"), 0);
  EXPECT_EQ(parse_number("- 5"), 0);
  EXPECT_EQ(parse_number("2147483647"), INT32_MAX);
  EXPECT_EQ(parse_number("-2147483648"), INT32_MIN);
  // Outside 32 bits is no number the channel writes: 0, never a wrapped value.
  EXPECT_EQ(parse_number("2147483648"), 0);
  EXPECT_EQ(parse_number("4294967297"), 0);
  EXPECT_EQ(parse_number("-2147483649"), 0);
  EXPECT_EQ(parse_number("99999999999999999999999999999"), 0);
}

// Index file "i" in `dir`, rewritten through its temporary twin beside it.
bool write_i(ErrorState& error, const TempDir& dir, int32_t value) {
  return write_index(error, (dir / "i").c_str(), (dir / ".zebtmp-i").c_str(), value);
}

TEST(IndexFiles, TextIsWrittenAsPlainDecimalWithoutTerminator) {
  TempDir dir;
  ErrorState error;
  for (int32_t value : {0, 7, -1, 123456, INT32_MAX}) {
    ASSERT_TRUE(write_i(error, dir, value));
    EXPECT_EQ(test::read_text(dir / "i"), std::to_string(value));
    EXPECT_EQ(read_index((dir / "i").c_str()).value, value);
  }
  // A shorter value leaves nothing of a longer one behind.
  write_i(error, dir, 123456);
  write_i(error, dir, 9);
  EXPECT_EQ(test::read_text(dir / "i"), "9");
  EXPECT_EQ(error.code, 0);
}

TEST(IndexFiles, MissingEmptyOrGarbageTextReadsAsZero) {
  TempDir dir;
  EXPECT_EQ(read_index((dir / "missing").c_str()).value, 0);
  const std::pair<std::string, int32_t> cases[] = {
      {"", 0},           {"abc", 0},          {"  42abc", 42},
      {"-17", -17},      {"+5", 5},           {" \t\n", 0},
      {"99999999999", 0}, {std::string(31, '1'), 0},
      // Only the first 31 characters are read: a longer text never overruns.
      {std::string(29, ' ') + "12345", 12},   {std::string(40, '0') + "5", 0},
  };
  for (const auto& [text, value] : cases) {
    test::write_text(dir / "i", text);
    EXPECT_EQ(read_index((dir / "i").c_str()).value, value) << "text: '" << text << "'";
  }
  test::make_directory(dir / "d");
  EXPECT_EQ(read_index((dir / "d").c_str()).value, 0);
}

TEST(IndexFiles, ReadingTellsAMissingFileFromOneThatCannotBeRead) {
  TempDir dir;
  EXPECT_TRUE(read_index((dir / "missing").c_str()).known);
  test::write_text(dir / "i", "17");
  EXPECT_TRUE(read_index((dir / "i").c_str()).known);
  test::make_directory(dir / "d");
  IndexNumber unreadable = read_index((dir / "d").c_str());
  EXPECT_FALSE(unreadable.known);
  EXPECT_EQ(unreadable.value, 0);
}

TEST(IndexFiles, UnwritableIndexReportsTheOpenFailureWithThePath) {
  TempDir dir;
  ErrorState error;
  test::make_directory(dir / "i");
  EXPECT_FALSE(write_i(error, dir, 3));
  EXPECT_EQ(error.code, -1);
  EXPECT_EQ(std::string(error.message), "WriteInd: could not open " + (dir / "i") + " file.");
}

TEST(IndexFiles, AFailedRewriteKeepsTheOldValueWhole) {
  TempDir dir;
  EXPECT_EQ(test::run_in_child([&] {
              ErrorState error;
              ASSERT_TRUE(write_i(error, dir, 41));
              // The new text cannot be written: the index file keeps its old value.
              test::limit_file_size(1);
              EXPECT_FALSE(write_i(error, dir, 42));
              EXPECT_EQ(std::string(error.message), "WriteInd: WriteFile " + (dir / "i") + " error.");
              EXPECT_EQ(test::read_text(dir / "i"), "41");
            }),
            0);
}

TEST(IndexFiles, ALeftoverTemporaryFileIsHarmless) {
  TempDir dir;
  ErrorState error;
  test::write_text(dir / ".zebtmp-i", "999999 garbage left by a killed process");
  ASSERT_TRUE(write_i(error, dir, 5));
  EXPECT_EQ(test::read_text(dir / "i"), "5");
  EXPECT_FALSE(test::exists(dir / ".zebtmp-i"));
}

TEST(IndexFiles, AnIndexFileIsNeverSeenEmptyWhileBeingRewritten) {
  TempDir dir;
  ErrorState error;
  std::string path = dir / "i";
  ASSERT_TRUE(write_i(error, dir, 1));
  pid_t writer = ::fork();
  if (writer == 0) {
    for (int value = 2; value < 5000; ++value)
      if (!write_i(error, dir, value)) ::_exit(1);
    ::_exit(0);
  }
  // Meanwhile every read finds a whole number, never the 0 of an empty file.
  int reads = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (::waitpid(writer, nullptr, WNOHANG) == 0) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the writer did not finish";
    ASSERT_FALSE(test::read_text(path).empty());
    ASSERT_GT(read_index(path.c_str()).value, 0);
    ++reads;
  }
  EXPECT_GT(reads, 0);
  EXPECT_EQ(read_index(path.c_str()).value, 4999);
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

TEST(ForEachEntry, VisitsEveryEntryButDotAndDotDot) {
  TempDir dir;
  for (const char* name : {"000001", "7.txt", ".hidden", "..x"}) test::write_text(dir / name, "");
  test::make_directory(dir / "system");
  std::set<std::string> seen;
  EXPECT_TRUE(for_each_entry(dir.path().c_str(), [&](const char* name) { seen.insert(name); }));
  EXPECT_EQ(seen, (std::set<std::string>{"000001", "7.txt", ".hidden", "..x", "system"}));
  EXPECT_FALSE(for_each_entry((dir / "missing").c_str(), [](const char*) {}));
}

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
