// The POSIX emulation of the target platform's file sharing and of named
// shared memory that lives only while some process holds it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <set>

#include "platform/platform.h"
#include "support/test_support.h"

namespace zeb::platform {
namespace {

using test::TempDir;

// Holds a file open the way the other side of the sharing rule would.
struct Holder {
  Holder(const std::string& path, int flags, int lock) : fd(::open(path.c_str(), flags, 0666)) {
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, lock | LOCK_NB), 0);
  }
  ~Holder() { ::close(fd); }
  int fd;
};

TEST(PosixFiles, AReaderHoldingAFileMakesAWriterFailWithoutTouchingIt) {
  TempDir dir;
  std::string path = dir / "f";
  test::write_text(path, "old text");
  Holder reader(path, O_RDONLY, LOCK_SH);
  EXPECT_EQ(write_file(path.c_str(), "new", 3), FileResult::open_failed);
  EXPECT_EQ(test::read_text(path), "old text");  // no truncation before the lock
  // Readers share the file.
  char buffer[16] = {};
  size_t got = 0;
  EXPECT_EQ(read_file(path.c_str(), buffer, sizeof buffer, &got), FileResult::ok);
  EXPECT_EQ(std::string(buffer, got), "old text");
}

TEST(PosixFiles, AWriterHoldingAFileMakesReadersAndWritersFail) {
  TempDir dir;
  std::string path = dir / "f";
  test::write_text(path, "x");
  Holder writer(path, O_WRONLY, LOCK_EX);
  char buffer[4];
  size_t got = 0;
  EXPECT_EQ(read_file(path.c_str(), buffer, sizeof buffer, &got), FileResult::open_failed);
  EXPECT_EQ(write_file(path.c_str(), "y", 1), FileResult::open_failed);
}

TEST(PosixFiles, WriteCreatesOrTruncatesAndReadStopsAtCapacity) {
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

TEST(PosixFiles, OnlyRegularFilesCanBeOpenedForReading) {
  TempDir dir;
  char buffer[8];
  size_t got = 0;
  test::make_directory(dir / "000007");
  EXPECT_EQ(read_file((dir / "000007").c_str(), buffer, sizeof buffer, &got), FileResult::open_failed);
  EXPECT_EQ(read_file((dir / "missing").c_str(), buffer, sizeof buffer, &got), FileResult::open_failed);
  // A FIFO must neither block the reader nor pass for a record.
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0666), 0);
  EXPECT_EQ(read_file((dir / "fifo").c_str(), buffer, sizeof buffer, &got), FileResult::open_failed);
  EXPECT_EQ(write_file((dir / "000007").c_str(), "x", 1), FileResult::open_failed);
}

TEST(PosixFiles, DirectoriesAreMadeOneLevelAtATime) {
  TempDir dir;
  EXPECT_EQ(make_directory((dir / "a").c_str()), MakeDirectory::created);
  EXPECT_EQ(make_directory((dir / "a").c_str()), MakeDirectory::already_exists);
  EXPECT_EQ(make_directory((dir / "b/c").c_str()), MakeDirectory::failed);
  EXPECT_TRUE(path_exists((dir / "a").c_str()));
  test::write_text(dir / "file", "");
  EXPECT_TRUE(path_exists((dir / "file").c_str()));
  EXPECT_FALSE(path_exists((dir / "b").c_str()));
}

TEST(PosixFiles, ListingIncludesDotAndDotDot) {
  TempDir dir;
  test::write_text(dir / "000001", "");
  Listing* listing = listing_open(dir.path().c_str());
  ASSERT_NE(listing, nullptr);
  std::set<std::string> names;
  while (const char* name = listing_next(listing)) names.insert(name);
  EXPECT_FALSE(listing_broken(listing));  // it ended, it did not fail
  listing_close(listing);
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "000001"}));
  EXPECT_EQ(listing_open((dir / "missing").c_str()), nullptr);
}

class PosixCounter : public ::testing::Test {
 protected:
  std::string name = "zeb_" + test::unique_name("pc");
};

