#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

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

TEST_F(MasterTest, InitOnAnEmptyRootCreatesTheTreeAndPublishesZero) {
  ASSERT_EQ(init(), 1);
  EXPECT_TRUE(test::exists(system_dir()));
  EXPECT_EQ(state.count, 0);
  EXPECT_EQ(published(), 0);
  EXPECT_EQ(state.error.code, 0);
}

TEST_F(MasterTest, EachWriteLaysDownTheNextRecordThenItsIndexThenTheCount) {
  ASSERT_EQ(init(), 1);
  for (int n = 1; n <= 3; ++n) {
    ASSERT_EQ(write(n), 1) << message();
    TradeRecord expected = test::sample_record(n);
    std::vector<unsigned char> bytes = test::read_bytes(record_path("00000" + std::to_string(n)));
    ASSERT_EQ(bytes.size(), 80u);
    EXPECT_EQ(std::memcmp(bytes.data(), &expected, 80), 0);
    EXPECT_EQ(test::read_text(index_path(master)), std::to_string(n));
    EXPECT_EQ(published(), n);
  }
}

TEST_F(MasterTest, OnlyCmdStagedGivesAFileOfZerosAfterIt) {
  ASSERT_EQ(init(), 1);
  state.staged.cmd = 3;
  ASSERT_EQ(master_write(state), 1);
  std::vector<unsigned char> bytes = test::read_bytes(record_path("000001"));
  ASSERT_EQ(bytes.size(), 80u);
  EXPECT_EQ(bytes[0], 3);
  for (size_t i = 1; i < 80; ++i) ASSERT_EQ(bytes[i], 0) << "byte " << i;
}

TEST_F(MasterTest, TwoWritesWithoutSettersGiveIdenticalConsecutiveRecords) {
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(write(5), 1);
  ASSERT_EQ(master_write(state), 1);
  EXPECT_EQ(test::read_bytes(record_path("000001")), test::read_bytes(record_path("000002")));
}

TEST_F(MasterTest, InitResumesAfterTheIndexedCount) {
  test::make_directory(system_dir());
  test::write_text(index_path(master), "41");
  ASSERT_EQ(init(), 1);
  EXPECT_EQ(published(), 41);
  ASSERT_EQ(write(42), 1);
  EXPECT_TRUE(test::exists(record_path("000042")));
  EXPECT_EQ(published(), 42);
}

TEST_F(MasterTest, InitOverwritesWhateverTheCounterHeld) {
  test::make_directory(system_dir());
  test::write_text(index_path(master), "8");
  SharedCounter other;
  ASSERT_TRUE(other.open(("zeb_" + master).c_str(), dir.path().c_str()));
  other.publish(500);
  ASSERT_EQ(init(), 1);
  EXPECT_EQ(other.read(), 8);
}

// A lost, emptied or rolled-back index must never make Write overwrite
// records or publish numbers followers have passed.
TEST_F(MasterTest, InitResumesAfterTheNewestRecordWhenTheIndexIsBehind) {
  ASSERT_EQ(init(), 1);
  for (int n = 1; n <= 3; ++n) ASSERT_EQ(write(n), 1);
  std::vector<unsigned char> third = test::read_bytes(record_path("000003"));
  state.counter.close();  // the first run ends: one master per name at a time

  for (const char* index_text : {"", "1", "garbage"}) {
    test::write_text(index_path(master), index_text);
    MasterState restarted;
    ASSERT_EQ(master_init(restarted, root.c_str(), master.c_str()), 1);
    EXPECT_EQ(restarted.count, 3) << "index '" << index_text << "'";
  }
  ::unlink(index_path(master).c_str());
  MasterState restarted;
  ASSERT_EQ(master_init(restarted, root.c_str(), master.c_str()), 1);
  EXPECT_EQ(published(), 3);
  restarted.staged = test::sample_record(4);
  ASSERT_EQ(master_write(restarted), 1);
  EXPECT_TRUE(test::exists(record_path("000004")));
  EXPECT_EQ(test::read_bytes(record_path("000003")), third);
}

TEST_F(MasterTest, EntriesCountAsRecordsTheWayFollowersReadThem) {
  test::make_directory(system_dir());
  test::write_text(record_path("7.txt"), "");
  test::make_directory(record_path("000009"));
  test::write_text(record_path("notes"), "");
  ASSERT_EQ(init(), 1);
  EXPECT_EQ(state.count, 9);
}

// A Write killed while writing its record leaves the file half written:
// numbering goes on after it, but the count published stays on a record
// followers can load.
TEST_F(MasterTest, InitPublishesNoFurtherThanTheNewestWholeRecord) {
  ASSERT_EQ(init(), 1);
  for (int n = 1; n <= 2; ++n) ASSERT_EQ(write(n), 1);
  test::write_text(record_path("000003"), std::string(40, 'x'));
  test::write_text(index_path(master), "1");
  state.counter.close();  // killed
  MasterState restarted;
  ASSERT_EQ(master_init(restarted, root.c_str(), master.c_str()), 1);
  EXPECT_EQ(restarted.count, 3);
  EXPECT_EQ(published(), 2);
  restarted.staged = test::sample_record(4);
  ASSERT_EQ(master_write(restarted), 1);
  EXPECT_TRUE(test::exists(record_path("000004")));
  EXPECT_EQ(published(), 4);
}

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

