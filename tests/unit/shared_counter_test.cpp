#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "follower.h"
#include "shared_counter.h"
#include "master.h"
#include "support/test_support.h"

namespace zeb {
namespace {

class SharedCounterTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::string master = test::unique_name("mf");
  std::string name = "zeb_" + master;
  bool open(SharedCounter& counter) { return counter.open(name.c_str(), dir.path().c_str()); }
};

TEST_F(SharedCounterTest, OpenCloseAndReopen) {
  SharedCounter counter;
  EXPECT_FALSE(counter.is_open());
  ASSERT_TRUE(open(counter));
  EXPECT_TRUE(counter.is_open());
  EXPECT_FALSE(counter.already_existed());
  counter.publish(5);
  EXPECT_EQ(counter.read(), 5);
  counter.close();
  EXPECT_FALSE(counter.is_open());
  counter.close();  // a second close does nothing
  // close released the hold: had it stayed, this open would join a held block.
  ASSERT_TRUE(open(counter));
  EXPECT_FALSE(counter.already_existed());
  EXPECT_EQ(counter.read(), 0);  // the last holder had gone: a new block
}

TEST_F(SharedCounterTest, JoiningAHeldBlockReportsItAndSharesTheValue) {
  SharedCounter first, second;
  ASSERT_TRUE(open(first));
  first.publish(12);
  ASSERT_TRUE(open(second));
  EXPECT_TRUE(second.already_existed());
  EXPECT_EQ(second.read(), 12);
}

TEST_F(SharedCounterTest, RaiseNeverLowersALargerValue) {
  SharedCounter counter;
  ASSERT_TRUE(open(counter));
  counter.raise_to(10);
  EXPECT_EQ(counter.read(), 10);
  counter.raise_to(4);
  EXPECT_EQ(counter.read(), 10);
  counter.raise_to(11);
  EXPECT_EQ(counter.read(), 11);
}

TEST_F(SharedCounterTest, CreationFailureIsReportedAndLeavesItClosed) {
  ASSERT_EQ(::mkdir(("/dev/shm/" + name).c_str(), 0700), 0);
  SharedCounter counter;
  EXPECT_FALSE(open(counter));
  EXPECT_STREQ(counter.error_text(), "Could not create file-mapping object.");
  EXPECT_FALSE(counter.is_open());
  ErrorState error;
  ChannelPaths paths;
  ASSERT_TRUE(paths.set(error, "/r", master.c_str(), master.c_str()));
  EXPECT_FALSE(open_channel_counter(counter, error, paths));
  EXPECT_STREQ(error.message, "MapFile: Could not create file-mapping object.");
  ::rmdir(("/dev/shm/" + name).c_str());
}

// With /dev/shm full (a container's 64 MB fills easily), the first write
// to a sparse block killed the host with SIGBUS: its page is reserved when
// the block is set up, so Init fails instead.
TEST_F(SharedCounterTest, AFullSharedMemoryFileSystemFailsInitInsteadOfCrashingIt) {
  test::TempDir tmp("/tmp");  // not under the /dev/shm replaced below
  std::string root = tmp / "root";
  int status = test::run_in_child([&] {
    // A tiny /dev/shm of this process's own, filled up.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", "/dev/shm", "tmpfs", 0, "size=8k") != 0)
      ::_exit(77);
    int filler = ::open("/dev/shm/filler", O_WRONLY | O_CREAT, 0600);
    char page[4096] = {1};
    while (::write(filler, page, sizeof page) > 0) {
    }
    ::close(filler);
    MasterState master_state;
    EXPECT_FALSE(master_init(master_state, root.c_str(), master.c_str()));
    EXPECT_STREQ(master_state.error.message, "MapFile: Could not create file-mapping object.");
    FollowerState follower_state;
    EXPECT_FALSE(follower_init(follower_state, root.c_str(), "F", master.c_str()));
    EXPECT_STREQ(follower_state.error.message, "MapFile: Could not create file-mapping object.");
    EXPECT_EQ(follower_state.error.code, -1);
  });
  if (status == 77) GTEST_SKIP() << "needs root: mounts a small /dev/shm in a private mount namespace";
  EXPECT_EQ(status, 0);  // 135: SIGBUS
}

}  // namespace
}  // namespace zeb
