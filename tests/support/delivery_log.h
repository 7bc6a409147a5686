#pragma once

#include <string>
#include <vector>

#include "support/number_log.h"

// What follower processes of the multi-process tests received: each appends
// the number of every record it received to a log (number_log.h).
namespace zeb::test {

// Every number 1..count in order; a number may repeat only right after
// itself (a record received again after a restart before its Commit).
// Returns how many repeats there were.
int expect_complete_in_order(const std::vector<int>& numbers, int count, const std::string& who);

}  // namespace zeb::test
