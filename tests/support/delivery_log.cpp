#include "delivery_log.h"

#include <gtest/gtest.h>

namespace zeb::test {

int expect_complete_in_order(const std::vector<int>& numbers, int count, const std::string& who) {
  int expected = 1;
  int repeats = 0;
  for (size_t i = 0; i < numbers.size(); ++i) {
    if (i > 0 && numbers[i] == numbers[i - 1]) {
      ++repeats;
      continue;
    }
    EXPECT_EQ(numbers[i], expected) << who << " at position " << i;
    if (numbers[i] != expected) return repeats;
    ++expected;
  }
  EXPECT_EQ(expected - 1, count) << who;
  return repeats;
}

}  // namespace zeb::test
