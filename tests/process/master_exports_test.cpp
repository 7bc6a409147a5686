// The master library as a host sees it: loaded by path, bound by name. Each
// case loads a fresh copy in its own process, since the library's state is
// process-global.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "support/channel_fixture.h"
#include "support/test_support.h"
#include "support/library.h"

namespace zeb {
namespace {

using IntFn = int();
using MsgFn = const char*();

TEST(MasterLibrary, ExportsExactlyItsFunctions) {
  EXPECT_EQ(test::defined_dynamic_symbols(ZEB_MASTER_LIBRARY),
            (std::set<std::string>{"Init", "Write", "SetCmd", "SetTicket", "SetType", "SetSymbol",
                                   "SetLot", "SetOpenPrice", "SetSL", "SetTP", "SetClosePrice",
                                   "SetTimeLocal", "SetTimeServer", "ErrorCode", "ErrorMsg"}));
}

class MasterLibraryTest : public test::ChannelTest {};

TEST_F(MasterLibraryTest, ReportsStartEmptyAndEveryCallButTheQueriesClearsThem) {
  EXPECT_EQ(test::run_in_child([&] {
              test::Library lib(ZEB_MASTER_LIBRARY);
              auto error_code = lib.fn<IntFn>("ErrorCode");
              auto error_msg = lib.fn<MsgFn>("ErrorMsg");
              EXPECT_EQ(error_code(), 0);
              EXPECT_STREQ(error_msg(), "");
              const char* buffer = error_msg();

              EXPECT_EQ(lib.fn<IntFn>("Write")(), 0);
              EXPECT_EQ(error_code(), -1);
              EXPECT_STREQ(error_msg(), "Write: could not get MapFile pointer.");
              // Asking again changes nothing.
              EXPECT_EQ(error_code(), -1);
              EXPECT_STREQ(error_msg(), "Write: could not get MapFile pointer.");
              EXPECT_EQ(error_msg(), buffer);

              lib.fn<void(int)>("SetTicket")(5);
              EXPECT_EQ(error_code(), 0);
              for (int i = 0; i < 1024; ++i) ASSERT_EQ(buffer[i], 0) << "byte " << i;
              EXPECT_EQ(error_msg(), buffer);
            }),
            0);
}

TEST_F(MasterLibraryTest, SettersBeforeInitAreWrittenByTheFirstWrite) {
  EXPECT_EQ(test::run_in_child([&] {
              test::Library lib(ZEB_MASTER_LIBRARY);
              lib.fn<void(int)>("SetCmd")(1);
              lib.fn<void(int)>("SetTicket")(-5);
              lib.fn<void(int)>("SetType")(4);
              lib.fn<void(const char*)>("SetSymbol")("EURUSD");
              lib.fn<void(const char*)>("SetSymbol")("GBP");
              lib.fn<void(double)>("SetLot")(0.1);
              lib.fn<void(double)>("SetOpenPrice")(1.08123);
              lib.fn<void(double)>("SetSL")(1.07);
              lib.fn<void(double)>("SetTP")(1.09);
              lib.fn<void(double)>("SetClosePrice")(1.085);
              lib.fn<void(int)>("SetTimeLocal")(1700000000);
              lib.fn<void(int)>("SetTimeServer")(1700007200);
              ASSERT_EQ(lib.fn<int(const char*, const char*)>("Init")(root.c_str(), master.c_str()), 1);
              ASSERT_EQ(lib.fn<IntFn>("Write")(), 1);
            }),
            0);
  std::vector<unsigned char> bytes = test::read_bytes(record_path("000001"));
  ASSERT_EQ(bytes.size(), 80u);
  TradeRecord record;
  std::memcpy(&record, bytes.data(), 80);
  EXPECT_EQ(record.cmd, 1);
  EXPECT_EQ(record.ticket, -5);
  EXPECT_EQ(record.type, 4);
  EXPECT_EQ(std::memcmp(record.symbol, "GBP\0SD\0", 7), 0);
  EXPECT_EQ(record.lot, 0.1);
  EXPECT_EQ(record.open_price, 1.08123);
  EXPECT_EQ(record.sl, 1.07);
  EXPECT_EQ(record.tp, 1.09);
  EXPECT_EQ(record.close_price, 1.085);
  EXPECT_EQ(record.time_local, 1700000000);
  EXPECT_EQ(record.time_server, 1700007200);
}

TEST_F(MasterLibraryTest, SetterAfterAFailedWriteClearsTheReportButNotTheRecord) {
  EXPECT_EQ(test::run_in_child([&] {
              test::Library lib(ZEB_MASTER_LIBRARY);
              ASSERT_EQ(lib.fn<int(const char*, const char*)>("Init")(root.c_str(), master.c_str()), 1);
              test::make_directory(record_path("000001"));
              lib.fn<void(int)>("SetCmd")(2);
              EXPECT_EQ(lib.fn<IntFn>("Write")(), 0);
              EXPECT_EQ(std::string(lib.fn<MsgFn>("ErrorMsg")()),
                        "Write: could not open " + record_path("000001") + " file.");
              lib.fn<void(int)>("SetTicket")(9);
              EXPECT_EQ(lib.fn<IntFn>("ErrorCode")(), 0);
              EXPECT_EQ(lib.fn<IntFn>("Write")(), 1);
            }),
            0);
  std::vector<unsigned char> bytes = test::read_bytes(record_path("000002"));
  ASSERT_EQ(bytes.size(), 80u);
  EXPECT_EQ(bytes[0], 2);
  EXPECT_EQ(bytes[4], 9);
}

TEST_F(MasterLibraryTest, InitRefusesNullPointersAndSetSymbolTakesThemAsEmpty) {
  EXPECT_EQ(test::run_in_child([&] {
              test::Library lib(ZEB_MASTER_LIBRARY);
              auto init = lib.fn<int(const char*, const char*)>("Init");
              EXPECT_EQ(init(nullptr, master.c_str()), 0);
              EXPECT_STREQ(lib.fn<MsgFn>("ErrorMsg")(), "Init: root is a null pointer.");
              EXPECT_EQ(init(root.c_str(), nullptr), 0);
              EXPECT_STREQ(lib.fn<MsgFn>("ErrorMsg")(), "Init: master name is a null pointer.");
              lib.fn<void(const char*)>("SetSymbol")("EURUSD");
              lib.fn<void(const char*)>("SetSymbol")(nullptr);
              ASSERT_EQ(init(root.c_str(), master.c_str()), 1);
              ASSERT_EQ(lib.fn<IntFn>("Write")(), 1);
            }),
            0);
  EXPECT_EQ(test::read_bytes(record_path("000001"))[12], 0);
}

// Hosts often run each script on a thread of its own. Writes from several
// threads at once each take a number of their own, and a follower receives
// each record once.
TEST(MasterLibrary, WritesFromSeveralThreadsAtOnceEachTakeANumberOfTheirOwn) {
  constexpr int kThreads = 4, kWrites = 250;
  test::TempDir dir("/dev/shm");
  std::string root = dir / "root", master = test::unique_name("m");
  EXPECT_EQ(test::run_in_child([&] {
              test::Library lib(ZEB_MASTER_LIBRARY);
              ASSERT_EQ(lib.fn<int(const char*, const char*)>("Init")(root.c_str(), master.c_str()), 1);
              auto write = lib.fn<IntFn>("Write");
              std::atomic<int> written{0};
              std::vector<std::thread> threads;
              for (int t = 0; t < kThreads; ++t)
                threads.emplace_back([&] {
                  for (int i = 0; i < kWrites; ++i) written += write();
                });
              for (std::thread& thread : threads) thread.join();
              EXPECT_EQ(written, kThreads * kWrites);

              test::Library follower(ZEB_FOLLOWER_LIBRARY);
              ASSERT_EQ(follower.fn<int(const char*, const char*, const char*)>("Init")(
                            root.c_str(), "F", master.c_str()),
                        1);
              int received = 0;
              while (follower.fn<IntFn>("Read")() == 1) {
                ASSERT_LT(received, written) << "a record came twice or from nowhere";
                ASSERT_EQ(follower.fn<IntFn>("Commit")(), 1);
                ++received;
              }
              EXPECT_EQ(follower.fn<IntFn>("ErrorCode")(), 0) << follower.fn<MsgFn>("ErrorMsg")();
              EXPECT_EQ(received, written);
            }),
            0);
  // One whole record file per Write, numbered without a gap or a repeat.
  for (int n = 1; n <= kThreads * kWrites; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "%06d", n);
    ASSERT_EQ(test::read_bytes(test::join(test::join(root, master), name)).size(), 80u) << name;
  }
  EXPECT_EQ(test::read_text(test::join(test::join(root, master), "system/" + master)),
            std::to_string(kThreads * kWrites));
}

// A host that forks without exec (a worker process, a daemonising helper)
// and then dies: the child holds no claim, so a new master gets the name,
// and holds no channel, so it cannot write as a second master.
TEST_F(MasterLibraryTest, AForkedChildHoldsNoClaimAndCannotWrite) {
  int from_worker[2], from_host[2];
  ASSERT_EQ(::pipe(from_worker), 0);
  ASSERT_EQ(::pipe(from_host), 0);
  EXPECT_EQ(test::run_in_child([&] {
              test::Library lib(ZEB_MASTER_LIBRARY);
              ASSERT_EQ(lib.fn<int(const char*, const char*)>("Init")(root.c_str(), master.c_str()), 1);
              pid_t worker = ::fork();
              if (worker == 0) {
                bool refused = lib.fn<IntFn>("Write")() == 0 &&
                               std::strcmp(lib.fn<MsgFn>("ErrorMsg")(), "Write: could not get MapFile pointer.") == 0;
                (void)!::write(from_worker[1], refused ? "y" : "n", 1);
                ::pause();
              }
              char refused = 0;
              ASSERT_EQ(::read(from_worker[0], &refused, 1), 1);
              EXPECT_EQ(refused, 'y');
              (void)!::write(from_host[1], &worker, sizeof worker);
            }),
            0);
  pid_t worker = 0;
  ASSERT_EQ(::read(from_host[0], &worker, sizeof worker), static_cast<ssize_t>(sizeof worker));
  EXPECT_EQ(test::run_in_child([&] {
              test::Library lib(ZEB_MASTER_LIBRARY);
              EXPECT_EQ(lib.fn<int(const char*, const char*)>("Init")(root.c_str(), master.c_str()), 1)
                  << lib.fn<MsgFn>("ErrorMsg")();
            }),
            0);
  ::kill(worker, SIGKILL);
  for (int fd : {from_worker[0], from_worker[1], from_host[0], from_host[1]}) ::close(fd);
}

// The host exits while one of its threads is inside Write: the library's
// state is released under its lock, so the writer finishes its call, and
// every later call fails as before Init; none touches a released counter.
TEST(MasterLibrary, ExitWhileAThreadWritesNeverFaults) {
  // On tmpfs, where a Write is quick enough to reach the counter while the
  // process is still exiting.
  test::TempDir dir("/dev/shm");
  std::string root = dir / "root", master = test::unique_name("m");
  for (int run = 0; run < 100; ++run) {
    ASSERT_EQ(test::run_in_child([&] {
                test::Library lib(ZEB_MASTER_LIBRARY);
                ASSERT_EQ(lib.fn<int(const char*, const char*)>("Init")(root.c_str(), master.c_str()), 1);
                auto write = lib.fn<IntFn>("Write");
                std::thread([write] {
                  for (;;) write();
                }).detach();
                std::this_thread::sleep_for(std::chrono::microseconds(500));
                std::exit(0);
              }),
              0)
        << "run " << run;
  }
}

}  // namespace
}  // namespace zeb
