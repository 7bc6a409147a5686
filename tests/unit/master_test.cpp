// The master's logic where a case needs more than the library's exports
// show (a numbered write) or POSIX tools to provoke it; its behaviour through
// the exports, on every system, is in tests/library.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "follower.h"
#include "master.h"
#include "support/channel_fixture.h"
#include "support/test_support.h"

namespace zeb {
namespace {

class MasterTest : public test::ChannelTest {
 protected:
  MasterState state;

  int32_t init() { return master_init(state, root.c_str(), master.c_str()); }
  int32_t write(int n) {
    state.staged = test::sample_record(n);
    return master_write(state);
  }
  std::string message() const { return state.error.message; }
};

// A copy of a channel keeps its source's numbers: gaps stay gaps, a number
// not above the published count is refused, and a half-written file above
// it (a copy killed while writing) is replaced rather than passed over.
TEST_F(MasterTest, ANumberedWriteKeepsTheNumberGivenAndNeverGoesBack) {
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(master_write_numbered(state, 3, test::sample_record(3)), 1) << message();
  EXPECT_FALSE(test::exists(record_path("000001")));
  EXPECT_EQ(published(), 3);
  for (int32_t stale : {3, 2}) {
    EXPECT_EQ(master_write_numbered(state, stale, test::sample_record(99)), 0);
    EXPECT_EQ(message(), "Write: record " + std::to_string(stale) + " is not above the published count 3.");
  }
  TradeRecord kept = test::sample_record(3);
  EXPECT_EQ(std::memcmp(test::read_bytes(record_path("000003")).data(), &kept, 80), 0);

  test::write_text(record_path("000006"), std::string(40, 'x'));
  state.counter.close();  // killed
  ASSERT_EQ(init(), 1);
  EXPECT_EQ(published(), 3);
  ASSERT_EQ(master_write_numbered(state, 6, test::sample_record(6)), 1) << message();
  TradeRecord whole = test::sample_record(6);
  EXPECT_EQ(std::memcmp(test::read_bytes(record_path("000006")).data(), &whole, 80), 0);
  EXPECT_EQ(published(), 6);
  EXPECT_EQ(test::read_text(index_path(master)), "6");
}

// The in bridge writes a burst of records and publishes them at once:
// followers see none before, and a crash in between leaves whole records
// that the next Init publishes.
TEST_F(MasterTest, RecordsWrittenUnpublishedAppearTogether) {
  ASSERT_EQ(init(), 1);
  for (int32_t n : {2, 4, 4})
    ASSERT_EQ(master_write_unpublished(state, n, test::sample_record(n)), 1) << message();
  EXPECT_EQ(master_write_unpublished(state, 3, test::sample_record(3)), 0);
  EXPECT_EQ(message(), "Write: record 3 is below record 4, written before it.");
  EXPECT_EQ(published(), 0);
  ASSERT_EQ(master_publish_written(state), 1) << message();
  EXPECT_EQ(published(), 4);
  EXPECT_EQ(test::read_text(index_path(master)), "4");

  ASSERT_EQ(master_write_unpublished(state, 5, test::sample_record(5)), 1);
  state.counter.close();  // killed
  ASSERT_EQ(init(), 1);
  EXPECT_EQ(published(), 5);
}

TEST_F(MasterTest, AFailedRecordWriteKeepsTheCountUnpublished) {
  EXPECT_EQ(test::run_in_child([&] {
              ASSERT_EQ(init(), 1);
              test::limit_file_size(40);  // half a record
              EXPECT_EQ(write(1), 0);
              EXPECT_EQ(message(), "Write: WriteFile " + record_path("000001") + " failed.");
              EXPECT_EQ(published(), 0);
              EXPECT_EQ(test::read_text(record_path("000001")), "");  // withdrawn
              test::limit_file_size(0);
              ASSERT_EQ(write(2), 1);
              EXPECT_EQ(published(), 2);
            }),
            0);
}

TEST_F(MasterTest, CounterFailureIsReportedAndWriteRefusesAfterwards) {
  std::string shm = "/dev/shm/zeb_" + master;
  ASSERT_EQ(::mkdir(shm.c_str(), 0700), 0);
  EXPECT_EQ(init(), 0);
  EXPECT_EQ(message(), "MapFile: Could not create file-mapping object.");
  EXPECT_EQ(write(1), 0);
  EXPECT_EQ(message(), "Write: could not get MapFile pointer.");
  ::rmdir(shm.c_str());
}

// A refused Init unbinds the channel: a Write after it would otherwise go
// on numbering the old channel for a host that believes it moved.
TEST_F(MasterTest, RefusedArgumentsLeaveNothingBound) {
  const char* names[] = {nullptr, "", ".", "..", "a/b", "a\\b", "m.", "m ", "Nul", "com3.x", "m?", "m\n"};
  for (const char* name : names) {
    ASSERT_EQ(init(), 1);
    EXPECT_EQ(master_init(state, root.c_str(), name), 0);
    EXPECT_EQ(std::string(message()).rfind("Init: master name ", 0), 0u) << message();
  }
  EXPECT_EQ(master_init(state, nullptr, master.c_str()), 0);
  EXPECT_EQ(master_init(state, std::string(300, 'r').c_str(), master.c_str()), 0);
  EXPECT_EQ(master_init(state, (dir / std::string(220, 'r')).c_str(), master.c_str()), 0);
  EXPECT_EQ(std::string(message()).rfind("Init: paths under root ", 0), 0u) << message();
  EXPECT_EQ(write(1), 0);
  EXPECT_EQ(message(), "Write: could not get MapFile pointer.");
  EXPECT_FALSE(test::exists(record_path("000001")));
  EXPECT_FALSE(test::exists(index_path(master)));
  // Nor does the refused Init keep the master's name from anyone else.
  MasterState other;
  EXPECT_EQ(master_init(other, root.c_str(), master.c_str()), 1);
}

// One master per master name on the machine: a second one would take the
// same numbers, or, under another root, share the count named after it.
TEST_F(MasterTest, AMasterInAnotherProcessKeepsTheNameUntilItDies) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t holder = ::fork();
  if (holder == 0) {
    ::close(ready[0]);
    MasterState running;
    if (master_init(running, root.c_str(), master.c_str()) == 1) (void)!::write(ready[1], "r", 1);
    ::pause();
    ::_exit(0);
  }
  ::close(ready[1]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ::close(ready[0]);

  test::TempDir other_root;
  for (const std::string& where : {root, other_root.path()}) {
    EXPECT_EQ(master_init(state, where.c_str(), master.c_str()), 0);
    EXPECT_EQ(state.error.code, -1);
    EXPECT_EQ(message(), "Init: another master named " + master + " is running on this machine.");
  }
  EXPECT_EQ(write(1), 0);
  EXPECT_FALSE(test::exists(record_path("000001")));

  ::kill(holder, SIGKILL);
  test::wait_for(holder);
  ASSERT_EQ(init(), 1) << message();
  ASSERT_EQ(init(), 1) << message();  // its own re-Init is no second master
  MasterState second;
  EXPECT_EQ(master_init(second, root.c_str(), master.c_str()), 0);
  // Moving to another name gives up the first.
  ASSERT_EQ(master_init(state, root.c_str(), (master + "-next").c_str()), 1);
  EXPECT_EQ(master_init(second, root.c_str(), master.c_str()), 1) << second.error.message;
}

// The counter's name removed under a running master (systemd-logind's
// RemoveIPC, an administrator): a second master of the name stays off its
// root, and the running one never writes a number someone else used.
TEST_F(MasterTest, ARemovedCounterNameLetsNoSecondMasterInAndNoNumberBeReused) {
  ASSERT_EQ(init(), 1);
  for (int n = 1; n <= 3; ++n) ASSERT_EQ(write(n), 1);
  ASSERT_EQ(::shm_unlink(("/zeb_" + master).c_str()), 0);
  MasterState second;
  EXPECT_EQ(master_init(second, root.c_str(), master.c_str()), 0);
  EXPECT_EQ(std::string(second.error.message),
            "Init: another master named " + master + " is running on this machine.");

  // Under another root nothing keeps it out: it publishes up to 10 on the
  // new counter, which a follower there keeps alive after it leaves.
  test::TempDir other_root;
  ASSERT_EQ(master_init(second, other_root.path().c_str(), master.c_str()), 1) << second.error.message;
  second.counter.publish(10);
  FollowerState keeper;
  ASSERT_EQ(follower_init(keeper, other_root.path().c_str(), "F", master.c_str()), 1);
  second.counter.close();
  ASSERT_EQ(write(4), 1) << message();
  EXPECT_TRUE(test::exists(record_path("000011")));
  EXPECT_EQ(published(), 11);
  // Removed again, while a record 15 turned up on disk.
  ASSERT_EQ(::shm_unlink(("/zeb_" + master).c_str()), 0);
  test::write_bytes(record_path("000015"), &second.staged, sizeof second.staged);
  ASSERT_EQ(write(5), 1) << message();
  EXPECT_TRUE(test::exists(record_path("000016")));
}

// What zeb creates under a root takes the root's access, never the umask's;
// a root it creates is its owner's alone; a directory others may write
// without the sticky bit is refused, by name.
TEST_F(MasterTest, TheChannelTakesItsRootsAccess) {
  auto mode_of = [](const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0u;
  };
  EXPECT_EQ(test::run_in_child([&] {
              ::umask(0);
              ASSERT_EQ(init(), 1);
              ASSERT_EQ(write(1), 1);
              for (const std::string& path : {root, master_dir(), system_dir()}) EXPECT_EQ(mode_of(path), 0700u);
              for (const std::string& path : {record_path("000001"), index_path(master), record_path("master.lock"),
                                              "/dev/shm/zeb_" + master})
                EXPECT_EQ(mode_of(path), 0600u) << path;
            }),
            0);
  test::remove_all(root);
  test::make_directory(root);
  ASSERT_EQ(::chmod(root.c_str(), 0777), 0);
  EXPECT_EQ(init(), 0);
  EXPECT_EQ(message(), "Init: directory " + root + " may be written by other users but has no sticky bit.");
  ASSERT_EQ(::chmod(root.c_str(), 0750), 0);
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(write(1), 1);
  EXPECT_EQ(mode_of(master_dir()), 0750u);
  EXPECT_EQ(mode_of(record_path("000001")), 0640u);
}

TEST_F(MasterTest, ParticipantsStartingTogetherOnAnEmptyRootAllSucceed) {
  std::vector<pid_t> children;
  for (int i = 0; i < 8; ++i) {
    pid_t pid = ::fork();
    if (pid == 0) {
      // Same root and master: every Init races to create the same tree.
      if (i == 0) {
        MasterState mine;
        ::_exit(master_init(mine, root.c_str(), master.c_str()) == 1 ? 0 : 1);
      }
      FollowerState mine;
      std::string name = "f" + std::to_string(i);
      ::_exit(follower_init(mine, root.c_str(), name.c_str(), master.c_str()) == 1 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) EXPECT_EQ(test::wait_for(pid), 0);
}

}  // namespace
}  // namespace zeb
