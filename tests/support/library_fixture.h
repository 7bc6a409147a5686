#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/channel_fixture.h"
#include "support/libraries.h"

namespace zeb::test {

// Both libraries as a host loads them, freshly for each test (unloading a
// library drops its state), with the channel fixture's root and master name.
// The cases written against it (tests/library) run on every system.
class LibraryTest : public ChannelTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(load(zebmaster), nullptr);
    ASSERT_EQ(load(zebfollower), nullptr);
  }
  ~LibraryTest() override {
    zebmaster_unload(&zebmaster);
    zebfollower_unload(&zebfollower);
  }

  zebmaster_api zebmaster = {};
  zebfollower_api zebfollower = {};
  std::string follower = "F";

  // The host ends and starts again: the library is unloaded and loaded anew.
  void restart_master() {
    zebmaster_unload(&zebmaster);
    ASSERT_EQ(load(zebmaster), nullptr);
  }
  void restart_follower() {
    zebfollower_unload(&zebfollower);
    ASSERT_EQ(load(zebfollower), nullptr);
  }

  int init_master() { return zebmaster.Init(root.c_str(), master.c_str()); }
  int init_follower() { return zebfollower.Init(root.c_str(), follower.c_str(), master.c_str()); }
  void start_master() { ASSERT_EQ(init_master(), 1) << zebmaster.ErrorMsg(); }
  // Stages and publishes sample_record(n) for each n from `first` to `last`.
  void publish(int first, int last) {
    for (int n = first; n <= last; ++n) {
      tools::stage_record(zebmaster, sample_record(n));
      ASSERT_EQ(zebmaster.Write(), 1) << zebmaster.ErrorMsg();
    }
  }
  // Lays down record file `name` by hand: the first `size` bytes of sample_record(n).
  void place_record(const std::string& name, int n, size_t size = sizeof(TradeRecord)) {
    TradeRecord record = sample_record(n);
    write_bytes(record_path(name), &record, size);
  }
  // Sets the live counter as a master would, holding it for the rest of the test.
  void set_counter(int32_t value) {
    if (!counter_.is_open()) {
      ASSERT_TRUE(counter_.open(("zeb_" + master).c_str(), dir.path().c_str()));
    }
    counter_.publish(value);
  }
  std::string master_message() const { return zebmaster.ErrorMsg(); }
  std::string follower_message() const { return zebfollower.ErrorMsg(); }
  // Which sample_record the follower's getters show.
  int received_number() const { return zebfollower.GetTicket() - sample_record(0).ticket; }
  // The name of record file n.
  static std::string record_name(int n) {
    char name[16];
    std::snprintf(name, sizeof name, "%06d", n);
    return name;
  }

 private:
  SharedCounter counter_;
};

}  // namespace zeb::test
