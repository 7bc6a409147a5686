// The in-memory platform fails or dies exactly where it is told to; what it
// shares with the real platforms is checked by platform_contract_test.cpp.
#include <gtest/gtest.h>

#include <string>

#include "fault_platform.h"
#include "platform/platform.h"

namespace zeb {
namespace {

using fault::Call;
using namespace platform;

class FaultPlatform : public ::testing::Test {
 protected:
  void SetUp() override { fault::reset(); }
  void TearDown() override { fault::reset(); }

  static std::string read(const char* path) {
    char buffer[64] = {};
    size_t got = 0;
    FileResult result = read_file(path, buffer, sizeof buffer, &got);
    return result == FileResult::ok ? std::string(buffer, got) : "<" + std::to_string(int(result)) + ">";
  }
};

// Windows refuses to replace a file that somebody holds open, which POSIX
// allows; the contract (platform_contract_test.cpp) holds for both.
TEST_F(FaultPlatform, ReplacingAHeldFileConflicts) {
  fault::put_directory("R");
  fault::put_file("R\\f", "old");
  fault::put_file("R\\tmp", "new");
  fault::hold("R\\f", false);
  EXPECT_EQ(replace_file("R\\tmp", "R\\f"), FileResult::conflict);
  EXPECT_EQ(fault::file("R\\f"), "old");
  fault::release("R\\f");
  EXPECT_EQ(replace_file("R\\tmp", "R\\f"), FileResult::ok);
  EXPECT_EQ(fault::file("R\\f"), "new");
}

TEST_F(FaultPlatform, AnInjectedConflictLastsItsTriesAndSleepingIsOnlyCounted) {
  fault::put_directory("R");
  fault::conflict_calls(Call::write_open, 2, 3);
  EXPECT_EQ(write_file("R\\f", "a", 1), FileResult::ok);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(write_file("R\\f", "b", 1), FileResult::conflict) << i;
  EXPECT_EQ(write_file("R\\f", "c", 1), FileResult::ok);
  EXPECT_EQ(fault::file("R\\f"), "c");
  sleep_ms(400);
  sleep_ms(2);
  EXPECT_EQ(fault::slept_ms(), 402);
}

TEST_F(FaultPlatform, ACounterLivesWhileSomeProcessHoldsIt) {
  CounterOpen opened;
  fault::set_process(1);
  Counter* first = counter_open("zeb_M", "R", &opened);
  EXPECT_EQ(opened, CounterOpen::created);
  int32_t* view = counter_map(first);
  counter_exchange(view, 9);
  fault::set_process(2);
  Counter* second = counter_open("zeb_M", "R", &opened);
  EXPECT_EQ(opened, CounterOpen::joined);
  EXPECT_EQ(counter_load(counter_map(second)), 9);
  // The first holder is killed; the second keeps the block alive.
  fault::end_process(1);
  EXPECT_EQ(fault::counter_value("zeb_M"), 9);
  counter_close(second);
  EXPECT_EQ(fault::counter_value("zeb_M"), std::nullopt);
  Counter* third = counter_open("zeb_M", "R", &opened);
  EXPECT_EQ(opened, CounterOpen::created);
  EXPECT_EQ(counter_load(counter_map(third)), 0);
  // Closing a handle its dead process already lost changes nothing.
  counter_close(first);
  EXPECT_EQ(fault::counter_value("zeb_M"), 0);
}

TEST_F(FaultPlatform, TheNthCallOfAKindFailsOnceAndIsCounted) {
  fault::put_directory("R");
  fault::fail_call(Call::write_data, 2);
  EXPECT_EQ(write_file("R\\a", "abcd", 4), FileResult::ok);
  EXPECT_FALSE(fault::take_fired());
  EXPECT_EQ(write_file("R\\b", "abcd", 4), FileResult::io_failed);
  EXPECT_TRUE(fault::take_fired());
  EXPECT_EQ(fault::file("R\\b"), "ab");
  EXPECT_EQ(write_file("R\\c", "abcd", 4), FileResult::ok);
  EXPECT_EQ(fault::calls(Call::write_open), 3);

  fault::fail_call(Call::listing_next, 2);
  Listing* listing = listing_open("R");
  EXPECT_STREQ(listing_next(listing), ".");
  EXPECT_EQ(listing_next(listing), nullptr);
  EXPECT_TRUE(listing_broken(listing));
  listing_close(listing);
  listing = listing_open("R");
  while (listing_next(listing) != nullptr) {
  }
  EXPECT_FALSE(listing_broken(listing));
  listing_close(listing);
  EXPECT_EQ(fault::open_listings(), 0);

  fault::fail_calls_from(Call::read_data, 2);
  EXPECT_EQ(read("R\\a"), "abcd");
  EXPECT_EQ(read("R\\a"), "<2>");
  EXPECT_EQ(read("R\\a"), "<2>");
  fault::clear_faults();
  EXPECT_EQ(read("R\\a"), "abcd");
  fault::fail_call(Call::counter_map, 1);
  CounterOpen opened;
  EXPECT_EQ(counter_map(counter_open("zeb_M", "R", &opened)), nullptr);
}

TEST_F(FaultPlatform, AProcessDiesAtItsCallLeavingAHalfWrittenFileAndDoesNothingMore) {
  fault::put_directory("R");
  fault::set_process(7);
  fault::crash_at_call(2);
  EXPECT_EQ(write_file("R\\a", "abcd", 4), FileResult::ok);
  write_file("R\\b", "abcd", 4);
  EXPECT_TRUE(fault::dead(7));
  EXPECT_EQ(fault::file("R\\b"), "ab");
  EXPECT_EQ(make_directory("R\\D"), MakeDirectory::failed);
  EXPECT_EQ(replace_file("R\\a", "R\\b"), FileResult::open_failed);
  EXPECT_EQ(fault::entry_names("R"), (std::vector<std::string>{"a", "b"}));
  fault::end_process(7);
  EXPECT_FALSE(fault::dead(7));
  EXPECT_EQ(make_directory("R\\D"), MakeDirectory::created);
}

}  // namespace
}  // namespace zeb
