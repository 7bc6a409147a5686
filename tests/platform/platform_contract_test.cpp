// What the channel logic needs of every platform layer, checked the same way
// on each: this file runs in the unit suite (POSIX), the Windows suite and
// the fault suite (the in-memory platform, through tests/fault/fault_files.cpp).
#include <gtest/gtest.h>

#include <set>

#include "platform/platform.h"
#include "support/files.h"

namespace zeb::platform {
namespace {

using test::HeldFile;
using test::TempDir;

TEST(PlatformFiles, WriteCreatesOrTruncatesAndReadStopsAtCapacity) {
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
  ASSERT_EQ(truncate_file(path.c_str()), FileResult::ok);
  EXPECT_EQ(test::read_text(path), "");
  ASSERT_EQ(write_file(path.c_str(), "new", 3, Existing::replace), FileResult::ok);
  EXPECT_EQ(test::read_text(path), "new");
  EXPECT_EQ(truncate_file((dir / "missing").c_str()), FileResult::open_failed);
  EXPECT_FALSE(test::exists(dir / "missing"));
}

TEST(PlatformFiles, OnlyFilesCanBeOpened) {
  TempDir dir;
  test::make_directory(dir / "000007");
  char buffer[8];
  size_t got = 0;
  EXPECT_EQ(read_file((dir / "000007").c_str(), buffer, sizeof buffer, &got), FileResult::open_failed);
  EXPECT_EQ(read_file((dir / "missing").c_str(), buffer, sizeof buffer, &got), FileResult::open_failed);
  EXPECT_EQ(write_file((dir / "000007").c_str(), "x", 1), FileResult::open_failed);
  EXPECT_EQ(truncate_file((dir / "000007").c_str()), FileResult::open_failed);
  EXPECT_EQ(write_file(test::join(dir / "missing", "f").c_str(), "x", 1), FileResult::open_failed);
}

TEST(PlatformFiles, AReaderHoldingAFileMakesAWriterConflictWithoutTouchingIt) {
  TempDir dir;
  std::string path = dir / "f";
  test::write_text(path, "old text");
  HeldFile reader(path, HeldFile::reading);
  EXPECT_EQ(write_file(path.c_str(), "new", 3), FileResult::conflict);
  EXPECT_EQ(truncate_file(path.c_str()), FileResult::conflict);
  EXPECT_EQ(test::read_text(path), "old text");  // not truncated either
  // Readers share the file.
  char buffer[16] = {};
  size_t got = 0;
  EXPECT_EQ(read_file(path.c_str(), buffer, sizeof buffer, &got), FileResult::ok);
  EXPECT_EQ(std::string(buffer, got), "old text");
}

TEST(PlatformFiles, AWriterHoldingAFileMakesReadersAndWritersConflict) {
  TempDir dir;
  std::string path = dir / "f";
  test::write_text(path, "x");
  HeldFile writer(path, HeldFile::writing);
  char buffer[4];
  size_t got = 0;
  EXPECT_EQ(read_file(path.c_str(), buffer, sizeof buffer, &got), FileResult::conflict);
  EXPECT_EQ(write_file(path.c_str(), "y", 1), FileResult::conflict);
  // A read that shares everything is refused by nobody.
  EXPECT_EQ(read_file(path.c_str(), buffer, sizeof buffer, &got, ReadSharing::allow_all), FileResult::ok);
  EXPECT_EQ(std::string(buffer, got), "x");
}

TEST(PlatformFiles, ReplaceTakesTheOtherFilesPlace) {
  TempDir dir;
  test::write_text(dir / "index", "41");
  test::write_text(dir / "next", "42");
  ASSERT_EQ(replace_file((dir / "next").c_str(), (dir / "index").c_str()), FileResult::ok);
  EXPECT_EQ(test::read_text(dir / "index"), "42");
  EXPECT_FALSE(test::exists(dir / "next"));
  EXPECT_EQ(replace_file((dir / "next").c_str(), (dir / "index").c_str()), FileResult::open_failed);
}

TEST(PlatformDirectories, AreMadeOneLevelAtATime) {
  TempDir dir;
  EXPECT_EQ(make_directory((dir / "a").c_str()), MakeDirectory::created);
  EXPECT_EQ(make_directory((dir / "a").c_str()), MakeDirectory::already_exists);
  EXPECT_EQ(make_directory(test::join(dir / "b", "c").c_str()), MakeDirectory::failed);
  EXPECT_FALSE(test::exists(dir / "b"));
  EXPECT_TRUE(path_exists((dir / "a").c_str()));
  test::write_text(dir / "file", "");
  EXPECT_TRUE(path_exists((dir / "file").c_str()));
  EXPECT_FALSE(path_exists((dir / "missing").c_str()));
  EXPECT_FALSE(path_exists(test::join(dir / "file", "sub").c_str()));
}

TEST(PlatformDirectories, AnEntryHasItsStoredName) {
  TempDir dir;
  test::make_directory(dir / "Alpha");
  char name[16];
  ASSERT_TRUE(stored_name((dir / "Alpha").c_str(), name, sizeof name));
  EXPECT_STREQ(name, "Alpha");
  EXPECT_FALSE(stored_name((dir / "Alpha").c_str(), name, 5));
  EXPECT_FALSE(stored_name((dir / "missing").c_str(), name, sizeof name));
  EXPECT_TRUE(same_name("Alpha", "Alpha"));
  EXPECT_FALSE(same_name("Alpha", "Beta"));
}

// The master's claim on its directory: one holder at a time, in one process
// as across processes, until it lets go.
TEST(PlatformFiles, AFileLockHasOneHolderAtATime) {
  TempDir dir;
  std::string path = dir / "master.lock";
  FileLock* first = nullptr;
  FileLock* second = nullptr;
  ASSERT_EQ(file_lock(path.c_str(), &first), LockFile::locked);
  EXPECT_EQ(file_lock(path.c_str(), &second), LockFile::held_elsewhere);
  file_unlock(first);
  ASSERT_EQ(file_lock(path.c_str(), &second), LockFile::locked);
  file_unlock(second);
  EXPECT_EQ(file_lock(test::join(dir / "missing", "lock").c_str(), &first), LockFile::failed);
}

TEST(PlatformDirectories, ListingIncludesDotAndDotDot) {
  TempDir dir;
  test::write_text(dir / "000001", "");
  test::make_directory(dir / "system");
  Listing* listing = listing_open(dir.path().c_str());
  ASSERT_NE(listing, nullptr);
  std::set<std::string> names;
  while (const char* name = listing_next(listing)) names.insert(name);
  EXPECT_FALSE(listing_broken(listing));  // it ended, it did not fail
  listing_close(listing);
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "000001", "system"}));
  EXPECT_EQ(listing_open((dir / "missing").c_str()), nullptr);
  EXPECT_EQ(listing_open((dir / "000001").c_str()), nullptr);
}

