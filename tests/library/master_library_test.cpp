// The master library through its exports, as a host calls them, on every
// system.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "support/library_fixture.h"

namespace zeb::test {
namespace {

using MasterLibraryTest = LibraryTest;

TEST_F(MasterLibraryTest, ReportsStartEmptyAndEveryCallButTheQueriesClearsThem) {
  EXPECT_EQ(zebmaster.ErrorCode(), 0);
  EXPECT_STREQ(zebmaster.ErrorMsg(), "");
  const char* buffer = zebmaster.ErrorMsg();
  EXPECT_EQ(zebmaster.Write(), 0);
  EXPECT_EQ(zebmaster.ErrorCode(), -1);
  EXPECT_STREQ(zebmaster.ErrorMsg(), "Write: could not get MapFile pointer.");
  // Asking again changes nothing.
  EXPECT_EQ(zebmaster.ErrorCode(), -1);
  EXPECT_EQ(zebmaster.ErrorMsg(), buffer);
  zebmaster.SetTicket(5);
  EXPECT_EQ(zebmaster.ErrorCode(), 0);
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(buffer[i], 0) << "byte " << i;
}

TEST_F(MasterLibraryTest, TheRecordFileIsTheStagedRecordByteForByte) {
  zebmaster.SetCmd(3);  // staged before Init, which keeps it
  start_master();
  ASSERT_EQ(zebmaster.Write(), 1);
  std::vector<unsigned char> only_cmd = read_bytes(record_path("000001"));
  ASSERT_EQ(only_cmd.size(), 80u);
  EXPECT_EQ(only_cmd[0], 3);
  for (size_t i = 1; i < 80; ++i) ASSERT_EQ(only_cmd[i], 0) << "byte " << i;

  // A Write keeps the staged record: the next one without setters repeats it.
  TradeRecord expected = sample_record(7);
  tools::stage_record(zebmaster, expected);
  ASSERT_EQ(zebmaster.Write(), 1);
  ASSERT_EQ(zebmaster.Write(), 1);
  for (const char* name : {"000002", "000003"}) {
    std::vector<unsigned char> bytes = read_bytes(record_path(name));
    ASSERT_EQ(bytes.size(), 80u) << name;
    EXPECT_EQ(std::memcmp(bytes.data(), &expected, 80), 0) << name;
  }

  // A long symbol stops at 19 characters, never reaching Lot; a shorter one
  // leaves the bytes after its NUL as they were.
  zebmaster.SetSymbol(std::string(25, 'S').c_str());
  zebmaster.SetSymbol("GBP");
  ASSERT_EQ(zebmaster.Write(), 1);
  std::vector<unsigned char> bytes = read_bytes(record_path("000004"));
  EXPECT_EQ(std::memcmp(bytes.data() + 12, "GBP\0SSSSSSSSSSSSSSS\0", 20), 0);
  EXPECT_EQ(std::memcmp(bytes.data() + 32, &expected.lot, 48), 0);
}

TEST_F(MasterLibraryTest, EachWriteTakesTheNextNumberThenIndexesAndPublishesIt) {
  start_master();
  EXPECT_TRUE(exists(system_dir()));
  EXPECT_EQ(live_counter(master), 0);
  for (int n = 1; n <= 3; ++n) {
    publish(n, n);
    EXPECT_EQ(read_bytes(record_path(record_name(n))).size(), 80u);
    EXPECT_EQ(read_text(index_path(master)), std::to_string(n));
    EXPECT_EQ(live_counter(master), n);
  }
}

// An index file lost, emptied or rolled back behind the master's back never
// makes it overwrite records or publish numbers followers have passed.
TEST_F(MasterLibraryTest, InitResumesAfterTheIndexOrTheNewestRecordOnDisk) {
  make_directory(system_dir());
  write_text(index_path(master), "41");
  start_master();
  EXPECT_EQ(live_counter(master), 41);
  publish(42, 42);
  std::vector<unsigned char> newest = read_bytes(record_path("000042"));
  ASSERT_EQ(newest.size(), 80u);
  for (const char* index_text : {"", "1", "garbage", "removed"}) {
    restart_master();
    if (std::string(index_text) == "removed") std::remove(index_path(master).c_str());
    else write_text(index_path(master), index_text);
    start_master();
    EXPECT_EQ(live_counter(master), 42) << "index '" << index_text << "'";
  }
  publish(43, 43);
  EXPECT_TRUE(exists(record_path("000043")));
  EXPECT_EQ(read_bytes(record_path("000042")), newest);
}

TEST_F(MasterLibraryTest, AnIndexAheadOfTheDirectoryWinsWhateverTheCounterHeld) {
  make_directory(system_dir());
  place_record("000002", 2);
  write_text(index_path(master), "10");
  set_counter(500);
  start_master();
  EXPECT_EQ(live_counter(master), 10);
  publish(11, 11);
  EXPECT_TRUE(exists(record_path("000011")));
}

// A Write killed while writing its record leaves the file half written:
// numbering goes on after it, as after any entry whose name reads as a
// number the way followers read names, but the count published stays on a
// record followers can load.
TEST_F(MasterLibraryTest, InitNumbersAfterEveryEntryButPublishesOnlyWholeRecords) {
  start_master();
  publish(1, 2);
  write_text(record_path("000003"), std::string(40, 'x'));
  write_text(index_path(master), "1");
  restart_master();
  start_master();
  EXPECT_EQ(live_counter(master), 2);
  publish(4, 4);
  EXPECT_TRUE(exists(record_path("000004")));
  EXPECT_EQ(live_counter(master), 4);

  write_text(record_path("7.txt"), "");
  make_directory(record_path("000009"));
  write_text(record_path("notes"), "");
  restart_master();
  start_master();
  EXPECT_EQ(live_counter(master), 4);
  publish(10, 10);
  EXPECT_TRUE(exists(record_path("000010")));
}

TEST_F(MasterLibraryTest, ARecordFileThatCannotBeCreatedLeavesAGapAndTheCountUnpublished) {
  start_master();
  publish(1, 1);
  make_directory(record_path("000002"));
  EXPECT_EQ(zebmaster.Write(), 0);
  EXPECT_EQ(zebmaster.ErrorCode(), -1);
  EXPECT_EQ(master_message(), "Write: could not open " + record_path("000002") + " file.");
  EXPECT_EQ(live_counter(master), 1);
  EXPECT_EQ(read_text(index_path(master)), "1");
  publish(3, 3);
  EXPECT_TRUE(exists(record_path("000003")));
  EXPECT_EQ(live_counter(master), 3);
}

// A program holding the next record file open for reading past every retry
// (a scanner, an indexer) makes Write fail; the file stays as it was.
TEST_F(MasterLibraryTest, AReaderHoldingTheNextRecordFileMakesWriteFail) {
  start_master();
  publish(1, 1);
  write_text(record_path("000002"), "held");
  {
    HeldFile held(record_path("000002"), HeldFile::reading);
    EXPECT_EQ(zebmaster.Write(), 0);
    EXPECT_EQ(master_message(), "Write: could not open " + record_path("000002") + " file.");
    EXPECT_EQ(read_text(record_path("000002")), "held");
    EXPECT_EQ(live_counter(master), 1);
  }
  publish(3, 3);
  EXPECT_EQ(live_counter(master), 3);
}

// A host told 0 sends the trade again: the record of a Write that failed
// after writing its file is withdrawn, so no follower ever delivers it.
TEST_F(MasterLibraryTest, AnIndexThatCannotBeWrittenWithdrawsTheRecord) {
  start_master();
  publish(1, 1);
  ASSERT_EQ(init_follower(), 1);
  std::remove(index_path(master).c_str());
  make_directory(index_path(master));
  EXPECT_EQ(zebmaster.Write(), 0);
  EXPECT_EQ(master_message(), "WriteInd: could not open " + index_path(master) + " file.");
  EXPECT_EQ(read_bytes(record_path("000002")).size(), 0u);
  EXPECT_EQ(live_counter(master), 1);
  remove_all(index_path(master));
  publish(3, 3);
  EXPECT_EQ(live_counter(master), 3);
  EXPECT_EQ(read_text(index_path(master)), "3");
  for (int n : {1, 3}) {
    ASSERT_EQ(zebfollower.Read(), 1) << follower_message();
    EXPECT_EQ(received_number(), n);
    ASSERT_EQ(zebfollower.Commit(), 1);
  }
  EXPECT_EQ(zebfollower.Read(), 0);
  EXPECT_EQ(zebfollower.ErrorCode(), 0);
}

TEST_F(MasterLibraryTest, WriteRecreatesDirectoriesRemovedBehindItsBack) {
  start_master();
  publish(1, 1);
  remove_all(root);
  publish(2, 2);
  EXPECT_TRUE(exists(record_path("000002")));
  EXPECT_EQ(read_text(index_path(master)), "2");
}

// Init and Write name the directory they could not make. A failed Init
// leaves no channel bound, so the old channel's count is not written under
// the new names; a failed Write takes no number.
TEST_F(MasterLibraryTest, DirectoryFailuresNameThePath) {
  start_master();
  publish(1, 1);
  write_text(dir / "file", "");
  // Any entry of the root's name counts as present, but nothing can be made
  // under a plain file.
  root = dir / "file";
  EXPECT_EQ(init_master(), 0);
  EXPECT_EQ(master_message(), "Init: CreateDirectory " + master_dir() + " failed");
  root = join(dir / "file", "sub");
  EXPECT_EQ(init_master(), 0);
  EXPECT_EQ(master_message(), "Init: CreateDirectory " + root + " failed");
  EXPECT_EQ(zebmaster.Write(), 0);
  EXPECT_EQ(master_message(), "Write: could not get MapFile pointer.");

  // Only one level is ever made: a root whose parent has gone fails.
  root = join(dir / "parent", "root");
  make_directory(dir / "parent");
  start_master();
  publish(1, 1);
  remove_all(dir / "parent");
  EXPECT_EQ(zebmaster.Write(), 0);
  EXPECT_EQ(master_message(), "Write: CreateDirectory " + root + " failed");
  EXPECT_EQ(live_counter(master), 1);
  make_directory(dir / "parent");
  publish(2, 2);
  EXPECT_TRUE(exists(record_path("000002")));
}

TEST_F(MasterLibraryTest, BadArgumentsAreRefusedBeforeAnythingIsTouched) {
  EXPECT_EQ(zebmaster.Init(nullptr, master.c_str()), 0);
  EXPECT_EQ(zebmaster.ErrorCode(), -1);
  EXPECT_EQ(master_message(), "Init: root is a null pointer.");
  EXPECT_EQ(zebmaster.Init(root.c_str(), nullptr), 0);
  EXPECT_EQ(master_message(), "Init: master name is a null pointer.");
  EXPECT_EQ(zebmaster.Init(root.c_str(), "a\\b"), 0);
  EXPECT_EQ(master_message(), "Init: master name must not contain '/' or '\\': a\\b");
  EXPECT_EQ(zebmaster.Init(root.c_str(), std::string(300, 'm').c_str()), 0);
  EXPECT_FALSE(exists(root));
  // A wildcard is refused before any search for it could match another
  // directory.
  make_directory(join(root, "abc"));
  EXPECT_EQ(zebmaster.Init(root.c_str(), "a*c"), 0);
  EXPECT_EQ(master_message(), "Init: master name must not contain < > : \" | ? or *: a*c");
  // SetSymbol takes a null pointer as an empty symbol.
  zebmaster.SetSymbol("EURUSD");
  zebmaster.SetSymbol(nullptr);
  start_master();
  ASSERT_EQ(zebmaster.Write(), 1);
  EXPECT_EQ(read_bytes(record_path("000001"))[12], 0);
}

TEST_F(MasterLibraryTest, NumbersNeverOverflow) {
  make_directory(system_dir());
  write_text(index_path(master), "2147483646");
  start_master();
  publish(1, 1);
  EXPECT_TRUE(exists(record_path("2147483647")));
  EXPECT_EQ(zebmaster.Write(), 0);
  EXPECT_EQ(master_message(), "Write: no record number is left after 2147483647.");
  EXPECT_EQ(live_counter(master), INT32_MAX);
}

// Hosts often run each script on a thread of its own. Writes from several
// threads at once take turns in the library: each Write that returned 1 has
// a record file of its own, numbered without gap or repeat, and a follower
// receives each once.
TEST_F(MasterLibraryTest, WritesFromSeveralThreadsAtOnceEachTakeANumberOfTheirOwn) {
  constexpr int kThreads = 4, kWrites = 100;
  start_master();
  zebmaster_api unchecked;
  ASSERT_EQ(load(unchecked, false), nullptr);
  std::atomic<int> written{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < kWrites; ++i) written += unchecked.Write();
    });
  for (std::thread& thread : threads) thread.join();
  zebmaster_unload(&unchecked);
  EXPECT_EQ(written, kThreads * kWrites);
  for (int n = 1; n <= kThreads * kWrites; ++n)
    ASSERT_EQ(read_bytes(record_path(record_name(n))).size(), 80u) << n;
  EXPECT_EQ(read_text(index_path(master)), std::to_string(kThreads * kWrites));

  ASSERT_EQ(init_follower(), 1);
  int received = 0;
  while (zebfollower.Read() == 1) {
    ASSERT_LT(received, written) << "a record came twice or from nowhere";
    ASSERT_EQ(zebfollower.Commit(), 1);
    ++received;
  }
  EXPECT_EQ(zebfollower.ErrorCode(), 0) << follower_message();
  EXPECT_EQ(received, written);
}

}  // namespace
}  // namespace zeb::test
