// The follower's logic where a case needs more than the library's exports
// show or POSIX tools to provoke it; its behaviour through the exports, on
// every system, is in tests/library.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "follower.h"
#include "master.h"
#include "support/channel_fixture.h"
#include "support/test_support.h"

namespace zeb {
namespace {

class FollowerTest : public test::ChannelTest {
 protected:
  MasterState writer;
  FollowerState state;
  std::string follower = "F1";

  int32_t init() { return follower_init(state, root.c_str(), follower.c_str(), master.c_str()); }
  void start_master() { ASSERT_EQ(master_init(writer, root.c_str(), master.c_str()), 1); }
  void publish(int from, int to) {
    for (int n = from; n <= to; ++n) {
      writer.staged = test::sample_record(n);
      ASSERT_EQ(master_write(writer), 1) << writer.error.message;
    }
  }
  void set_counter(int32_t count) { writer.counter.publish(count); }
  std::string message() const { return state.error.message; }
};

TEST_F(FollowerTest, AListingThatCannotStartIsReported) {
  start_master();
  publish(1, 1);
  ASSERT_EQ(init(), 1);
  EXPECT_EQ(test::run_in_child([&] {
              // With no descriptor left the existence tests still pass but
              // the directory cannot be opened for listing.
              struct rlimit limit = {0, 0};
              ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
              state.cursor = 0;
              ::unlink(record_path("000001").c_str());  // no fast route to the record
              EXPECT_EQ(follower_read(state), 0);
              EXPECT_EQ(std::string(state.error.message), "Read: FindFirstFile failed.");
            }),
            0);
}

TEST_F(FollowerTest, ARecordThatCannotBeReadIsReported) {
  start_master();
  ASSERT_EQ(init(), 1);
  set_counter(1);
  int status = test::run_in_child([&] {
    if (!test::place_unreadable_file(record_path("000001"))) ::_exit(77);
    EXPECT_EQ(follower_read(state), 0);
    EXPECT_EQ(message(), "Read: ReadFile " + record_path("000001") + " error.");
    EXPECT_EQ(state.pending, 0);
  });
  if (status == 77) GTEST_SKIP() << "needs root: binds a file over the record in a private mount namespace";
  EXPECT_EQ(status, 0);
}

TEST_F(FollowerTest, ACounterThatCannotBeCreatedFailsInit) {
  std::string shm = "/dev/shm/zeb_" + master;
  ASSERT_EQ(::mkdir(shm.c_str(), 0700), 0);
  EXPECT_EQ(init(), 0);
  EXPECT_EQ(message(), "MapFile: Could not create file-mapping object.");
  EXPECT_EQ(follower_read(state), 0);
  EXPECT_EQ(message(), "Read: could not get MapFile pointer.");
  ::rmdir(shm.c_str());
}

// A failed Init binds nothing: a Commit after it must not write the old
// channel's pending number into the new channel's index file, which would
// make a later follower there skip that many records.
TEST_F(FollowerTest, AFailedInitLeavesNothingBound) {
  start_master();
  publish(1, 2);
  std::string other = master + "-h";
  std::string shm = "/dev/shm/zeb_" + other;
  ASSERT_EQ(::mkdir(shm.c_str(), 0700), 0);  // H's counter cannot be opened
  for (const char* other_master : {other.c_str(), ".."}) {
    ASSERT_EQ(init(), 1);
    ASSERT_EQ(follower_read(state), 1);
    EXPECT_EQ(follower_init(state, root.c_str(), follower.c_str(), other_master), 0);
    EXPECT_EQ(follower_commit(state), 0);
    EXPECT_EQ(message(), "Commit: Init has not been called.");
    EXPECT_EQ(follower_read(state), 0);
    EXPECT_EQ(message(), "Read: could not get MapFile pointer.");
  }
  ::rmdir(shm.c_str());
  EXPECT_FALSE(test::exists(test::join(test::join(test::join(root, other), "system"), follower)));
  EXPECT_FALSE(test::exists(index_path(follower)));
}

// The out bridge reads ahead of its cursor, from any number, and commits
// the records the server stored; the cursor never goes back, and a count
// that falls below the records read ahead is a channel started anew.
TEST_F(FollowerTest, ReadingAheadLeavesTheCursorUntilACommitAtANumber) {
  start_master();
  publish(1, 3);
  ::unlink(record_path("000002").c_str());  // a gap
  ASSERT_EQ(init(), 1);
  LoadedRecord loaded;
  ASSERT_EQ(follower_read_after(state, 0, loaded), 1);
  ASSERT_EQ(follower_read_after(state, loaded.number, loaded), 1) << message();
  EXPECT_EQ(loaded.number, 3);
  EXPECT_EQ(loaded.record.ticket, test::sample_record(3).ticket);
  EXPECT_EQ(follower_read_after(state, 3, loaded), 0);
  EXPECT_EQ(state.error.code, 0);
  EXPECT_EQ(state.cursor, 0);

  ASSERT_EQ(follower_commit_at(state, 3), 1);
  EXPECT_EQ(test::read_text(index_path(follower)), "3");
  EXPECT_EQ(follower_read_after(state, 0, loaded), 1) << "a record below the cursor is read again";
  EXPECT_EQ(follower_commit_at(state, 1), 0);
  EXPECT_EQ(message(), "Commit: record 1 is below the cursor 3.");
  set_counter(2);
  EXPECT_EQ(follower_read_after(state, 1, loaded), 0);
  EXPECT_EQ(message(), "Read: cursor 3 is above the published count 2.");
}

// systemd-logind (RemoveIPC=yes) or an administrator may remove the
// counter's name while participants hold it. The master went on publishing
// into the removed block, which a follower starting later never saw.
TEST_F(FollowerTest, ParticipantsMeetAgainAfterTheCounterNameWasRemoved) {
  start_master();
  publish(1, 2);
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(::shm_unlink(("/zeb_" + master).c_str()), 0);
  FollowerState late;  // makes a new block, seeded from the master index
  ASSERT_EQ(follower_init(late, root.c_str(), "F2", master.c_str()), 1);
  publish(3, 4);  // the master joins the name again at its next Write
  int32_t live = 0;
  EXPECT_EQ(platform::counter_peek(("zeb_" + master).c_str(), &live), platform::Peek::live);
  EXPECT_EQ(live, 4);
  // The early follower, still on the removed block, finds the name again
  // within its check interval.
  for (FollowerState* reader : {&late, &state}) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (int n = 1; n <= 4;) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "stuck before record " << n;
      if (follower_read(*reader) == 0) {
        ASSERT_EQ(reader->error.code, 0) << reader->error.message;
        ::usleep(1000);
        continue;
      }
      ASSERT_EQ(reader->received.ticket, test::sample_record(n).ticket);
      ASSERT_EQ(follower_commit(*reader), 1);
      ++n;
    }
  }
}

}  // namespace
}  // namespace zeb
