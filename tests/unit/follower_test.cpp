#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>

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
  // Lays down a record file by hand and raises the counter to `count`.
  void place(const std::string& name, const void* bytes, size_t size) {
    test::write_bytes(record_path(name), bytes, size);
  }
  void place_record(const std::string& name, int n) {
    TradeRecord record = test::sample_record(n);
    place(name, &record, sizeof record);
  }
  void set_counter(int32_t count) { writer.counter.publish(count); }
  std::string message() const { return state.error.message; }
  int32_t ticket() const { return state.received.ticket; }
};

TEST_F(FollowerTest, InitOnAnEmptyRootCreatesTheTreeAndStartsAtZero) {
  ASSERT_EQ(init(), 1);
  EXPECT_TRUE(test::exists(system_dir()));
  EXPECT_EQ(state.cursor, 0);
  EXPECT_EQ(published(), 0);
  EXPECT_EQ(follower_read(state), 0);
  EXPECT_EQ(state.error.code, 0);
}

TEST_F(FollowerTest, ReceivesEveryRecordInOrderAndCommitPersistsTheCursor) {
  start_master();
  ASSERT_EQ(init(), 1);
  publish(1, 3);
  for (int n = 1; n <= 3; ++n) {
    ASSERT_EQ(follower_read(state), 1) << message();
    TradeRecord expected = test::sample_record(n);
    EXPECT_TRUE(test::same_bytes(state.received, expected));
    EXPECT_EQ(state.pending, n);
    ASSERT_EQ(follower_commit(state), 1);
    EXPECT_EQ(state.cursor, n);
    EXPECT_EQ(test::read_text(index_path(follower)), std::to_string(n));
  }
  EXPECT_EQ(follower_read(state), 0);
  EXPECT_EQ(state.error.code, 0);
}

TEST_F(FollowerTest, ARecordReadButNotCommittedIsReadAgain) {
  start_master();
  publish(1, 7);
  test::make_directory(system_dir());
  test::write_text(index_path(follower), "5");
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(follower_read(state), 1);
  EXPECT_EQ(ticket(), 100006);
  ASSERT_EQ(follower_read(state), 1);
  EXPECT_EQ(ticket(), 100006);
  EXPECT_EQ(state.pending, 6);
  EXPECT_EQ(state.cursor, 5);
  // Also after a restart: the cursor on disk is the last committed number.
  FollowerState restarted;
  ASSERT_EQ(follower_init(restarted, root.c_str(), follower.c_str(), master.c_str()), 1);
  ASSERT_EQ(follower_read(restarted), 1);
  EXPECT_EQ(restarted.received.ticket, 100006);
}

TEST_F(FollowerTest, ACursorFileResumesAfterItsNumber) {
  start_master();
  publish(1, 14);
  test::write_text(index_path(follower), "12");
  ASSERT_EQ(init(), 1);
  EXPECT_EQ(state.cursor, 12);
  ASSERT_EQ(follower_read(state), 1);
  EXPECT_EQ(ticket(), 100013);
}

TEST_F(FollowerTest, NothingNewLeavesTheReceivedRecordAlone) {
  start_master();
  publish(1, 5);
  ASSERT_EQ(init(), 1);
  for (int n = 1; n <= 5; ++n) {
    ASSERT_EQ(follower_read(state), 1);
    ASSERT_EQ(follower_commit(state), 1);
  }
  EXPECT_EQ(follower_read(state), 0);
  EXPECT_EQ(state.error.code, 0);
  EXPECT_EQ(ticket(), 100005);
  EXPECT_EQ(state.pending, 5);
}

TEST_F(FollowerTest, MissingNumbersArePassedOver) {
  start_master();
  ASSERT_EQ(init(), 1);
  place_record("000006", 6);
  place_record("000009", 9);
  set_counter(9);
  test::write_text(index_path(follower), "5");
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(follower_read(state), 1);
  EXPECT_EQ(ticket(), 100006);
  ASSERT_EQ(follower_commit(state), 1);
  ASSERT_EQ(follower_read(state), 1);
  EXPECT_EQ(ticket(), 100009);
  EXPECT_EQ(state.pending, 9);
}

