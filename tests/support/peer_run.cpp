#include "support/peer_run.h"

#include <gtest/gtest.h>

#include <fstream>

namespace zeb::test {

PeerRun::PeerRun(const std::string& base, int count)
    : dir_(base), root_(dir_ / "root"), master_(unique_name("peer")), count_(count) {}

int PeerRun::start_master(int up_to) const {
  return spawn({ZEB_PEER, "master", ZEB_MASTER_LIBRARY, root_, master_,
                std::to_string(up_to > 0 ? up_to : count_), master_log()});
}

int PeerRun::start_follower(const std::string& name) const {
  return spawn({ZEB_PEER, "follower", ZEB_FOLLOWER_LIBRARY, root_, name, master_, std::to_string(count_),
                log(name)});
}

std::vector<int> logged_numbers(const std::string& path) {
  std::vector<int> numbers;
  std::ifstream in(path);
  for (int n; in >> n;) numbers.push_back(n);
  return numbers;
}

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
