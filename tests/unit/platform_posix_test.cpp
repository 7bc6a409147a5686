// What only the POSIX layer has to get right: FIFOs, and the emulation of
// named shared memory that lives only while some process holds it, across
// processes, kills, racing openers and observers. platform_test.cpp holds what every layer must do.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

class PosixCounter : public ::testing::Test {
 protected:
  std::string name = "zeb_" + test::unique_name("pc");
};

TEST_F(PosixCounter, AnotherProcessJoinsTheLiveBlockAndSeesTheValue) {
  bool existed = true;
  Counter* first = counter_open(name.c_str(), &existed);
  ASSERT_NE(first, nullptr);
  int32_t* view = counter_map(first);
  counter_exchange(view, 41);
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

TEST_F(PosixCounter, PeekingCreatesNoSharedMemoryObject) {
  int32_t value = -1;
  EXPECT_FALSE(counter_peek(name.c_str(), &value));
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
    EXPECT_FALSE(counter_peek(name.c_str(), &value));
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
      Counter* counter = counter_open(name.c_str(), &existed);
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

TEST_F(PosixCounter, AnUnusableNameFailsToOpen) {
  bool existed = false;
  ASSERT_EQ(::mkdir(("/dev/shm/" + name).c_str(), 0700), 0);
  EXPECT_EQ(counter_open(name.c_str(), &existed), nullptr);
  ::rmdir(("/dev/shm/" + name).c_str());
}

}  // namespace
}  // namespace zeb::platform