TEST_F(FollowerTest, NamesThatReadAsNumbersAreCandidatesAsListed) {
  start_master();
  ASSERT_EQ(init(), 1);
  place_record("7.txt", 7);
  place_record("readme", 1);
  set_counter(7);
  ASSERT_EQ(follower_read(state), 1) << message();
  EXPECT_EQ(ticket(), 100007);
  EXPECT_EQ(state.pending, 7);
}

// A record above the count belongs to a Write that has not returned and may
// still withdraw it.
TEST_F(FollowerTest, NoRecordAboveThePublishedCountIsDelivered) {
  start_master();
  ASSERT_EQ(init(), 1);
  place_record("000003", 3);
  place_record("000012", 12);
  set_counter(3);
  ASSERT_EQ(follower_read(state), 1);
  ASSERT_EQ(follower_commit(state), 1);
  set_counter(5);
  EXPECT_EQ(follower_read(state), 0);
  EXPECT_EQ(message(), "Read: unknown exception");
  EXPECT_EQ(state.pending, 3);
  set_counter(12);
  ASSERT_EQ(follower_read(state), 1);
  EXPECT_EQ(state.pending, 12);
}

TEST_F(FollowerTest, ANumberedDirectoryCannotBeOpenedAsARecord) {
  start_master();
  ASSERT_EQ(init(), 1);
  test::make_directory(record_path("000001"));
  place_record("000002", 2);
  set_counter(2);
  EXPECT_EQ(follower_read(state), 0);
  EXPECT_EQ(state.error.code, -1);
  EXPECT_EQ(message(), "Read: could not open " + record_path("000001") + " file.");
  EXPECT_EQ(state.pending, 0);
}

// A channel started anew under a follower: its new records up to the cursor
// would be skipped, so Read says so for as long as the count is below it.
TEST_F(FollowerTest, ACursorAboveTheCounterIsReportedUntilTheCounterPassesIt) {
  start_master();
  test::write_text(index_path(follower), "10");
  ASSERT_EQ(init(), 1);
  publish(1, 5);
  EXPECT_EQ(follower_read(state), 0);
  EXPECT_EQ(state.error.code, -1);
  EXPECT_EQ(message(), "Read: cursor 10 is above the published count 5.");
  publish(6, 10);
  EXPECT_EQ(follower_read(state), 0);
  EXPECT_EQ(state.error.code, 0);
  publish(11, 11);
  ASSERT_EQ(follower_read(state), 1);
  EXPECT_EQ(ticket(), 100011);
}

TEST_F(FollowerTest, CounterAheadButEveryRecordAboveTheCursorGone) {
  start_master();
  publish(1, 4);
  ASSERT_EQ(init(), 1);
  for (const char* name : {"000001", "000002", "000003", "000004"}) ::unlink(record_path(name).c_str());
  EXPECT_EQ(follower_read(state), 0);
  EXPECT_EQ(message(), "Read: unknown exception");
}

// A file shorter than a record is what a failed Write leaves behind: it is
// passed over like a missing number and never changes the received record.
TEST_F(FollowerTest, ShortRecordFilesAreNeverHandedOut) {
  start_master();
  publish(1, 1);
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(follower_read(state), 1);
  ASSERT_EQ(follower_commit(state), 1);
  TradeRecord before = state.received;

  TradeRecord partial = test::sample_record(2);
  place("000002", &partial, 40);
  place("000003", "", 0);
  set_counter(3);
  EXPECT_EQ(follower_read(state), 0);
  EXPECT_EQ(message(), "Read: unknown exception");
  EXPECT_TRUE(test::same_bytes(state.received, before));
  EXPECT_EQ(state.pending, 1);

  place_record("000004", 4);
  set_counter(4);
  ASSERT_EQ(follower_read(state), 1);
  EXPECT_EQ(ticket(), 100004);
}

TEST_F(FollowerTest, LongRecordFilesGiveTheirFirstEightyBytes) {
  start_master();
  ASSERT_EQ(init(), 1);
  TradeRecord record = test::sample_record(1);
  std::string bytes(reinterpret_cast<const char*>(&record), sizeof record);
  bytes += std::string(40, 'x');
  place("000001", bytes.data(), bytes.size());
  set_counter(1);
  ASSERT_EQ(follower_read(state), 1);
  EXPECT_TRUE(test::same_bytes(state.received, record));
}

