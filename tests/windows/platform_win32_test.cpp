// The Win32 platform layer on its own: exact-path existence tests, one-level
// directory creation, listings, Windows file sharing and named mappings.
#include <gtest/gtest.h>

#include <set>

#include "platform/platform.h"
#include "win_support.h"

namespace zeb::platform {
namespace {

using wintest::HeldFile;
using wintest::TempDir;

TEST(Win32Paths, ADirectoryIsFoundWithOrWithoutATrailingSeparator) {
  TempDir dir;
  std::string sub = dir / "sub";
  ASSERT_EQ(make_directory(sub.c_str()), MakeDirectory::created);
  for (const std::string& path : {sub, sub + "\\", sub + "/", dir.path() + "\\"})
    EXPECT_TRUE(path_exists(path.c_str())) << path;
  test::write_text(dir / "file", "");
  EXPECT_TRUE(path_exists((dir / "file").c_str()));
  EXPECT_FALSE(path_exists((dir / "missing").c_str()));
  EXPECT_FALSE(path_exists((dir / "missing\\").c_str()));
  EXPECT_FALSE(path_exists((dir / "file\\sub").c_str()));
}

TEST(Win32Paths, DriveRootsAreFound) {
  for (const char* path : {"C:", "C:\\", "C:/", "\\"}) EXPECT_TRUE(path_exists(path)) << path;
}

// A search reads '*' and '?' as wildcards: no name with them is an exact match.
TEST(Win32Paths, WildcardsNeverMatchOtherNames) {
  TempDir dir;
  test::make_directory(dir / "root");
  EXPECT_FALSE(path_exists((dir / "ro*").c_str()));
  EXPECT_FALSE(path_exists((dir / "roo?").c_str()));
  EXPECT_FALSE(path_exists((dir / "*").c_str()));
}

TEST(Win32Paths, DirectoriesAreMadeOneLevelAtATime) {
  TempDir dir;
  EXPECT_EQ(make_directory((dir / "a").c_str()), MakeDirectory::created);
  EXPECT_EQ(make_directory((dir / "a").c_str()), MakeDirectory::already_exists);
  EXPECT_EQ(make_directory((dir / "b\\c").c_str()), MakeDirectory::failed);
  EXPECT_FALSE(wintest::exists(dir / "b"));
}

TEST(Win32Paths, ListingIncludesDotAndDotDot) {
  TempDir dir;
  test::write_text(dir / "000001", "");
  test::make_directory(dir / "system");
  for (const std::string& path : {dir.path(), dir.path() + "\\"}) {
    Listing* listing = listing_open(path.c_str());
    ASSERT_NE(listing, nullptr) << path;
    std::set<std::string> names;
    while (const char* name = listing_next(listing)) names.insert(name);
    listing_close(listing);
    EXPECT_EQ(names, (std::set<std::string>{".", "..", "000001", "system"})) << path;
  }
  EXPECT_EQ(listing_open((dir / "missing").c_str()), nullptr);
}

TEST(Win32Files, WriteCreatesOrTruncatesAndReadStopsAtCapacity) {
  TempDir dir;
  std::string path = dir / "f";
  ASSERT_EQ(write_file(path.c_str(), "0123456789", 10), FileResult::ok);
  ASSERT_EQ(write_file(path.c_str(), "abc", 3), FileResult::ok);
  EXPECT_EQ(test::read_text(path), "abc");
  test::write_text(path, std::string(100, 'L'));
  char buffer[80];
  size_t got = 0;
  EXPECT_EQ(read_file(path.c_str(), buffer, sizeof buffer, &got), FileResult::ok);
  EXPECT_EQ(got, 80u);
}

TEST(Win32Files, OnlyFilesCanBeOpened) {
  TempDir dir;
  test::make_directory(dir / "000007");
  char buffer[8];
  size_t got = 0;
  EXPECT_EQ(read_file((dir / "000007").c_str(), buffer, sizeof buffer, &got), FileResult::open_failed);
  EXPECT_EQ(read_file((dir / "missing").c_str(), buffer, sizeof buffer, &got), FileResult::open_failed);
  EXPECT_EQ(write_file((dir / "000007").c_str(), "x", 1), FileResult::open_failed);
}

TEST(Win32Sharing, AReaderHoldingAFileMakesAWriterFailWithoutTouchingIt) {
  TempDir dir;
  std::string path = dir / "f";
  test::write_text(path, "old text");
  HeldFile reader(path, GENERIC_READ);
  EXPECT_EQ(write_file(path.c_str(), "new", 3), FileResult::open_failed);
  EXPECT_EQ(test::read_text(path), "old text");
  char buffer[16] = {};
  size_t got = 0;
  EXPECT_EQ(read_file(path.c_str(), buffer, sizeof buffer, &got), FileResult::ok);
  EXPECT_EQ(std::string(buffer, got), "old text");
  // Nor can another file take its place.
  test::write_text(dir / "new", "new");
  EXPECT_FALSE(replace_file((dir / "new").c_str(), path.c_str()));
  EXPECT_EQ(test::read_text(path), "old text");
}

TEST(Win32Sharing, AWriterHoldingAFileMakesReadersAndWritersFail) {
  TempDir dir;
  std::string path = dir / "f";
  test::write_text(path, "x");
  HeldFile writer(path, GENERIC_WRITE);
  char buffer[4];
  size_t got = 0;
  EXPECT_EQ(read_file(path.c_str(), buffer, sizeof buffer, &got), FileResult::open_failed);
  EXPECT_EQ(write_file(path.c_str(), "y", 1), FileResult::open_failed);
}

TEST(Win32Sharing, ReplaceTakesTheOtherFilesPlace) {
  TempDir dir;
  test::write_text(dir / "index", "41");
  test::write_text(dir / "next", "42");
  ASSERT_TRUE(replace_file((dir / "next").c_str(), (dir / "index").c_str()));
  EXPECT_EQ(test::read_text(dir / "index"), "42");
  EXPECT_FALSE(wintest::exists(dir / "next"));
}

class Win32Counter : public ::testing::Test {
 protected:
  std::string name = "zeb_" + wintest::unique_name("pc");
};

TEST_F(Win32Counter, FirstOpenerCreatesLaterOnesJoinAndSeeTheValue) {
  bool existed = true;
  Counter* first = counter_open(name.c_str(), &existed);
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(existed);
  int32_t* view = counter_map(first);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(counter_load(view), 0);
  EXPECT_EQ(counter_exchange(view, 41), 0);

  Counter* second = counter_open(name.c_str(), &existed);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(existed);
  int32_t* second_view = counter_map(second);
  EXPECT_EQ(counter_load(second_view), 41);
  counter_unmap(second_view);
  counter_close(second);

  int32_t value = 0;
  EXPECT_TRUE(counter_peek(name.c_str(), &value));
  EXPECT_EQ(value, 41);
  counter_unmap(view);
  counter_close(first);

  // The last holder has gone, and with it the value; peeking holds nothing.
  EXPECT_FALSE(counter_peek(name.c_str(), &value));
  Counter* fresh = counter_open(name.c_str(), &existed);
  EXPECT_FALSE(existed);
  view = counter_map(fresh);
  EXPECT_EQ(counter_load(view), 0);
  counter_unmap(view);
  counter_close(fresh);
}

TEST_F(Win32Counter, ANameThatCannotBeAKernelObjectFailsToOpen) {
  bool existed = false;
  // A backslash would name a kernel object namespace that does not exist.
  EXPECT_EQ(counter_open("zeb_no\\such", &existed), nullptr);
}

}  // namespace
}  // namespace zeb::platform