class PlatformCounter : public ::testing::Test {
 protected:
  std::string name = "zeb_" + test::unique_name("pc");
  TempDir dir;
  CounterOpen opened = CounterOpen::failed;
  Counter* open() { return counter_open(name.c_str(), dir.path().c_str(), &opened); }
};

TEST_F(PlatformCounter, FirstOpenerCreatesLaterOnesJoinAndSeeTheValue) {
  Counter* first = open();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(opened, CounterOpen::created);
  int32_t* view = counter_map(first);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(counter_load(view), 0);
  EXPECT_EQ(counter_exchange(view, 41), 0);

  Counter* second = open();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(opened, CounterOpen::joined);
  int32_t* second_view = counter_map(second);
  EXPECT_EQ(counter_load(second_view), 41);
  counter_unmap(second_view);
  counter_close(second);

  int32_t value = 0;
  EXPECT_EQ(counter_peek(name.c_str(), &value), Peek::live);
  EXPECT_EQ(value, 41);
  counter_unmap(view);
  counter_close(first);

  // The last holder has gone, and with it the value; peeking held nothing.
  EXPECT_EQ(counter_peek(name.c_str(), &value), Peek::absent);
  Counter* fresh = open();
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(opened, CounterOpen::created);
  view = counter_map(fresh);
  EXPECT_EQ(counter_load(view), 0);
  counter_unmap(view);
  counter_close(fresh);
}

}  // namespace
}  // namespace zeb::platform