TEST_F(FollowerTest, ASymbolAreaWithoutNulIsCutAtNineteenCharacters) {
  start_master();
  ASSERT_EQ(init(), 1);
  TradeRecord record = test::sample_record(1);
  std::memset(record.symbol, 'S', sizeof record.symbol);
  place("000001", &record, sizeof record);
  set_counter(1);
  ASSERT_EQ(follower_read(state), 1);
  EXPECT_EQ(std::string(state.received.symbol), std::string(19, 'S'));
}

TEST_F(FollowerTest, ReadBeforeInitFails) {
  EXPECT_EQ(follower_read(state), 0);
  EXPECT_EQ(state.error.code, -1);
  EXPECT_EQ(message(), "Read: could not get MapFile pointer.");
}

TEST_F(FollowerTest, MissingDirectoriesAreReportedInOrderAndNeverCreated) {
  start_master();
  publish(1, 1);
  ASSERT_EQ(init(), 1);
  std::filesystem::remove_all(system_dir());
  EXPECT_EQ(follower_read(state), 0);
  EXPECT_EQ(message(), "Read: system directory not found: " + system_dir());
  std::filesystem::remove_all(master_dir());
  EXPECT_EQ(follower_read(state), 0);
  EXPECT_EQ(message(), "Read: master directory not found: " + master_dir());
  std::filesystem::remove_all(root);
  EXPECT_EQ(follower_read(state), 0);
  EXPECT_EQ(message(), "Read: root directory not found: " + root);
  EXPECT_FALSE(test::exists(root));
}

// Names Windows would fold into another name, open as a device or refuse to
// create are refused on every platform before anything is touched.
TEST_F(FollowerTest, NamesWindowsCannotHoldAsThemselvesAreRefusedBeforeAnyFileAccess) {
  const std::pair<std::string, std::string> refused[] = {
      {"copier.", "must not end with a dot or a space: \"copier.\""},
      {"copier ", "must not end with a dot or a space: \"copier \""},
      {"CON", "is a device name on Windows: CON"},
      {"nul.log", "is a device name on Windows: nul.log"},
      {"Aux .txt", "is a device name on Windows: Aux .txt"},
      {"prn.a.b", "is a device name on Windows: prn.a.b"},
      {"com1", "is a device name on Windows: com1"},
      {"COM9.txt", "is a device name on Windows: COM9.txt"},
      {"lPt5", "is a device name on Windows: lPt5"},
      {"f?x", "must not contain < > : \" | ? or *: f?x"},
      {"a:b", "must not contain < > : \" | ? or *: a:b"},
      {"<", "must not contain < > : \" | ? or *: <"},
      {"a>b", "must not contain < > : \" | ? or *: a>b"},
      {"\"q\"", "must not contain < > : \" | ? or *: \"q\""},
      {"a|b", "must not contain < > : \" | ? or *: a|b"},
      {"*", "must not contain < > : \" | ? or *: *"},
      {"tab\there", "must not contain control characters (0x09): tab\there"},
      {"\x1F", "must not contain control characters (0x1F): \x1F"},
      {"\x01x", "must not contain control characters (0x01): \x01x"},
  };
  for (const auto& [name, why] : refused) {
    EXPECT_EQ(follower_init(state, root.c_str(), name.c_str(), master.c_str()), 0) << name;
    EXPECT_EQ(message(), "Init: follower name " + why);
    EXPECT_EQ(state.error.code, -1);
    EXPECT_EQ(follower_init(state, root.c_str(), follower.c_str(), name.c_str()), 0) << name;
    EXPECT_EQ(message(), "Init: master name " + why);
    EXPECT_FALSE(test::exists("/dev/shm/zeb_" + name)) << name;
  }
  EXPECT_FALSE(test::exists(root));
  // Near misses are ordinary names.
  for (const char* name : {"COM10", "COM0", "CONSOLE", "LPT", "x.CON", "a.b", ".c", "NUL_1", "~$"})
    EXPECT_EQ(follower_init(state, root.c_str(), name, master.c_str()), 1) << message();
}

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

