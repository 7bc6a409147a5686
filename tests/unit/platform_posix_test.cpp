// What only the POSIX layer has to get right: FIFOs, links and access, and
// the emulation of named shared memory that lives only while some process
// holds it, across processes, kills, racing openers, observers and other
// users. platform_contract_test.cpp holds what every layer must do.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "platform/platform.h"
#include "support/test_support.h"

namespace zeb::platform {
namespace {

using test::TempDir;

// A FIFO must neither block the reader nor pass for a record.
TEST(PosixFiles, AFifoIsNoFile) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0666), 0);
  char buffer[8];
  size_t got = 0;
  EXPECT_EQ(read_file((dir / "fifo").c_str(), buffer, sizeof buffer, &got), FileResult::open_failed);
}

// Another user who may write a directory plants links where the channel
// will write: nothing is written or read through them.
TEST(PosixFiles, NothingIsWrittenOrReadThroughALink) {
  TempDir dir;
  test::write_text(dir / "precious", "keep");
  ASSERT_EQ(::symlink((dir / "precious").c_str(), (dir / "000001").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "precious").c_str(), (dir / ".zebtmp-F").c_str()), 0);
  char buffer[8];
  size_t got = 0;
  EXPECT_EQ(write_file((dir / "000001").c_str(), "record", 6), FileResult::open_failed);
  EXPECT_EQ(read_file((dir / "000001").c_str(), buffer, sizeof buffer, &got), FileResult::open_failed);
  EXPECT_EQ(write_file((dir / ".zebtmp-F").c_str(), "7", 1, Existing::replace), FileResult::ok);
  EXPECT_EQ(test::read_text(dir / "precious"), "keep");
  struct stat info;
  ASSERT_EQ(::lstat((dir / ".zebtmp-F").c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
}

// What zeb creates takes the access of the directory it is in, whatever
// the umask; where others may write, nobody may replace another's entries.
TEST(PosixFiles, NewEntriesTakeTheirDirectorysAccessWhateverTheUmask) {
  TempDir dir;
  auto mode_of = [](const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0u;
  };
  EXPECT_EQ(test::run_in_child([&] {
              ::umask(0);
              ASSERT_EQ(make_directory((dir / "root").c_str(), NewDirectory::private_to_owner),
                        MakeDirectory::created);
              EXPECT_EQ(mode_of(dir / "root"), 0700u);
              ASSERT_EQ(::chmod((dir / "root").c_str(), 0750), 0);
              ASSERT_EQ(make_directory(test::join(dir / "root", "M").c_str()), MakeDirectory::created);
              EXPECT_EQ(mode_of(test::join(dir / "root", "M")), 0750u);
              ASSERT_EQ(write_file(test::join(dir / "root", "f").c_str(), "x", 1), FileResult::ok);
              EXPECT_EQ(mode_of(test::join(dir / "root", "f")), 0640u);
              ASSERT_EQ(::chmod((dir / "root").c_str(), 0777), 0);
              EXPECT_EQ(directory_status((dir / "root").c_str()), DirectoryStatus::unprotected);
              ASSERT_EQ(make_directory(test::join(dir / "root", "N").c_str()), MakeDirectory::created);
              EXPECT_EQ(mode_of(test::join(dir / "root", "N")), 01777u);
              EXPECT_EQ(directory_status(test::join(dir / "root", "N").c_str()), DirectoryStatus::present);
            }),
            0);
}

class PosixCounter : public ::testing::Test {
 protected:
  std::string name = "zeb_" + test::unique_name("pc");
  TempDir dir;
  // Opens the counter of a channel in `dir`; `existed` tells whether it was joined.
  Counter* open(bool* existed) {
    CounterOpen opened;
    Counter* counter = counter_open(name.c_str(), dir.path().c_str(), &opened);
    *existed = opened == CounterOpen::joined;
    return counter;
  }
};

TEST_F(PosixCounter, AnotherProcessJoinsTheLiveBlockAndSeesTheValue) {
  bool existed = true;
  Counter* first = open(&existed);
  ASSERT_NE(first, nullptr);
  int32_t* view = counter_map(first);
  counter_exchange(view, 41);
  int status = test::run_in_child([&] {
    bool child_existed = false;
    Counter* joined = open(&child_existed);
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

TEST_F(PosixCounter, AHolderKilledWithSigkillNoLongerHoldsTheBlock) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t pid = ::fork();
  if (pid == 0) {
    bool existed = false;
    Counter* counter = open(&existed);
    counter_exchange(counter_map(counter), 77);
    char byte = 1;
    (void)!::write(ready[1], &byte, 1);
    ::pause();
    ::_exit(0);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);

  bool existed = false;
  Counter* joined = open(&existed);
  ASSERT_NE(joined, nullptr);
  EXPECT_TRUE(existed);
  int32_t* joined_view = counter_map(joined);
  EXPECT_EQ(counter_load(joined_view), 77);
  // A live mapping keeps the hold too, so it goes first.
  counter_unmap(joined_view);
  counter_close(joined);

  ::kill(pid, SIGKILL);
  test::wait_for(pid);
  Counter* fresh = open(&existed);
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
  Counter* a = open(&existed);
  EXPECT_FALSE(existed);
  Counter* b = open(&existed);
  EXPECT_TRUE(existed);
  counter_close(a);
  Counter* c = open(&existed);
  EXPECT_TRUE(existed);  // b still holds it
  counter_close(b);
  counter_close(c);
}

TEST_F(PosixCounter, PeekingCreatesNoSharedMemoryObject) {
  int32_t value = -1;
  EXPECT_EQ(counter_peek(name.c_str(), &value), Peek::absent);
  EXPECT_FALSE(test::exists("/dev/shm/" + name));
}

// An opener sets a new block up holding the holder byte exclusively, while
// the object may still be empty; a peeker that mapped it then died of SIGBUS.
TEST_F(PosixCounter, PeekingNeverTouchesABlockBeingSetUp) {
  int fd = ::shm_open(("/" + name).c_str(), O_RDWR | O_CREAT, 0666);  // empty, as created
  ASSERT_GE(fd, 0);
  struct flock setting_up = {};
  setting_up.l_type = F_WRLCK;
  setting_up.l_whence = SEEK_SET;
  setting_up.l_start = 1;
  setting_up.l_len = 1;
  ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &setting_up), 0);
  int status = test::run_in_child([&] {
    int32_t value = -1;
    EXPECT_EQ(counter_peek(name.c_str(), &value), Peek::absent);
  });
  EXPECT_EQ(status, 0);  // 135: SIGBUS
  ::close(fd);
  ::shm_unlink(("/" + name).c_str());
}

// Openers racing on a name nobody holds: the guard lets exactly one of them
// set up the new block, and every other joins it.
TEST_F(PosixCounter, ManyProcessesOpeningAtOnceAllSucceedAndExactlyOneSeesANewBlock) {
  constexpr int kOpeners = 16;
  int go[2], results[2], done[2];
  ASSERT_EQ(::pipe(go), 0);
  ASSERT_EQ(::pipe(results), 0);
  ASSERT_EQ(::pipe(done), 0);
  std::vector<pid_t> openers;
  for (int i = 0; i < kOpeners; ++i) {
    pid_t pid = ::fork();
    if (pid == 0) {
      ::close(go[1]);
      ::close(done[1]);
      char byte;
      (void)!::read(go[0], &byte, 1);  // end of file: all start at once
      bool existed = false;
      Counter* counter = open(&existed);
      char result = counter == nullptr ? 'x' : existed ? 'e' : 'n';
      (void)!::write(results[1], &result, 1);
      (void)!::read(done[0], &byte, 1);  // hold it until everyone has opened
      ::_exit(0);
    }
    openers.push_back(pid);
  }
  ::close(go[1]);
  ::close(results[1]);
  ::close(done[0]);
  std::string seen;
  while (seen.size() < kOpeners) {
    struct pollfd ready = {results[0], POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 20000), 1) << "results so far: " << seen;
    char result;
    ASSERT_EQ(::read(results[0], &result, 1), 1) << "results so far: " << seen;
    seen += result;
  }
  ::close(done[1]);
  for (pid_t pid : openers) EXPECT_EQ(test::wait_for(pid), 0);
  ::close(go[0]);
  ::close(results[0]);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 'x'), 0) << seen;
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 'n'), 1) << seen;
}