TEST_F(PosixCounter, FirstOpenerCreatesLaterOnesJoinAndSeeTheValue) {
  bool existed = true;
  Counter* first = counter_open(name.c_str(), &existed);
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(existed);
  int32_t* view = counter_map(first);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(counter_load(view), 0);
  EXPECT_EQ(counter_exchange(view, 41), 0);

  // Another process joins the live block and sees its value.
  int status = test::run_in_child([&] {
    bool child_existed = false;
    Counter* joined = counter_open(name.c_str(), &child_existed);
    ASSERT_NE(joined, nullptr);
    EXPECT_TRUE(child_existed);
    int32_t* child_view = counter_map(joined);
    EXPECT_EQ(counter_load(child_view), 41);
    counter_exchange(child_view, 42);
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(counter_load(view), 42);
  counter_unmap(view);
  counter_close(first);
}

TEST_F(PosixCounter, ABlockNoLiveProcessHoldsIsNewAndZeroAgain) {
  bool existed = true;
  Counter* counter = counter_open(name.c_str(), &existed);
  int32_t* view = counter_map(counter);
  counter_exchange(view, 99);
  counter_unmap(view);
  counter_close(counter);

  counter = counter_open(name.c_str(), &existed);
  ASSERT_NE(counter, nullptr);
  EXPECT_FALSE(existed);
  view = counter_map(counter);
  EXPECT_EQ(counter_load(view), 0);
  counter_unmap(view);
  counter_close(counter);
}

TEST_F(PosixCounter, AHolderKilledWithSigkillNoLongerHoldsTheBlock) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t pid = ::fork();
  if (pid == 0) {
    bool existed = false;
    Counter* counter = counter_open(name.c_str(), &existed);
    counter_exchange(counter_map(counter), 77);
    char byte = 1;
    (void)!::write(ready[1], &byte, 1);
    ::pause();
    ::_exit(0);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);

  bool existed = false;
  Counter* joined = counter_open(name.c_str(), &existed);
  ASSERT_NE(joined, nullptr);
  EXPECT_TRUE(existed);
  int32_t* joined_view = counter_map(joined);
  EXPECT_EQ(counter_load(joined_view), 77);
  // A live mapping keeps the hold too, so it goes first.
  counter_unmap(joined_view);
  counter_close(joined);

  ::kill(pid, SIGKILL);
  test::wait_for(pid);
  Counter* fresh = counter_open(name.c_str(), &existed);
  ASSERT_NE(fresh, nullptr);
  EXPECT_FALSE(existed);
  int32_t* view = counter_map(fresh);
  EXPECT_EQ(counter_load(view), 0);
  counter_unmap(view);
  counter_close(fresh);
  ::close(ready[0]);
  ::close(ready[1]);
}

TEST_F(PosixCounter, TwoOpensInOneProcessAreTwoHolders) {
  bool existed = true;
  Counter* a = counter_open(name.c_str(), &existed);
  EXPECT_FALSE(existed);
  Counter* b = counter_open(name.c_str(), &existed);
  EXPECT_TRUE(existed);
  counter_close(a);
  Counter* c = counter_open(name.c_str(), &existed);
  EXPECT_TRUE(existed);  // b still holds it
  counter_close(b);
  counter_close(c);
}

TEST_F(PosixCounter, PeekingReadsALiveCounterAndNeverCreatesOrHoldsOne) {
  int32_t value = -1;
  EXPECT_FALSE(counter_peek(name.c_str(), &value));
  EXPECT_FALSE(test::exists("/dev/shm/" + name));

  bool existed = true;
  Counter* counter = counter_open(name.c_str(), &existed);
  int32_t* view = counter_map(counter);
  counter_exchange(view, 31);
  EXPECT_TRUE(counter_peek(name.c_str(), &value));
  EXPECT_EQ(value, 31);
  counter_unmap(view);
  counter_close(counter);

  // Nobody holds it any more: whatever the stale block holds is no count.
  EXPECT_FALSE(counter_peek(name.c_str(), &value));
  // And peeking did not hold it either: the next opener finds it new.
  counter = counter_open(name.c_str(), &existed);
  EXPECT_FALSE(existed);
  counter_close(counter);
}

TEST_F(PosixCounter, AnUnusableNameFailsToOpen) {
  bool existed = false;
  ASSERT_EQ(::mkdir(("/dev/shm/" + name).c_str(), 0700), 0);
  EXPECT_EQ(counter_open(name.c_str(), &existed), nullptr);
  ::rmdir(("/dev/shm/" + name).c_str());
}

}  // namespace
}  // namespace zeb::platform