TEST_F(FollowerTest, ARecordHeldByAWriterCannotBeOpened) {
  start_master();
  ASSERT_EQ(init(), 1);
  place_record("000001", 1);
  set_counter(1);
  int fd = ::open(record_path("000001").c_str(), O_WRONLY);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  EXPECT_EQ(follower_read(state), 0);
  EXPECT_EQ(message(), "Read: could not open " + record_path("000001") + " file.");
  ::close(fd);
  EXPECT_EQ(follower_read(state), 1);
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

TEST_F(FollowerTest, CommitWritesThePendingNumberAgainAndAgain) {
  start_master();
  publish(1, 13);
  test::write_text(index_path(follower), "12");
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(follower_read(state), 1);
  ASSERT_EQ(follower_commit(state), 1);
  EXPECT_EQ(test::read_text(index_path(follower)), "13");
  ASSERT_EQ(follower_commit(state), 1);
  EXPECT_EQ(test::read_text(index_path(follower)), "13");
  EXPECT_EQ(state.cursor, 13);
}

// Committing before any record was loaded must never rewind the cursor to 0
// (which would replay every trade) nor carry a number from elsewhere.
TEST_F(FollowerTest, CommitWithoutARecordRewritesTheLoadedCursor) {
  start_master();
  publish(1, 20);
  test::write_text(index_path(follower), "12");
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(follower_commit(state), 1);
  EXPECT_EQ(test::read_text(index_path(follower)), "12");
  ASSERT_EQ(follower_read(state), 1);
  EXPECT_EQ(ticket(), 100013);

  // A record loaded from one channel is not committed into another.
  std::string other_master = test::unique_name("m");
  ASSERT_EQ(follower_init(state, root.c_str(), follower.c_str(), other_master.c_str()), 1);
  ASSERT_EQ(follower_commit(state), 1);
  EXPECT_EQ(test::read_text(root + "/" + other_master + "/system/" + follower), "0");
}

TEST_F(FollowerTest, AFailedCommitStillMovesTheCursorInMemory) {
  start_master();
  publish(1, 3);
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(follower_read(state), 1);
  test::make_directory(index_path(follower));
  EXPECT_EQ(follower_commit(state), 0);
  EXPECT_EQ(state.error.code, -1);
  EXPECT_EQ(message(), "WriteInd: could not open " + index_path(follower) + " file.");
  EXPECT_EQ(state.cursor, 1);
  ASSERT_EQ(follower_read(state), 1);
  EXPECT_EQ(ticket(), 100002);
}

TEST_F(FollowerTest, CommitBeforeInitWritesNothing) {
  EXPECT_EQ(follower_commit(state), 0);
  EXPECT_EQ(message(), "Commit: Init has not been called.");
}

TEST_F(FollowerTest, InitFailuresAreReported) {
  test::write_text(dir / "file", "");
  std::string bad_root = dir / "file/sub";
  EXPECT_EQ(follower_init(state, bad_root.c_str(), follower.c_str(), master.c_str()), 0);
  EXPECT_EQ(message(), "Init: CreateDirectory " + bad_root + " failed");

  std::string shm = "/dev/shm/zeb_" + master;
  ASSERT_EQ(::mkdir(shm.c_str(), 0700), 0);
  EXPECT_EQ(init(), 0);
  EXPECT_EQ(message(), "MapFile: Could not create file-mapping object.");
  EXPECT_EQ(follower_read(state), 0);
  EXPECT_EQ(message(), "Read: could not get MapFile pointer.");
  ::rmdir(shm.c_str());
}

// Reading such a cursor as 0 would replay every record ever published.
TEST_F(FollowerTest, InitRefusesACursorFileThatCannotBeRead) {
  start_master();
  publish(1, 2);
  test::make_directory(index_path(follower));
  EXPECT_EQ(init(), 0);
  EXPECT_EQ(message(), "Init: could not read " + index_path(follower) + " file.");
  EXPECT_EQ(follower_read(state), 0);
  EXPECT_EQ(message(), "Read: could not get MapFile pointer.");
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

TEST_F(FollowerTest, NamesMustBePlainComponents) {
  for (const char* name : {"", ".", "..", "a/b", "a\\b"}) {
    EXPECT_EQ(follower_init(state, root.c_str(), name, master.c_str()), 0) << name;
    EXPECT_EQ(message().rfind("Init: follower name ", 0), 0u) << message();
    EXPECT_EQ(follower_init(state, root.c_str(), follower.c_str(), name), 0) << name;
    EXPECT_EQ(message().rfind("Init: master name ", 0), 0u) << message();
  }
  EXPECT_EQ(follower_init(state, nullptr, follower.c_str(), master.c_str()), 0);
  EXPECT_EQ(follower_init(state, root.c_str(), nullptr, master.c_str()), 0);
  EXPECT_EQ(follower_init(state, root.c_str(), follower.c_str(), nullptr), 0);
  EXPECT_EQ(follower_init(state, root.c_str(), std::string(300, 'f').c_str(), master.c_str()), 0);
  EXPECT_FALSE(test::exists(root));
}

TEST_F(FollowerTest, ANegativeCursorReadsAsZero) {
  start_master();
  publish(1, 1);
  test::write_text(index_path(follower), "-3");
  ASSERT_EQ(init(), 1);
  EXPECT_EQ(state.cursor, 0);
  ASSERT_EQ(follower_read(state), 1);
  EXPECT_EQ(state.pending, 1);
}

// Its cursor would be the master's index, which its Commit would rewrite.
TEST_F(FollowerTest, AFollowerNamedAfterItsMasterIsRefused) {
  start_master();
  publish(1, 4);
  follower = master;
  EXPECT_EQ(init(), 0);
  EXPECT_EQ(message(), "Init: follower name must not be the master name: " + master);
  EXPECT_EQ(test::read_text(index_path(master)), "4");
}

// Seeding: the first holder of the counter seeds it from the master's index.
TEST_F(FollowerTest, AFollowerThatFindsNoHolderSeedsTheCounterFromTheMasterIndex) {
  {
    MasterState earlier_run;
    ASSERT_EQ(master_init(earlier_run, root.c_str(), master.c_str()), 1);
    for (int n = 1; n <= 3; ++n) {
      earlier_run.staged = test::sample_record(n);
      ASSERT_EQ(master_write(earlier_run), 1);
    }
  }  // the master has gone, and with it the counter
  ASSERT_EQ(init(), 1);
  EXPECT_FALSE(state.counter.already_existed());
  EXPECT_EQ(state.counter.read(), 3);
  ASSERT_EQ(follower_read(state), 1);
  EXPECT_EQ(ticket(), 100001);
}

// A follower that created the counter and died before seeding it leaves a
// held block at 0: trusting that would hide every earlier record from the
// followers that joined it, for as long as no master runs.
TEST_F(FollowerTest, AFollowerJoiningAHeldButUnseededCounterSeedsIt) {
  {
    MasterState earlier_run;
    ASSERT_EQ(master_init(earlier_run, root.c_str(), master.c_str()), 1);
    for (int n = 1; n <= 3; ++n) {
      earlier_run.staged = test::sample_record(n);
      ASSERT_EQ(master_write(earlier_run), 1);
    }
  }
  SharedCounter unseeded;  // the creator, which never got to seed it
  ASSERT_TRUE(unseeded.open(("zeb_" + master).c_str(), dir.path().c_str()));
  ASSERT_FALSE(unseeded.already_existed());
  ASSERT_EQ(init(), 1);
  EXPECT_TRUE(state.counter.already_existed());
  EXPECT_EQ(state.counter.read(), 3);
  ASSERT_EQ(follower_read(state), 1);
  EXPECT_EQ(ticket(), 100001);
}

TEST_F(FollowerTest, AFollowerJoiningALiveCounterTrustsIt) {
  start_master();
  publish(1, 3);
  test::write_text(index_path(master), "1");
  ASSERT_EQ(init(), 1);
  EXPECT_TRUE(state.counter.already_existed());
  EXPECT_EQ(state.counter.read(), 3);
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
