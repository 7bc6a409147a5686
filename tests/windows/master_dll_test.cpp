// zebmaster.dll through its exports, on Windows paths. Each case loads the
// library afresh.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "dll_channel_fixture.h"

namespace zeb::wintest {
namespace {

class MasterDllTest : public DllChannelTest {
 protected:
  Master lib;
  const MasterApi& api = lib.api;

  int init() { return api.Init(root.c_str(), master.c_str()); }
  std::string message() const { return api.ErrorMsg(); }
};

TEST_F(MasterDllTest, ReportsStartEmptyAndEveryCallButTheQueriesClearsThem) {
  EXPECT_EQ(api.ErrorCode(), 0);
  EXPECT_STREQ(api.ErrorMsg(), "");
  const char* buffer = api.ErrorMsg();
  EXPECT_EQ(api.Write(), 0);
  EXPECT_EQ(api.ErrorCode(), -1);
  EXPECT_STREQ(api.ErrorMsg(), "Write: could not get MapFile pointer.");
  EXPECT_EQ(api.ErrorCode(), -1);
  EXPECT_EQ(api.ErrorMsg(), buffer);
  api.SetTicket(5);
  EXPECT_EQ(api.ErrorCode(), 0);
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(buffer[i], 0) << "byte " << i;
}

TEST_F(MasterDllTest, TheRecordFileIsTheStagedRecordByteForByte) {
  api.SetCmd(3);
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(api.Write(), 1);
  std::vector<unsigned char> only_cmd = test::read_bytes(record_path("000001"));
  ASSERT_EQ(only_cmd.size(), 80u);
  EXPECT_EQ(only_cmd[0], 3);
  for (size_t i = 1; i < 80; ++i) ASSERT_EQ(only_cmd[i], 0) << "byte " << i;

  TradeRecord expected = test::sample_record(7);
  stage(api, expected);
  ASSERT_EQ(api.Write(), 1);
  std::vector<unsigned char> bytes = test::read_bytes(record_path("000002"));
  ASSERT_EQ(bytes.size(), 80u);
  EXPECT_EQ(std::memcmp(bytes.data(), &expected, 80), 0);

  // A long symbol stops at 19 characters, never reaching Lot; a shorter one
  // leaves the bytes after its NUL as they were.
  api.SetSymbol(std::string(25, 'S').c_str());
  api.SetSymbol("GBP");
  ASSERT_EQ(api.Write(), 1);
  bytes = test::read_bytes(record_path("000003"));
  EXPECT_EQ(std::memcmp(bytes.data() + 12, "GBP\0SSSSSSSSSSSSSSS\0", 20), 0);
  EXPECT_EQ(std::memcmp(bytes.data() + 32, &expected.lot, 48), 0);
}

TEST_F(MasterDllTest, EachWriteTakesTheNextNumberThenIndexesAndPublishesIt) {
  ASSERT_EQ(init(), 1);
  EXPECT_TRUE(exists(system_dir()));
  EXPECT_EQ(live_counter(master), 0);
  for (int n = 1; n <= 3; ++n) {
    write_sample(api, n);
    EXPECT_TRUE(exists(record_path("00000" + std::to_string(n))));
    EXPECT_EQ(test::read_text(index_path(master)), std::to_string(n));
    EXPECT_EQ(live_counter(master), n);
  }
}

TEST_F(MasterDllTest, InitResumesAfterTheIndexOrTheNewestRecordOnDisk) {
  test::make_directory(system_dir());
  test::write_text(index_path(master), "41");
  ASSERT_EQ(init(), 1);
  EXPECT_EQ(live_counter(master), 41);
  write_sample(api, 42);
  EXPECT_TRUE(exists(record_path("000042")));

  // An index lost behind the master's back never makes it overwrite records.
  std::remove(index_path(master).c_str());
  ASSERT_EQ(init(), 1);
  EXPECT_EQ(live_counter(master), 42);
  write_sample(api, 43);
  EXPECT_TRUE(exists(record_path("000043")));
}

TEST_F(MasterDllTest, ARecordFileThatCannotBeCreatedLeavesAGap) {
  ASSERT_EQ(init(), 1);
  write_sample(api, 1);
  test::make_directory(record_path("000002"));
  EXPECT_EQ(api.Write(), 0);
  EXPECT_EQ(api.ErrorCode(), -1);
  EXPECT_EQ(message(), "Write: could not open " + record_path("000002") + " file.");
  EXPECT_EQ(live_counter(master), 1);
  write_sample(api, 3);
  EXPECT_TRUE(exists(record_path("000003")));
  EXPECT_EQ(live_counter(master), 3);
}

TEST_F(MasterDllTest, AnIndexThatCannotBeWrittenWithdrawsTheRecord) {
  ASSERT_EQ(init(), 1);
  write_sample(api, 1);
  std::remove(index_path(master).c_str());
  test::make_directory(index_path(master));
  EXPECT_EQ(api.Write(), 0);
  EXPECT_EQ(message(), "WriteInd: could not open " + index_path(master) + " file.");
  EXPECT_EQ(test::read_bytes(record_path("000002")).size(), 0u);
  EXPECT_EQ(live_counter(master), 1);
}

TEST_F(MasterDllTest, DirectoryFailuresNameThePath) {
  test::write_text(dir / "file", "");
  std::string bad_root = dir / "file\\sub";
  EXPECT_EQ(api.Init(bad_root.c_str(), master.c_str()), 0);
  EXPECT_EQ(message(), "Init: CreateDirectory " + bad_root + " failed");

  ASSERT_EQ(init(), 1);
  remove_all(dir / "root");
  test::write_text(dir / "root", "");
  EXPECT_EQ(api.Write(), 0);
  EXPECT_EQ(message(), "Write: CreateDirectory " + master_dir() + " failed");
}

TEST_F(MasterDllTest, WriteRecreatesDirectoriesRemovedBehindItsBack) {
  ASSERT_EQ(init(), 1);
  write_sample(api, 1);
  remove_all(root);
  write_sample(api, 2);
  EXPECT_TRUE(exists(record_path("000002")));
  EXPECT_EQ(test::read_text(index_path(master)), "2");
}

TEST_F(MasterDllTest, BadArgumentsAreRefusedBeforeAnythingIsTouched) {
  EXPECT_EQ(api.Init(nullptr, master.c_str()), 0);
  EXPECT_STREQ(api.ErrorMsg(), "Init: root is a null pointer.");
  EXPECT_EQ(api.Init(root.c_str(), "a\\b"), 0);
  EXPECT_STREQ(api.ErrorMsg(), "Init: master name must not contain '/' or '\\': a\\b");
  EXPECT_EQ(api.Init(root.c_str(), std::string(300, 'm').c_str()), 0);
  EXPECT_FALSE(exists(root));
  // A wildcard is refused before any search for it could match another
  // directory.
  test::make_directory(root + "\\abc");
  EXPECT_EQ(api.Init(root.c_str(), "a*c"), 0);
  EXPECT_EQ(message(), "Init: master name must not contain < > : \" | ? or *: a*c");
  api.SetSymbol(nullptr);
  ASSERT_EQ(init(), 1);
  ASSERT_EQ(api.Write(), 1);
  EXPECT_EQ(test::read_bytes(record_path("000001"))[12], 0);
}

constexpr int kThreads = 4, kWritesEach = 100;

struct Writers {
  const MasterApi* api;
  LONG written;
};

DWORD WINAPI write_many(LPVOID parameter) {
  auto* writers = static_cast<Writers*>(parameter);
  for (int i = 0; i < kWritesEach; ++i) ::InterlockedAdd(&writers->written, writers->api->Write.unchecked());
  return 0;
}

// Host threads writing at once take turns in the DLL: each Write that
// returned 1 has a record file of its own, numbered without gap or repeat.
TEST_F(MasterDllTest, WritesFromSeveralThreadsAtOnceEachTakeANumberOfTheirOwn) {
  ASSERT_EQ(init(), 1);
  Writers writers = {&api, 0};
  HANDLE threads[kThreads];
  for (HANDLE& thread : threads) thread = ::CreateThread(nullptr, 0, write_many, &writers, 0, nullptr);
  ASSERT_EQ(::WaitForMultipleObjects(kThreads, threads, TRUE, 120000), WAIT_OBJECT_0);
  for (HANDLE thread : threads) ::CloseHandle(thread);
  EXPECT_EQ(writers.written, kThreads * kWritesEach);
  for (int n = 1; n <= kThreads * kWritesEach; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "%06d", n);
    ASSERT_EQ(test::read_bytes(record_path(name)).size(), 80u) << name;
  }
  EXPECT_EQ(test::read_text(index_path(master)), std::to_string(kThreads * kWritesEach));
}

}  // namespace
}  // namespace zeb::wintest
