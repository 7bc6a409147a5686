// The follower library as a host sees it, alone and beside the master
// library in one process. Each case loads fresh copies in its own process.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "support/channel_fixture.h"
#include "support/test_support.h"
#include "support/library.h"

namespace zeb {
namespace {

using IntFn = int();
using DoubleFn = double();
using MsgFn = const char*();

class FollowerLibraryTest : public test::ChannelTest {};

TEST_F(FollowerLibraryTest, GettersBeforeAnyReadGiveZerosAndAnEmptySymbol) {
  EXPECT_EQ(test::run_in_child([] {
              test::Library lib(ZEB_FOLLOWER_LIBRARY);
              for (const char* name : {"GetCmd", "GetTicket", "GetType", "GetTimeLocal", "GetTimeServer"})
                EXPECT_EQ(lib.fn<IntFn>(name)(), 0) << name;
              for (const char* name : {"GetLot", "GetOpenPrice", "GetSL", "GetTP", "GetClosePrice"})
                EXPECT_EQ(lib.fn<DoubleFn>(name)(), 0.0) << name;
              EXPECT_STREQ(lib.fn<MsgFn>("GetSymbol")(), "");
              EXPECT_EQ(lib.fn<IntFn>("ErrorCode")(), 0);
              EXPECT_STREQ(lib.fn<MsgFn>("ErrorMsg")(), "");
            }),
            0);
}

TEST_F(FollowerLibraryTest, AGetterAfterAFailedReadErasesTheReportButKeepsTheRecord) {
  EXPECT_EQ(test::run_in_child([&] {
              test::Library master_lib(ZEB_MASTER_LIBRARY);
              ASSERT_EQ(master_lib.fn<int(const char*, const char*)>("Init")(root.c_str(), master.c_str()), 1);
              master_lib.fn<void(int)>("SetTicket")(77);
              master_lib.fn<void(const char*)>("SetSymbol")("USDJPY");
              master_lib.fn<void(double)>("SetLot")(1.5);
              ASSERT_EQ(master_lib.fn<IntFn>("Write")(), 1);

              test::Library lib(ZEB_FOLLOWER_LIBRARY);
              ASSERT_EQ(lib.fn<int(const char*, const char*, const char*)>("Init")(
                            root.c_str(), "F", master.c_str()),
                        1);
              ASSERT_EQ(lib.fn<IntFn>("Read")(), 1);
              const char* symbol = lib.fn<MsgFn>("GetSymbol")();
              EXPECT_STREQ(symbol, "USDJPY");

              std::filesystem::remove_all(system_dir());
              EXPECT_EQ(lib.fn<IntFn>("Read")(), 0);
              EXPECT_EQ(lib.fn<IntFn>("ErrorCode")(), -1);
              EXPECT_EQ(std::string(lib.fn<MsgFn>("ErrorMsg")()),
                        "Read: system directory not found: " + system_dir());
              EXPECT_EQ(lib.fn<IntFn>("GetTicket")(), 77);
              EXPECT_EQ(lib.fn<IntFn>("ErrorCode")(), 0);
              EXPECT_STREQ(lib.fn<MsgFn>("ErrorMsg")(), "");
              EXPECT_EQ(lib.fn<DoubleFn>("GetLot")(), 1.5);
              // The symbol pointer is the record's own, for the library's life.
              EXPECT_EQ(lib.fn<MsgFn>("GetSymbol")(), symbol);
            }),
            0);
}

// Both libraries export Init, ErrorCode and ErrorMsg; in one process each
// must keep to its own state.
TEST_F(FollowerLibraryTest, BothLibrariesInOneProcessKeepTheirOwnState) {
  EXPECT_EQ(test::run_in_child([&] {
              test::Library master_lib(ZEB_MASTER_LIBRARY);
              test::Library follower_lib(ZEB_FOLLOWER_LIBRARY);
              auto master_init = master_lib.fn<int(const char*, const char*)>("Init");
              auto follower_init = follower_lib.fn<int(const char*, const char*, const char*)>("Init");
              ASSERT_NE(reinterpret_cast<void*>(master_init), reinterpret_cast<void*>(follower_init));

              EXPECT_EQ(follower_lib.fn<IntFn>("Read")(), 0);
              EXPECT_EQ(follower_lib.fn<IntFn>("ErrorCode")(), -1);
              EXPECT_EQ(master_lib.fn<IntFn>("ErrorCode")(), 0);
              EXPECT_STREQ(master_lib.fn<MsgFn>("ErrorMsg")(), "");

              ASSERT_EQ(master_init(root.c_str(), master.c_str()), 1);
              ASSERT_EQ(follower_init(root.c_str(), "F", master.c_str()), 1);
              for (int n = 1; n <= 3; ++n) {
                master_lib.fn<void(int)>("SetTicket")(n);
                ASSERT_EQ(master_lib.fn<IntFn>("Write")(), 1);
              }
              for (int n = 1; n <= 3; ++n) {
                ASSERT_EQ(follower_lib.fn<IntFn>("Read")(), 1);
                EXPECT_EQ(follower_lib.fn<IntFn>("GetTicket")(), n);
                ASSERT_EQ(follower_lib.fn<IntFn>("Commit")(), 1);
              }
              EXPECT_EQ(test::read_text(index_path("F")), "3");
            }),
            0);
}

TEST(FollowerLibrary, ExportsExactlyItsFunctions) {
  EXPECT_EQ(test::defined_dynamic_symbols(ZEB_FOLLOWER_LIBRARY),
            (std::set<std::string>{"Init", "Read", "Commit", "GetCmd", "GetTicket", "GetType",
                                   "GetSymbol", "GetLot", "GetOpenPrice", "GetSL", "GetTP",
                                   "GetClosePrice", "GetTimeLocal", "GetTimeServer", "ErrorCode",
                                   "ErrorMsg"}));
}

}  // namespace
}  // namespace zeb
