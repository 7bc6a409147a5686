#pragma once

#include <gtest/gtest.h>

#include <string>

#include "libraries.h"
#include "shared_counter.h"
#include "support/channel_fixture.h"
#include "win_support.h"

namespace zeb::wintest {

// The shared channel fixture, with what the cases that drive the DLLs add.
class DllChannelTest : public test::ChannelTest {
 protected:
  // Stages every field of sample_record(n) and publishes it.
  static void write_sample(const MasterApi& api, int n) {
    stage(api, test::sample_record(n));
    ASSERT_EQ(api.Write(), 1) << api.ErrorMsg();
  }

  // Sets the live counter "zeb_<master>" as a master would, holding it for
  // the rest of the test.
  void set_counter(int32_t value) {
    if (!counter_.is_open()) {
      ASSERT_TRUE(counter_.open(("zeb_" + master).c_str(), dir.path().c_str()));
    }
    counter_.publish(value);
  }

 private:
  SharedCounter counter_;
};

}  // namespace zeb::wintest
