// The stack check of export_call.h itself, on 32-bit Windows.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "export_call.h"
#include "support/libraries.h"

namespace zeb::wintest {
namespace {

int __cdecl cdecl_sum(int a, int b) {
  return a + b;
}

double __stdcall stdcall_scale(double value, int factor) {
  return value * factor;
}

// A callee that leaves its arguments behind is caught, and the caller still
// goes on with the right result.
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

TEST(StackCheck, ChecksEveryCallTheSuiteMakesIntoTheLibraries) {
  zebfollower_api follower;
  ASSERT_EQ(test::load(follower), nullptr);
  EXPECT_NE(reinterpret_cast<void*>(follower.GetLot),
            reinterpret_cast<void*>(zeb_dynload_symbol(follower.module, "GetLot")));
  zebfollower_unload(&follower);
}

}  // namespace
}  // namespace zeb::wintest
