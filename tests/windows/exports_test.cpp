// The DLLs as a host binds them: plain names only, stdcall everywhere.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "libraries.h"
#include "win_support.h"

namespace zeb::wintest {
namespace {

TEST(Exports, EachDllExportsExactlyItsPlainNames) {
  Dll master(kMasterDll);
  EXPECT_EQ(export_names(master.module()),
            (std::set<std::string>{"Init", "Write", "SetCmd", "SetTicket", "SetType", "SetSymbol",
                                   "SetLot", "SetOpenPrice", "SetSL", "SetTP", "SetClosePrice",
                                   "SetTimeLocal", "SetTimeServer", "ErrorCode", "ErrorMsg"}));
  Dll follower(kFollowerDll);
  EXPECT_EQ(export_names(follower.module()),
            (std::set<std::string>{"Init", "Read", "Commit", "GetCmd", "GetTicket", "GetType",
                                   "GetSymbol", "GetLot", "GetOpenPrice", "GetSL", "GetTP",
                                   "GetClosePrice", "GetTimeLocal", "GetTimeServer", "ErrorCode",
                                   "ErrorMsg"}));
}

TEST(Exports, EveryArgumentAndResultTypeCrossesTheBoundaryIntact) {
  TempDir dir;
  std::string master = unique_name("x");
  {
    Master lib;
    lib.api.SetLot(0.1);
    lib.api.SetOpenPrice(-1e308);
    lib.api.SetTimeServer(-2147483647 - 1);
    lib.api.SetSymbol("EURUSD");
    ASSERT_EQ(lib.api.Init((dir / "root").c_str(), master.c_str()), 1);
    ASSERT_EQ(lib.api.Write(), 1);
  }
  Follower lib;
  ASSERT_EQ(lib.api.Init((dir / "root").c_str(), "F", master.c_str()), 1);
  ASSERT_EQ(lib.api.Read(), 1) << lib.api.ErrorMsg();
  EXPECT_EQ(lib.api.GetLot(), 0.1);
  EXPECT_EQ(lib.api.GetOpenPrice(), -1e308);
  EXPECT_EQ(lib.api.GetTimeServer(), -2147483647 - 1);
  EXPECT_STREQ(lib.api.GetSymbol(), "EURUSD");
}

#if defined(__i386__)
int __cdecl cdecl_sum(int a, int b) {
  return a + b;
}

double __stdcall stdcall_scale(double value, int factor) {
  return value * factor;
}

// The check itself: a callee that leaves its arguments behind is caught, and
// the caller still goes on with the right result.
TEST(StackCheck, CatchesACalleeThatLeavesItsArgumentsOnTheStack) {
  EXPECT_EQ(call_checked(&stdcall_scale, "stdcall_scale", 1.5, 4), 6.0);
  auto wrong = reinterpret_cast<int(ZEB_CALL*)(int, int)>(&cdecl_sum);
  int result = 0;
  EXPECT_NONFATAL_FAILURE(result = call_checked(wrong, "cdecl_sum", 2, 3),
                          "cdecl_sum moved the stack pointer");
  EXPECT_EQ(result, 5);
  static_assert(stack_bytes<const char*, const char*, const char*>() == 12);
  static_assert(stack_bytes<double>() == 8);
}
#endif

}  // namespace
}  // namespace zeb::wintest