TEST_F(MasterTest, AnIndexAheadOfTheDirectoryWins) {
  test::make_directory(system_dir());
  test::write_text(record_path("000002"), std::string(80, 'x'));
  test::write_text(index_path(master), "10");
  ASSERT_EQ(init(), 1);
  EXPECT_EQ(state.count, 10);
}

TEST_F(MasterTest, WriteBeforeInitFails) {
  EXPECT_EQ(write(1), 0);
  EXPECT_EQ(state.error.code, -1);
  EXPECT_EQ(message(), "Write: could not get MapFile pointer.");
}

TEST_F(MasterTest, ARecordFileThatCannotBeCreatedLeavesAGapAndTheCountUnpublished) {
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(write(1), 1);
  test::make_directory(record_path("000002"));
  EXPECT_EQ(write(2), 0);
  EXPECT_EQ(message(), "Write: could not open " + record_path("000002") + " file.");
  EXPECT_EQ(published(), 1);
  EXPECT_EQ(test::read_text(index_path(master)), "1");
  ASSERT_EQ(write(3), 1);
  EXPECT_TRUE(test::exists(record_path("000003")));
  EXPECT_EQ(published(), 3);
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

// A host told 0 sends the trade again: the record of a Write that failed
// after writing its file is withdrawn, so no follower ever delivers it.
TEST_F(MasterTest, AnIndexThatCannotBeWrittenWithdrawsTheRecord) {
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(write(1), 1);
  FollowerState follower;
  ASSERT_EQ(follower_init(follower, root.c_str(), "F", master.c_str()), 1);
  ::unlink(index_path(master).c_str());
  test::make_directory(index_path(master));
  EXPECT_EQ(write(2), 0);
  EXPECT_EQ(message(), "WriteInd: could not open " + index_path(master) + " file.");
  EXPECT_EQ(test::read_bytes(record_path("000002")).size(), 0u);
  EXPECT_EQ(published(), 1);
  ::rmdir(index_path(master).c_str());
  ASSERT_EQ(write(3), 1);
  EXPECT_EQ(published(), 3);
  EXPECT_EQ(test::read_text(index_path(master)), "3");
  for (int n : {1, 3}) {
    ASSERT_EQ(follower_read(follower), 1) << follower.error.message;
    EXPECT_EQ(follower.received.ticket, test::sample_record(n).ticket);
    ASSERT_EQ(follower_commit(follower), 1);
  }
  EXPECT_EQ(follower_read(follower), 0);
  EXPECT_EQ(follower.error.code, 0);
}

TEST_F(MasterTest, WriteRecreatesDirectoriesRemovedBehindItsBack) {
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(write(1), 1);
  std::filesystem::remove_all(root);
  ASSERT_EQ(write(2), 1) << message();
  EXPECT_TRUE(test::exists(record_path("000002")));
  EXPECT_EQ(test::read_text(index_path(master)), "2");
}

TEST_F(MasterTest, AWriteWhoseDirectoriesCannotBeMadeChangesNothing) {
  root = dir / "parent/root";
  test::make_directory(dir / "parent");
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(write(1), 1);
  std::filesystem::remove_all(dir / "parent");
  EXPECT_EQ(write(2), 0);
  EXPECT_EQ(message(), "Write: CreateDirectory " + root + " failed");
  EXPECT_EQ(state.count, 1);
  EXPECT_EQ(published(), 1);
}

TEST_F(MasterTest, InitDirectoryFailureNamesThePath) {
  test::write_text(dir / "file", "");
  root = dir / "file";
  // Any entry of the root's name counts as present, but nothing can be
  // created under a plain file.
  EXPECT_EQ(init(), 0);
  EXPECT_EQ(message(), "Init: CreateDirectory " + master_dir() + " failed");
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

TEST_F(MasterTest, AFailedInitAfterASuccessfulOneLeavesNoCounterBehind) {
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(write(1), 1);
  std::string old_master = master;
  master = test::unique_name("m");
  std::string other_root = dir / "file/sub";
  test::write_text(dir / "file", "");
  EXPECT_EQ(master_init(state, other_root.c_str(), master.c_str()), 0);
  // The old channel's count must not be written under the new names.
  EXPECT_EQ(write(2), 0);
  EXPECT_EQ(message(), "Write: could not get MapFile pointer.");
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

TEST_F(MasterTest, NumbersNeverOverflow) {
  test::make_directory(system_dir());
  test::write_text(index_path(master), "2147483646");
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(write(1), 1);
  EXPECT_TRUE(test::exists(record_path("2147483647")));
  EXPECT_EQ(write(2), 0);
  EXPECT_EQ(message(), "Write: no record number is left after 2147483647.");
  EXPECT_EQ(published(), INT32_MAX);
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