// Another local user must not be able to hang, refuse, crash or take over a
// channel through its counter: a counter is open only to those who may write
// the channel, another user's is refused, and a lock on it is not waited for
// long. Observers read it without asking to write it.
TEST_F(PosixCounter, AnotherUsersCounterIsRefusedAndNoLockOnItIsWaitedForLong) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root: acts as another user";
  auto as_nobody = [](const std::function<void()>& body) {
    return test::run_in_child([&] {
      ASSERT_EQ(::setgid(65534), 0);
      ASSERT_EQ(::setuid(65534), 0);
      body();
    });
  };
  std::string object = "/dev/shm/" + name;
  ASSERT_EQ(as_nobody([&] { ::close(::shm_open(("/" + name).c_str(), O_RDWR | O_CREAT, 0666)); }), 0);
  bool existed;
  CounterOpen opened;
  EXPECT_EQ(counter_open(name.c_str(), dir.path().c_str(), &opened), nullptr);
  EXPECT_EQ(opened, CounterOpen::foreign);
  ASSERT_EQ(::shm_unlink(("/" + name).c_str()), 0);

  Counter* own = open(&existed);
  ASSERT_NE(own, nullptr);
  struct stat info;
  ASSERT_EQ(::stat(object.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);  // the directory is its owner's alone
  counter_exchange(counter_map(own), 5);
  EXPECT_EQ(as_nobody([&] {
              int32_t value = 0;
              EXPECT_EQ(counter_peek(name.c_str(), &value), Peek::denied);
            }),
            0);
  ASSERT_EQ(::chmod(object.c_str(), 0644), 0);
  EXPECT_EQ(as_nobody([&] {
              int32_t value = 0;
              EXPECT_EQ(counter_peek(name.c_str(), &value), Peek::live);
              EXPECT_EQ(value, 5);
            }),
            0);

  int guard = ::open(object.c_str(), O_RDWR);
  struct flock held = {};
  held.l_type = F_WRLCK;
  held.l_whence = SEEK_SET;
  held.l_len = 1;
  ASSERT_EQ(::fcntl(guard, F_OFD_SETLK, &held), 0);
  EXPECT_EQ(counter_open(name.c_str(), dir.path().c_str(), &opened), nullptr);
  EXPECT_EQ(opened, CounterOpen::busy);
  ::close(guard);
  counter_close(own);
}

TEST_F(PosixCounter, AnUnusableNameFailsToOpen) {
  bool existed = false;
  ASSERT_EQ(::mkdir(("/dev/shm/" + name).c_str(), 0700), 0);
  EXPECT_EQ(open(&existed), nullptr);
  ::rmdir(("/dev/shm/" + name).c_str());
}

}  // namespace
}  // namespace zeb::platform
